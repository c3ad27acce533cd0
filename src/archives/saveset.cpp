#include "archives/saveset.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "formats/record_attribute_block.h"
#include "formats/saveset_layout.h"
#include "platform/formatted.h"
#include "platform/little_endian.h"
#include "platform/raw_io.h"

namespace {

constexpr unsigned char kZeros[4] = {};
constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);
constexpr std::uint64_t kEveryByteHeld = static_cast<std::uint64_t>(-1);

bool block_size_in_range(std::uint64_t size) {
    return size >= kSmallestSavesetBlock && size <= kLargestSavesetBlock;
}

bool header_checks(const unsigned char* header) {
    return le16(header + kBbhSize) == kBlockHeaderSize &&
           saveset_header_checksum(header) == le16(header + kBbhChecksum);
}

std::uint16_t block_kind(const SavesetBlock& block) { return le16(block.bytes.data() + kBbhApplic); }

// A counted string: a length byte, then the text, within size bytes.
std::string counted_text(const unsigned char* field, std::size_t size) {
    const std::size_t length = std::min<std::size_t>(field[0], size - 1);
    return std::string(reinterpret_cast<const char*>(field + 1), length);
}

std::size_t aligned_record(std::size_t body_size) {
    return kRecordHeaderSize + (body_size + kRecordAlignment - 1) / kRecordAlignment * kRecordAlignment;
}

// Calls visit(type, value, size) for each entry of an attribute list;
// false when an entry runs past the body, *bad_type and *bad_size then
// naming it.
template <typename Visit>
bool walk_attribute_list(const unsigned char* body, std::size_t size, std::uint16_t* bad_type,
                         std::uint16_t* bad_size, Visit visit) {
    std::size_t at = kAttributeListStart;
    while (at + kAttributeEntryHeader <= size) {
        const std::uint16_t entry_size = le16(body + at);
        const std::uint16_t type = le16(body + at + 2);
        if (entry_size == 0) {
            return true;
        }
        if (entry_size > size - at - kAttributeEntryHeader) {
            *bad_type = type;
            *bad_size = entry_size;
            return false;
        }
        visit(type, body + at + kAttributeEntryHeader, entry_size);
        at += kAttributeEntryHeader + entry_size;
    }
    return true;
}

BlockRead disk_next(void* context, std::vector<unsigned char>& block, std::string& message) {
    DiskBlocks& disk = *static_cast<DiskBlocks*>(context);
    if (disk.offset >= disk.size) {
        return BlockRead::kEnd;
    }
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(disk.size - disk.offset, disk.block_size));
    block.resize(wanted);
    std::size_t got = 0;
    if (!read_full_at(disk.fd, block.data(), wanted, disk.offset, &got)) {
        message = formatted("read: %s", std::strerror(errno));
        return BlockRead::kFailed;
    }
    block.resize(got);
    disk.offset += got;
    if (got < disk.block_size) {
        disk.offset = disk.size;
        return BlockRead::kCut;
    }
    return BlockRead::kBlock;
}

// Reads the source's next block into group slot i and checks it; false when
// the source has no more.
bool read_block(SavesetReader& reader, std::size_t i) {
    if (reader.group.size() <= i) {
        reader.group.resize(i + 1);
    }
    SavesetBlock& block = reader.group[i];
    std::string message;
    const BlockRead got = reader.source.next(reader.source.context, block.bytes, message);
    if (got == BlockRead::kEnd || got == BlockRead::kFailed) {
        reader.source_ended = true;
        if (got == BlockRead::kFailed) {
            note_archive_problem(reader.archive, ArchiveStatus::kReadFailed, message);
        }
        return false;
    }
    block.position = reader.next_position++;
    block.good = false;
    block.cut = got == BlockRead::kCut;
    if (block.cut) {
        reader.cut = true;
        reader.source_ended = true;
        block.problem = "the saveset is cut short inside it";
        note_archive_problem(reader.archive, ArchiveStatus::kTruncated,
                             formatted("saveset block %u: cut short, %zu of %zu bytes", block.position,
                                       block.bytes.size(), reader.block_size));
    } else if (got == BlockRead::kBadBlock) {
        block.problem = message;
    } else {
        const BlockProblem problem =
            check_saveset_block(block.bytes.data(), block.bytes.size(), block.position, reader.block_size);
        block.good = problem == BlockProblem::kGood;
        block.problem = problem == BlockProblem::kWrongLength
                            ? formatted("%zu bytes where the saveset's blocks have %zu", block.bytes.size(),
                                        reader.block_size)
                            : block_problem_text(problem);
    }
    // Whole blocks, whatever was read, so that a group always XORs.
    block.bytes.resize(reader.block_size, 0);
    return true;
}

