#include "archives/simh_tape.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "formats/saveset_layout.h"
#include "formats/simh_tape_layout.h"
#include "platform/formatted.h"
#include "platform/little_endian.h"
#include "platform/raw_io.h"

namespace {

bool read_at(TapeReader& reader, void* into, std::size_t size, std::uint64_t offset, TapeRecord& record) {
    std::size_t got = 0;
    if (!read_full_at(reader.fd, into, size, offset, &got) || got != size) {
        record.problem = formatted("read at offset %llu: %s", static_cast<unsigned long long>(offset),
                                   got != size ? "end of file" : std::strerror(errno));
        return false;
    }
    return true;
}

bool read_word(TapeReader& reader, std::uint64_t offset, std::uint32_t* word, TapeRecord& record) {
    unsigned char bytes[kTapeWordSize];
    if (!read_at(reader, bytes, sizeof bytes, offset, record)) {
        return false;
    }
    *word = le32(bytes);
    return true;
}

// An ANSI label: 80 bytes beginning VOL, HDR, EOF, EOV, UHL or UTL and a
// digit.
bool is_label(const std::vector<unsigned char>& record, std::uint32_t length) {
    static constexpr const char* kKinds[] = {"VOL", "HDR", "EOF", "EOV", "UHL", "UTL"};
    if (length != kLabelSize || record.size() != kLabelSize || record[3] < '1' || record[3] > '9') {
        return false;
    }
    return std::any_of(std::begin(kKinds), std::end(kKinds),
                       [&record](const char* kind) { return std::memcmp(record.data(), kind, 3) == 0; });
}

bool label_is(const std::vector<unsigned char>& label, const char* id) {
    return std::memcmp(label.data(), id, kLabelIdSize) == 0;
}

// A label's decimal field; -1 when it holds anything but digits.
long long label_number(const std::vector<unsigned char>& label, std::size_t offset, std::size_t size) {
    long long value = 0;
    for (std::size_t i = offset; i < offset + size; ++i) {
        if (label[i] < '0' || label[i] > '9') {
            return -1;
        }
        value = value * 10 + (label[i] - '0');
    }
    return value;
}

std::string label_text(const std::vector<unsigned char>& label, std::size_t offset, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(label.data() + offset), size);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

void note(TapeReader& reader, ArchiveStatus status, const std::string& message) {
    note_archive_problem(reader.archive, status, formatted("tape file %u: %s", reader.tape_file, message.c_str()));
}

void note_step(TapeReader& reader, TapeStep step, const TapeRecord& record) {
    const ArchiveStatus status = step == TapeStep::kFailed ? ArchiveStatus::kReadFailed
                                 : step == TapeStep::kCut  ? ArchiveStatus::kTruncated
                                                           : ArchiveStatus::kDamaged;
    note(reader, status, record.problem);
}

// Why a record read whole cannot be a good block.
std::string bad_record_problem(TapeStep step, const TapeRecord& record) {
    return step == TapeStep::kBroken ? record.problem
           : record.too_long         ? formatted("a tape record of %u bytes, longer than any saveset block", record.length)
                                     : std::string("a tape record read with an error");
}

// The saveset's block source: the tape file's data records up to its
// closing tape mark.
BlockRead tape_next_block(void* context, std::vector<unsigned char>& block, std::string& message) {
    TapeReader& reader = *static_cast<TapeReader*>(context);
    if (reader.held) {
        reader.held = false;
        block.swap(reader.held_block);
        message = reader.held_problem;
        return reader.held_bad ? BlockRead::kBadBlock : BlockRead::kBlock;
    }
    if (reader.file_ended || reader.tape_ended) {
        return BlockRead::kEnd;
    }
    TapeRecord record;
    const TapeStep step = read_tape_step(reader, block, kLargestSavesetBlock, record);
    switch (step) {
        case TapeStep::kMark:
            reader.file_ended = true;
            return BlockRead::kEnd;
        case TapeStep::kEnd:
            reader.tape_ended = true;
            note(reader, ArchiveStatus::kTruncated, "the image ends inside the tape file, before its tape mark");
            return BlockRead::kEnd;
        case TapeStep::kCut:
            reader.tape_ended = true;
            block.clear();
            message = record.problem;
            return BlockRead::kCut;
        case TapeStep::kFailed:
            reader.tape_ended = true;
            message = record.problem;
            return BlockRead::kFailed;
        case TapeStep::kBroken:
            ++reader.blocks_read;
            message = record.problem;
            return BlockRead::kBadBlock;
        case TapeStep::kData:
            break;
    }
    ++reader.blocks_read;
    if (record.too_long || record.read_with_error) {
        message = bad_record_problem(step, record);
        return BlockRead::kBadBlock;
    }
    return BlockRead::kBlock;
}

// Reads a data record ahead into the held block; false at a tape mark or
// the end.
bool hold_record(TapeReader& reader, TapeStep step, const TapeRecord& record) {
    if (step != TapeStep::kData && step != TapeStep::kBroken) {
        return false;
    }
    reader.held = true;
    reader.held_bad = step == TapeStep::kBroken || record.too_long || record.read_with_error;
    reader.held_problem = bad_record_problem(step, record);
    ++reader.blocks_read;
    return true;
}

// Reads the header labels of the next tape file up to their tape mark, and
// its first data record; opens its saveset. False at the end of the tape.
bool start_tape_file(TapeReader& reader) {
    ++reader.tape_file;
    reader.file_identifier.clear();
    reader.hdr2_block_length = 0;
    reader.blocks_read = reader.held ? 1 : 0;  // a first block read with the last file's trailer
    reader.file_ended = false;
    TapeRecord record;
    std::size_t first_length = reader.held ? reader.held_block.size() : 0;
    if (!reader.held) {
        unsigned labels = 0;
        for (;;) {
            const TapeStep step = read_tape_step(reader, reader.label, kLargestSavesetBlock, record);
            if (step == TapeStep::kData && is_label(reader.label, record.length)) {
                if (label_is(reader.label, "HDR1")) {
                    reader.file_identifier = label_text(reader.label, kHdr1FileIdentifier, kHdr1FileIdentifierSize);
                } else if (label_is(reader.label, "HDR2")) {
                    const long long length = label_number(reader.label, kHdr2BlockLength, kHdr2BlockLengthSize);
                    reader.hdr2_block_length = length > 0 ? static_cast<std::size_t>(length) : 0;
                }
                ++labels;
                continue;
            }
            if (step == TapeStep::kMark && labels > 0) {
                break;
            }
            if (step == TapeStep::kData || step == TapeStep::kBroken) {
                // No labels: the tape file begins with its first block.
                reader.held_block.swap(reader.label);
                hold_record(reader, step, record);
                first_length = record.length;
                break;
            }
            if (step != TapeStep::kMark && step != TapeStep::kEnd) {
                note_step(reader, step, record);
            } else if (labels > 0) {
                note(reader, ArchiveStatus::kTruncated, "the tape ends after the file's header labels");
            }
            reader.tape_ended = true;
            return false;
        }
    }
    if (!reader.held) {
        const TapeStep step = read_tape_step(reader, reader.held_block, kLargestSavesetBlock, record);
        if (hold_record(reader, step, record)) {
            first_length = record.length;
        } else if (step == TapeStep::kMark) {
            reader.file_ended = true;
        } else {
            if (step != TapeStep::kEnd) {
                note_step(reader, step, record);
            }
            reader.tape_ended = true;
        }
    }
    // Every block is one record of the block size: the first record's
    // length, when it can be one, else HDR2's block length.
    std::size_t block_size = first_length;
    if (block_size < kSmallestSavesetBlock || block_size > kLargestSavesetBlock) {
        block_size = reader.hdr2_block_length >= kSmallestSavesetBlock && reader.hdr2_block_length <= kLargestSavesetBlock
                         ? reader.hdr2_block_length
                         : kLargestSavesetBlock;
    }
    if (reader.hdr2_block_length != 0 && first_length != 0 && reader.hdr2_block_length != first_length) {
        note(reader, ArchiveStatus::kDamaged,
             formatted("HDR2 gives blocks of %zu bytes, its first record has %zu", reader.hdr2_block_length,
                       first_length));
    }
    BlockSource source;
    source.context = &reader;
    source.next = tape_next_block;
    source.block_size = block_size;
    saveset_open(reader.saveset, source);
    reader.in_saveset = true;
    return true;
}

// After a saveset's data: its problems become the tape's, then the
// trailer labels are read up to their tape mark and checked.
void finish_tape_file(TapeReader& reader) {
    reader.in_saveset = false;
    const ArchiveOutcome& saveset = reader.saveset.archive;
    reader.archive.blocks_rebuilt += saveset.blocks_rebuilt;
    if (saveset.problems > 0) {
        note(reader, saveset.status, saveset.message);
        reader.archive.problems += saveset.problems - 1;
    }
    if (reader.tape_ended) {
        return;
    }
    unsigned labels = 0;
    for (;;) {
        TapeRecord record;
        const TapeStep step = read_tape_step(reader, reader.label, kLargestSavesetBlock, record);
        if (step == TapeStep::kData && is_label(reader.label, record.length)) {
            ++labels;
            const long long counted = label_number(reader.label, kEof1BlockCount, kEof1BlockCountSize);
            if (label_is(reader.label, "EOF1") && counted >= 0 && static_cast<std::uint64_t>(counted) != reader.blocks_read) {
                note(reader, ArchiveStatus::kDamaged,
                     formatted("EOF1 counts %lld blocks, the tape file holds %llu", counted,
                               static_cast<unsigned long long>(reader.blocks_read)));
            } else if (label_is(reader.label, "EOV1")) {
                note(reader, ArchiveStatus::kTruncated, "the saveset goes on on another volume (EOV1)");
            }
            continue;
        }
        if (step == TapeStep::kMark) {
            // A tape mark right after the data's: two in a row end the tape.
            reader.tape_ended = labels == 0;
            return;
        }
        if (step == TapeStep::kData || step == TapeStep::kBroken) {
            // No trailer: the next tape file's first block.
            reader.held_block.swap(reader.label);
            hold_record(reader, step, record);
            return;
        }
        if (step != TapeStep::kEnd) {
            note_step(reader, step, record);
        }
        reader.tape_ended = true;
        return;
    }
}

}  // namespace