// Takes the name and the XOR group size from block 1's summary.
void learn_summary(SavesetReader& reader, const SavesetBlock& block) {
    const unsigned char* record = block.bytes.data() + kBlockHeaderSize;
    if (!block.good || le16(record + kBrhRtype) != kRecordSummary) {
        return;
    }
    const std::size_t size = std::min<std::size_t>(le16(record + kBrhRsize),
                                                   reader.block_size - kBlockHeaderSize - kRecordHeaderSize);
    reader.summary = decode_summary(record + kRecordHeaderSize, size);
    if (reader.group_size_known || !reader.summary.has_group_size) {
        return;
    }
    reader.group_size_known = true;
    reader.group_size = reader.summary.group_size;
    if (reader.group_size > kLargestXorGroup) {
        note_archive_problem(reader.archive, ArchiveStatus::kDamaged,
                             formatted("saveset summary: XOR groups of %zu blocks, more than the %zu read as "
                                       "groups; no bad block can be rebuilt",
                                       reader.group_size, kLargestXorGroup));
        reader.group_size = 0;
    }
}

// Rebuilds the group's one bad data block, or says why its bad blocks
// cannot be.
void repair_group(SavesetReader& reader, std::size_t xor_slot) {
    std::vector<std::size_t> bad;
    for (std::size_t i = 0; i < reader.group_used; ++i) {
        if (i != xor_slot && !reader.group[i].good && !reader.group[i].cut) {
            bad.push_back(i);
        }
    }
    if (bad.empty()) {
        return;
    }
    const bool xor_good = xor_slot != kNoSlot && reader.group[xor_slot].good;
    if (bad.size() == 1 && xor_good) {
        SavesetBlock& lost = reader.group[bad[0]];
        std::vector<const unsigned char*> others;
        for (std::size_t i = 0; i < reader.group_used; ++i) {
            if (i != xor_slot && i != bad[0]) {
                others.push_back(reader.group[i].bytes.data());
            }
        }
        rebuild_saveset_block(lost.bytes.data(), others, reader.group[xor_slot].bytes.data(), reader.block_size,
                              lost.position);
        // The fields the XOR block did not overwrite come out of the XOR:
        // a block size or kind that is not the saveset's means the group
        // does not rebuild it.
        if (check_saveset_block(lost.bytes.data(), reader.block_size, lost.position, reader.block_size) ==
            BlockProblem::kGood) {
            lost.good = true;
            ++reader.archive.blocks_rebuilt;
            return;
        }
        lost.problem += ", not repairable (its XOR group does not rebuild it)";
        return;
    }
    const std::string reason = bad.size() > 1        ? formatted("%zu bad blocks in its XOR group", bad.size())
                               : reader.group_size == 0 ? std::string("the saveset has no XOR blocks")
                               : xor_slot == kNoSlot  ? std::string("no XOR block closes its group")
                                                      : std::string("its XOR block is bad too");
    for (std::size_t i : bad) {
        reader.group[i].problem += ", not repairable (" + reason + ")";
    }
}

// Reads the next group: its data blocks and the XOR block that closes it,
// each checked, a bad one rebuilt where the group allows. False when the
// saveset has no more blocks.
bool fill_group(SavesetReader& reader) {
    reader.group_used = 0;
    reader.slot = 0;
    reader.offset = kBlockHeaderSize;
    reader.xor_slot = kNoSlot;
    if (reader.source_ended) {
        return false;
    }
    const bool first = reader.next_position == 1;
    for (;;) {
        const std::size_t limit = !reader.group_size_known ? kLargestXorGroup + 1
                                  : reader.group_size == 0 ? 1
                                                           : reader.group_size + 1;
        if (reader.group_used >= limit || !read_block(reader, reader.group_used)) {
            break;
        }
        const SavesetBlock& block = reader.group[reader.group_used++];
        if (first && reader.group_used == 1) {
            learn_summary(reader, block);
        }
        if (block.good && block_kind(block) == kBlockApplicXor) {
            reader.xor_slot = reader.group_used - 1;
            break;
        }
        if (reader.source_ended) {
            break;
        }
    }
    if (reader.group_used == 0) {
        return false;
    }
    if (!reader.group_size_known) {
        // Block 1 is bad: the group size is the position of the first good
        // XOR block less one.
        reader.group_size_known = true;
        reader.group_size = reader.xor_slot != kNoSlot ? reader.xor_slot : 0;
    }
    const std::size_t last = reader.group_used - 1;
    if (reader.xor_slot == kNoSlot && reader.group_size > 0) {
        // A bad block where the group's XOR block belongs is that XOR block,
        // and so is a saveset's last block: every saveset ends with one.
        const bool xor_position = reader.group_used == reader.group_size + 1;
        if (!reader.group[last].good && (xor_position || (reader.source_ended && !reader.cut))) {
            reader.xor_slot = last;
        } else if (reader.source_ended && !reader.cut) {
            note_archive_problem(reader.archive, ArchiveStatus::kTruncated,
                                 formatted("saveset ends after block %u without the XOR block that closes "
                                           "its group: cut short",
                                           reader.group[last].position));
        }
    }
    repair_group(reader, reader.xor_slot);
    if (first && reader.summary.name.empty() && reader.summary.block_size == 0) {
        learn_summary(reader, reader.group[0]);
    }
    return true;
}

enum class Step { kRecord, kBadBlock, kEnd };

void next_slot(SavesetReader& reader) {
    ++reader.slot;
    reader.offset = kBlockHeaderSize;
}

// Moves to the next record of the data blocks. kBadBlock once for each bad
// block that was not rebuilt, and for a good block whose records run past
// its end (the records after the fault are lost): reader.step_block and
// step_problem then say which and why.
Step next_record(SavesetReader& reader, SavesetRecord& record) {
    for (;;) {
        if (reader.slot >= reader.group_used) {
            if (!fill_group(reader)) {
                return Step::kEnd;
            }
            continue;
        }
        const SavesetBlock& block = reader.group[reader.slot];
        if (reader.slot == reader.xor_slot || (block.good && block_kind(block) != kBlockApplicData)) {
            next_slot(reader);
            continue;
        }
        if (!block.good) {
            reader.step_block = block.position;
            reader.step_cut = block.cut;
            reader.step_problem = formatted("saveset block %u: %s", block.position, block.problem.c_str());
            next_slot(reader);
            return Step::kBadBlock;
        }
        if (reader.offset + kRecordHeaderSize > reader.block_size) {
            next_slot(reader);
            continue;
        }
        const unsigned char* header = block.bytes.data() + reader.offset;
        const std::size_t size = le16(header + kBrhRsize);
        record.type = le16(header + kBrhRtype);
        if (record.type == kRecordNull) {
            next_slot(reader);
            continue;
        }
        if (size > reader.block_size - reader.offset - kRecordHeaderSize) {
            reader.step_block = block.position;
            reader.step_cut = false;
            reader.step_problem =
                formatted("saveset block %u: the record at offset %zu runs past the block's end; the rest of "
                          "the block is lost",
                          block.position, reader.offset);
            next_slot(reader);
            return Step::kBadBlock;
        }
        record.flags = le32(header + kBrhFlags);
        record.address = le32(header + kBrhAddress);
        record.body = header + kRecordHeaderSize;
        record.size = size;
        record.slot = reader.slot;
        reader.offset += aligned_record(size);
        return Step::kRecord;
    }
}