TapeStep read_tape_step(TapeReader& reader, std::vector<unsigned char>& data, std::size_t limit, TapeRecord& record) {
    record = TapeRecord{};
    for (;;) {
        record.offset = reader.offset;
        if (reader.offset >= reader.size) {
            return TapeStep::kEnd;
        }
        if (reader.size - reader.offset < kTapeWordSize) {
            record.problem = formatted("the image ends inside a length word at offset %llu",
                                       static_cast<unsigned long long>(reader.offset));
            reader.offset = reader.size;
            return TapeStep::kCut;
        }
        std::uint32_t word = 0;
        if (!read_word(reader, reader.offset, &word, record)) {
            return TapeStep::kFailed;
        }
        const unsigned word_class = tape_word_class(word);
        if (word == kTapeMark) {
            reader.offset += kTapeWordSize;
            return TapeStep::kMark;
        }
        if (word == kTapeEndOfMedium) {
            return TapeStep::kEnd;
        }
        if (word == kTapeHalfGap) {
            reader.offset += kTapeHalfGapAdvance;
            continue;
        }
        if (word_class == kTapeClassMarker || word_class == kTapeClassPrivateMarker) {
            reader.offset += kTapeWordSize;  // an erase gap, or a marker that carries nothing forwards
            continue;
        }
        const std::uint32_t length = tape_word_length(word);
        const std::uint64_t start = reader.offset + kTapeWordSize;
        std::uint64_t area = tape_data_area(length);
        std::uint32_t trailing = 0;
        const std::uint64_t left = reader.size - start;
        if (left >= area + kTapeWordSize && !read_word(reader, start + area, &trailing, record)) {
            return TapeStep::kFailed;
        }
        if (trailing != word && area != length && left >= length + kTapeWordSize) {
            // Images of the E11 kind do not pad odd lengths.
            std::uint32_t unpadded = 0;
            if (!read_word(reader, start + length, &unpadded, record)) {
                return TapeStep::kFailed;
            }
            if (unpadded == word) {
                area = length;
                trailing = unpadded;
            }
        }
        if (left < area + kTapeWordSize) {
            record.problem = formatted("the image ends inside the %u-byte record at offset %llu", length,
                                       static_cast<unsigned long long>(reader.offset));
            reader.offset = reader.size;
            return TapeStep::kCut;
        }
        reader.offset = start + area + kTapeWordSize;
        if (word_class != kTapeClassGood && word_class != kTapeClassBad) {
            continue;  // a private or reserved record
        }
        record.length = length;
        record.read_with_error = word_class == kTapeClassBad;
        record.too_long = length > limit;
        if (!record.too_long) {
            data.resize(length);
            if (!read_at(reader, data.data(), length, start, record)) {
                return TapeStep::kFailed;
            }
        } else {
            data.clear();
        }
        if (trailing != word) {
            record.problem = formatted("the tape record at offset %llu has length words %u and %u",
                                       static_cast<unsigned long long>(record.offset), tape_word_length(word),
                                       tape_word_length(trailing));
            return TapeStep::kBroken;
        }
        return TapeStep::kData;
    }
}