void end_member(SavesetReader& reader, MemberStatus status, std::uint32_t block, std::string message) {
    reader.active = false;
    reader.piece_left = 0;
    reader.outcome.status = status;
    reader.outcome.block = block;
    reader.outcome.message = std::move(message);
}

// The member's records stopped (at the next FILE record, or at the end of
// the saveset) before every byte it should have.
void end_member_short(SavesetReader& reader, bool saveset_ended) {
    if (reader.wanted == kEveryByteHeld && !(saveset_ended && reader.cut)) {
        end_member(reader, MemberStatus::kComplete, 0, "");
        return;
    }
    if (saveset_ended && reader.archive.status == ArchiveStatus::kReadFailed) {
        end_member(reader, MemberStatus::kReadFailed, 0, reader.archive.message);
    } else if (saveset_ended && reader.archive.status == ArchiveStatus::kTruncated) {
        end_member(reader, MemberStatus::kTruncated, 0,
                   formatted("the saveset ends inside the member, after %llu bytes",
                             static_cast<unsigned long long>(reader.outcome.delivered)));
    } else {
        end_member(reader, MemberStatus::kDamaged, 0,
                   formatted("the saveset holds %llu of the member's %llu bytes",
                             static_cast<unsigned long long>(reader.outcome.delivered),
                             static_cast<unsigned long long>(reader.wanted)));
    }
}

// Takes a VBN record of the member: the next piece of its data, or the
// end of the delivery when the record does not continue it.
void take_vbn_record(SavesetReader& reader, const SavesetRecord& record) {
    const std::uint32_t position = reader.group[record.slot].position;
    const std::uint64_t blocks = record.size / kVbnBlockSize;
    std::string fault;
    if (record.size % kVbnBlockSize != 0) {
        fault = formatted("a VBN record of %zu bytes, not whole blocks", record.size);
    } else if ((record.flags & kRecordBadData) != 0) {
        fault = formatted("VBN %u was marked bad when it was saved", record.address);
    } else if (record.address != reader.next_vbn) {
        fault = record.address > reader.next_vbn
                    ? formatted("VBN %u follows VBN %u: blocks are missing", record.address, reader.next_vbn - 1)
                    : formatted("VBN %u where VBN %u should follow", record.address, reader.next_vbn);
    } else if (reader.header.has_attributes && record.address - 1 + blocks > reader.header.hiblk) {
        fault = formatted("VBNs %u to %llu lie past the file's allocation of %u blocks", record.address,
                          static_cast<unsigned long long>(record.address - 1 + blocks), reader.header.hiblk);
    }
    if (!fault.empty()) {
        end_member(reader, MemberStatus::kDamaged, position, formatted("saveset block %u: %s", position, fault.c_str()));
        return;
    }
    reader.next_vbn = static_cast<std::uint32_t>(reader.next_vbn + blocks);
    reader.piece = record.body;
    reader.piece_left = static_cast<std::size_t>(std::min<std::uint64_t>(record.size, reader.wanted - reader.outcome.delivered));
}

// Delivers up to capacity bytes of the member into buffer, or discards
// them when buffer is null.
std::size_t deliver(SavesetReader& reader, unsigned char* buffer, std::size_t capacity) {
    std::size_t total = 0;
    while (reader.active && total < capacity) {
        if (reader.piece_left > 0) {
            const std::size_t count = std::min(reader.piece_left, capacity - total);
            if (buffer != nullptr) {
                std::memcpy(buffer + total, reader.piece, count);
            }
            reader.piece += count;
            reader.piece_left -= count;
            reader.outcome.delivered += count;
            total += count;
            continue;
        }
        if (reader.outcome.delivered >= reader.wanted) {
            end_member(reader, MemberStatus::kComplete, 0, "");
            break;
        }
        SavesetRecord record;
        const Step step = next_record(reader, record);
        if (step == Step::kEnd) {
            end_member_short(reader, true);
        } else if (step == Step::kBadBlock) {
            note_archive_problem(reader.archive, ArchiveStatus::kDamaged, reader.step_problem);
            end_member(reader, reader.step_cut ? MemberStatus::kTruncated : MemberStatus::kDamaged, reader.step_block,
                       reader.step_problem);
            reader.lost_block = true;
            reader.lost_position = reader.step_block;
        } else if (record.type == kRecordFile) {
            reader.pending = record;
            reader.pending_file = true;
            end_member_short(reader, false);
        } else if (record.type == kRecordVbn && record.size > 0) {
            take_vbn_record(reader, record);
        }
    }
    return total;
}

void begin_member(SavesetReader& reader, const SavesetRecord& record) {
    const FileRecord file = decode_file_record(record.body, record.size);
    const std::uint32_t position = reader.group[record.slot].position;
    reader.header = MemberHeader{};
    reader.header.name = file.name;
    reader.header.has_attributes = file.has_attributes;
    reader.header.attributes = file.attributes;
    decode_attribute_words(reader.header);
    reader.header.directory =
        (record.flags & kRecordDirectory) != 0 || (file.characteristics & kFileCharDirectory) != 0;
    reader.header.alias_entry = (record.flags & kRecordAliasEntry) != 0;
    reader.header.size = file.has_attributes ? member_data_size(file.attributes) : 0;
    if (!file.has_attributes) {
        reader.header.note = "its FILE record holds no record attribute block";
    }
    reader.wanted = file.has_attributes ? reader.header.size : kEveryByteHeld;
    reader.outcome = MemberOutcome{};
    reader.active = true;
    reader.next_vbn = 1;
    reader.piece_left = 0;
    reader.last_name = file.name;
    reader.lost_block = false;
    if (!file.problem.empty()) {
        end_member(reader, MemberStatus::kDamaged, position,
                   formatted("saveset block %u: %s", position, file.problem.c_str()));
    }
}

// VBN records after a lost block, in a block whose header names a file
// other than the last FILE record's: that file's FILE record was lost with
// the block. It is reported as a member with nothing delivered.
bool begin_lost_member(SavesetReader& reader, const SavesetRecord& record) {
    const unsigned char* block = reader.group[record.slot].bytes.data();
    const std::string name = counted_text(block + kBbhFilename, kBbhFilenameSize);
    reader.lost_block = false;
    if (name.empty() || reader.last_name.compare(0, name.size(), name) == 0) {
        return false;
    }
    reader.header = MemberHeader{};
    reader.header.name = name;
    reader.header.note = "named by the header of the block after its lost FILE record";
    reader.outcome = MemberOutcome{};
    reader.last_name = name;
    end_member(reader, MemberStatus::kDamaged, reader.lost_position,
               formatted("saveset block %u: lost, and with it the member's FILE record; its data are skipped",
                         reader.lost_position));
    return true;
}

}  // namespace

std::size_t find_saveset_block_size(int fd, std::uint64_t size, bool* failed) {
    *failed = false;
    std::vector<unsigned char> head(static_cast<std::size_t>(std::min<std::uint64_t>(size, kBlockHeaderSize)));
    std::size_t got = 0;
    if (!read_full_at(fd, head.data(), head.size(), 0, &got)) {
        *failed = true;
        return 0;
    }
    if (got == kBlockHeaderSize && header_checks(head.data()) && le32(head.data() + kBbhNumber) == 1 &&
        block_size_in_range(le32(head.data() + kBbhBlocksize))) {
        return le32(head.data() + kBbhBlocksize);
    }
    // Block 1's header is bad: look for block 2, 3 or 4 where its number
    // and block size put it.
    constexpr std::size_t kSearched = 3 * kLargestSavesetBlock + kBlockHeaderSize;
    head.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, kSearched)));
    if (!read_full_at(fd, head.data(), head.size(), 0, &got)) {
        *failed = true;
        return 0;
    }
    for (std::size_t at = kSmallestSavesetBlock; at + kBlockHeaderSize <= got; ++at) {
        const unsigned char* header = head.data() + at;
        if (le16(header + kBbhSize) != kBlockHeaderSize || !header_checks(header)) {
            continue;
        }
        const std::uint32_t number = le32(header + kBbhNumber);
        const std::uint32_t block_size = le32(header + kBbhBlocksize);
        if (number >= 2 && block_size_in_range(block_size) &&
            static_cast<std::uint64_t>(number - 1) * block_size == at) {
            return block_size;
        }
    }
    return 0;
}