bool looks_like_simh_tape(int fd, std::uint64_t size, bool* failed) {
    TapeReader reader;
    reader.fd = fd;
    reader.size = size;
    std::vector<unsigned char> first;
    TapeRecord record;
    const TapeStep step = read_tape_step(reader, first, kLargestSavesetBlock, record);
    *failed = step == TapeStep::kFailed;
    if (step != TapeStep::kData || record.offset != 0) {
        return false;
    }
    if (record.length == kLabelSize) {
        return std::memcmp(first.data(), "VOL1", kLabelIdSize) == 0 || std::memcmp(first.data(), "HDR1", kLabelIdSize) == 0;
    }
    return first.size() >= kBlockHeaderSize && le16(first.data() + kBbhSize) == kBlockHeaderSize &&
           saveset_header_checksum(first.data()) == le16(first.data() + kBbhChecksum);
}

void tape_open(TapeReader& reader, int fd, std::uint64_t size) {
    reader.fd = fd;
    reader.size = size;
}

bool tape_next(TapeReader& reader, MemberHeader& header) {
    for (;;) {
        if (reader.in_saveset) {
            if (saveset_next(reader.saveset, header)) {
                header.saveset = !reader.saveset.summary.name.empty() ? reader.saveset.summary.name
                                 : !reader.file_identifier.empty()    ? reader.file_identifier
                                                                      : formatted("tape file %u", reader.tape_file);
                header.tape_file = reader.tape_file;
                return true;
            }
            finish_tape_file(reader);
            continue;
        }
        if (reader.tape_ended || !start_tape_file(reader)) {
            return false;
        }
    }
}

std::size_t tape_read(TapeReader& reader, unsigned char* buffer, std::size_t capacity) {
    return reader.in_saveset ? saveset_read(reader.saveset, buffer, capacity) : 0;
}