BlockSource disk_block_source(DiskBlocks& disk) {
    BlockSource source;
    source.context = &disk;
    source.next = disk_next;
    source.block_size = disk.block_size;
    return source;
}

std::uint32_t saveset_block_crc(const unsigned char* block, std::size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, block, kBbhCrc);
    crc = crc32(crc, kZeros, 4);
    crc = crc32(crc, block + kBbhCrc + 4, static_cast<uInt>(kBbhChecksum - kBbhCrc - 4));
    crc = crc32(crc, kZeros, 2);
    crc = crc32(crc, block + kBlockHeaderSize, static_cast<uInt>(size - kBlockHeaderSize));
    return static_cast<std::uint32_t>(crc);
}

std::uint16_t saveset_header_checksum(const unsigned char* block) {
    std::uint16_t crc = crc16_arc(0, block, kBbhCrc);
    crc = crc16_arc(crc, kZeros, 4);
    crc = crc16_arc(crc, block + kBbhCrc + 4, kBbhChecksum - kBbhCrc - 4);
    return crc16_arc(crc, kZeros, 2);
}

void seal_saveset_block(unsigned char* block, std::size_t size) {
    const bool no_crc = (le32(block + kBbhFlags) & kBlockNoCrc) != 0;
    store_le32(block + kBbhCrc, no_crc ? 0 : saveset_block_crc(block, size));
    store_le16(block + kBbhChecksum, saveset_header_checksum(block));
}

BlockProblem check_saveset_block(const unsigned char* block, std::size_t length, std::uint32_t position,
                                 std::size_t block_size) {
    if (length != block_size) {
        return BlockProblem::kWrongLength;
    }
    if (le16(block + kBbhSize) != kBlockHeaderSize) {
        return BlockProblem::kNoHeader;
    }
    if (saveset_header_checksum(block) != le16(block + kBbhChecksum)) {
        return BlockProblem::kHeaderChecksum;
    }
    if ((le32(block + kBbhFlags) & kBlockNoCrc) == 0 && saveset_block_crc(block, length) != le32(block + kBbhCrc)) {
        return BlockProblem::kCrc;
    }
    if (le32(block + kBbhNumber) != position) {
        return BlockProblem::kMisplaced;
    }
    // The other header fields of an XOR block are XORs of its group's.
    const std::uint16_t kind = le16(block + kBbhApplic);
    if (kind == kBlockApplicData) {
        return le32(block + kBbhBlocksize) == block_size ? BlockProblem::kGood : BlockProblem::kWrongSize;
    }
    return kind == kBlockApplicXor ? BlockProblem::kGood : BlockProblem::kUnknownKind;
}

const char* block_problem_text(BlockProblem problem) {
    switch (problem) {
        case BlockProblem::kGood: return "good";
        case BlockProblem::kWrongLength: return "not of the saveset's block size";
        case BlockProblem::kNoHeader: return "no block header";
        case BlockProblem::kHeaderChecksum: return "header checksum mismatch";
        case BlockProblem::kCrc: return "CRC mismatch";
        case BlockProblem::kMisplaced: return "holds another block's number";
        case BlockProblem::kWrongSize: return "its header gives another block size";
        case BlockProblem::kUnknownKind: return "neither a data nor an XOR block";
    }
    return "";
}

void rebuild_saveset_block(unsigned char* lost, const std::vector<const unsigned char*>& others,
                           const unsigned char* xor_block, std::size_t block_size, std::uint32_t position) {
    std::memcpy(lost, xor_block, block_size);
    for (const unsigned char* other : others) {
        for (std::size_t i = 0; i < block_size; ++i) {
            lost[i] ^= other[i];
        }
    }
    store_le16(lost + kBbhSize, kBlockHeaderSize);
    std::memcpy(lost + kBbhOpsys, xor_block + kBbhOpsys, 2);
    // BACKUP writes subsystem 1 in both kinds of block (0 is reported for
    // V8.3): the XOR block's value is the saveset's.
    std::memcpy(lost + kBbhSubsys, xor_block + kBbhSubsys, 2);
    store_le16(lost + kBbhApplic, kBlockApplicData);
    store_le32(lost + kBbhNumber, position);
    std::memcpy(lost + kBbhFlags, xor_block + kBbhFlags, 4);
    seal_saveset_block(lost, block_size);
}

SavesetSummary decode_summary(const unsigned char* body, std::size_t size) {
    SavesetSummary summary;
    std::uint16_t bad_type = 0;
    std::uint16_t bad_size = 0;
    walk_attribute_list(body, size, &bad_type, &bad_size,
                        [&summary](std::uint16_t type, const unsigned char* value, std::uint16_t length) {
                            if (type == kSummarySsname) {
                                summary.name.assign(reinterpret_cast<const char*>(value), length);
                            } else if (type == kSummaryBlocksize && length >= 4) {
                                summary.block_size = le32(value);
                            } else if (type == kSummaryXorsize && length >= 2) {
                                summary.group_size = le16(value);
                                summary.has_group_size = true;
                            }
                        });
    return summary;
}

FileRecord decode_file_record(const unsigned char* body, std::size_t size) {
    FileRecord file;
    std::uint16_t bad_type = 0;
    std::uint16_t bad_size = 0;
    const bool whole = walk_attribute_list(
        body, size, &bad_type, &bad_size, [&file](std::uint16_t type, const unsigned char* value, std::uint16_t length) {
            if (type == kFileFilename) {
                file.name.assign(reinterpret_cast<const char*>(value), length);
                file.has_name = true;
            } else if (type == kFileRecattr && length == kRecordAttributeBlockSize) {
                std::memcpy(file.attributes.bytes.data(), value, kRecordAttributeBlockSize);
                file.has_attributes = true;
            } else if (type == kFileUchar && length >= 4) {
                file.characteristics = le32(value);
            }
        });
    if (!whole) {
        file.problem = formatted("the FILE record's attribute %u of %u bytes runs past the record's %zu bytes",
                                 bad_type, bad_size, size);
    }
    return file;
}

void saveset_open(SavesetReader& reader, BlockSource source) {
    reader = SavesetReader{};
    reader.source = source;
    reader.block_size = source.block_size;
}

bool saveset_next(SavesetReader& reader, MemberHeader& header) {
    if (reader.active) {
        deliver(reader, nullptr, static_cast<std::size_t>(-1));
    }
    for (;;) {
        SavesetRecord record;
        if (reader.pending_file) {
            record = reader.pending;
            reader.pending_file = false;
        } else {
            const Step step = next_record(reader, record);
            if (step == Step::kEnd) {
                return false;
            }
            if (step == Step::kBadBlock) {
                note_archive_problem(reader.archive, ArchiveStatus::kDamaged,
                                     reader.step_problem + "; the records it held are lost");
                reader.lost_block = true;
                reader.lost_position = reader.step_block;
                continue;
            }
        }
        if (record.type == kRecordFile) {
            begin_member(reader, record);
            header = reader.header;
            return true;
        }
        if (record.type == kRecordVbn && reader.lost_block && begin_lost_member(reader, record)) {
            header = reader.header;
            return true;
        }
    }
}

std::size_t saveset_read(SavesetReader& reader, unsigned char* buffer, std::size_t capacity) {
    return deliver(reader, buffer, capacity);
}
