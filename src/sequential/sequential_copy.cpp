#include "sequential/sequential_copy.h"

#include <cstring>

#include "formats/record_limits.h"
#include "platform/console.h"

namespace {

// The cursors of a fast path: the unread input and the free output space.
struct Cursors {
    const unsigned char* next;
    const unsigned char* limit;
    unsigned char* out;
    unsigned char* out_limit;
    std::uint64_t records;
};

Cursors take_cursors(SequentialCopy& copy) {
    const OutputRoom room = output_room(copy.console);
    return {copy.input.next, copy.input.limit, room.begin, room.end, copy.records};
}

void put_cursors(SequentialCopy& copy, const Cursors& cursors) {
    copy.input.next = cursors.next;
    output_commit(copy.console, cursors.out);
    copy.records = cursors.records;
}

std::size_t room(const unsigned char* from, const unsigned char* to) {
    return static_cast<std::size_t>(to - from);
}

}  // namespace

CopyOutcome copy_sequential(int input_fd, const FileAttributes& attributes, const RunOptions& options,
                            Console& console) {
    CopyOutcome outcome;
    if (verbose_any(options) && options.newline_forced) {
        message(console, line_end_after_record(options) ? "forced rat=cr\n" : "forced rat=none\n");
    }

    const bool raw = options.raw;
    bool (*reader)(SequentialCopy&) = nullptr;
    switch (rfm_of(attributes)) {
        case kRfmFixed:
            reader = raw ? copy_raw_fix_records : copy_fix_records;
            break;
        case kRfmVariable:
            reader = raw ? copy_raw_var_records : copy_var_records;
            break;
        case kRfmVfc:
            reader = raw                      ? copy_raw_var_records
                     : options.control_prefix ? copy_var_records
                                              : copy_vfc_records;
            break;
        case kRfmStream:
        case kRfmStreamCr:
            reader = copy_stream_records;
            break;
        default:
            break;
    }
    if (reader == nullptr) {
        message(console, " - not yet implemented\n");
        end_copy(outcome, CopyResult::kUnsupported);
        return outcome;
    }

    SequentialCopy copy{ForwardReader{}, attributes, options, console, outcome, outcome.records};
    reader_open(copy.input, input_fd);
    const bool complete = reader(copy);
    return settle_copy_outcome(complete, outcome, console);
}

std::uint16_t record_buffer_size(const FileAttributes& attributes) {
    std::uint16_t lrl = lrl_of(attributes);
    return (lrl >= 1 && lrl <= kLongestRecord) ? lrl : kLongestRecord;
}

std::uint32_t longest_stored_record(const FileAttributes& attributes) {
    std::uint32_t longest = record_buffer_size(attributes);
    if (rfm_of(attributes) == kRfmVfc) {
        longest += fsz_of(attributes);
    }
    return longest;
}

bool report_overlong_record(SequentialCopy& copy, std::uint64_t record_offset, std::uint16_t length) {
    const unsigned long long offset = record_offset;
    const unsigned rsize = record_buffer_size(copy.attributes);
    if (rfm_of(copy.attributes) == kRfmVfc) {
        message(copy.console, "length word %u at offset %llu exceeds rsize %u plus fsz %u\n", length,
                offset, rsize, fsz_of(copy.attributes));
    } else {
        message(copy.console, "length word %u at offset %llu exceeds rsize %u\n", length, offset, rsize);
    }
    return end_copy(copy.outcome, CopyResult::kDamaged, record_offset);
}

void skip_to_block_end(SequentialCopy& copy) {
    std::uint64_t into_block = reader_position(copy.input) % kBlockSize;
    if (into_block != 0) {
        reader_skip(copy.input, kBlockSize - into_block);
    }
}

void place_next_fixed_record(SequentialCopy& copy, std::uint16_t record_length) {
    if (fixed_records_keep_to_blocks(copy.attributes) &&
        block_gap_before(reader_position(copy.input), record_length) != 0) {
        skip_to_block_end(copy);
    }
}

void copy_buffered_var_records(SequentialCopy& copy, const VarFraming& framing) {
    Cursors c = take_cursors(copy);
    while (room(c.next, c.limit) >= 2) {
        const std::uint32_t length = le16(c.next);
        const std::uint32_t control = length == 0 ? 0 : framing.control;
        const std::size_t stored = kLengthWordSize + padded_length(length);
        // The marker 0xFFFF exceeds every longest record.
        if (length > framing.longest || length < control || stored > room(c.next, c.limit) ||
            length + 3 > room(c.out, c.out_limit)) {
            break;
        }
        if (framing.length_word) {
            c.out[0] = c.next[0];
            c.out[1] = c.next[1];
            c.out += 2;
        }
        std::memcpy(c.out, c.next + kLengthWordSize + control, length - control);
        c.out += length - control;
        if (framing.line_end) {
            *c.out++ = '\n';
        }
        c.next += stored;
        ++c.records;
    }
    put_cursors(copy, c);
}

void copy_buffered_fix_records(SequentialCopy& copy, std::uint16_t reclen, bool line_end) {
    Cursors c = take_cursors(copy);
    // The file offset of c.limit; c.next lies room(c.next, c.limit) before it.
    const std::uint64_t limit_offset = copy.input.bytes_read;
    const std::size_t stored = padded_length(reclen);
    const bool keep_to_blocks = fixed_records_keep_to_blocks(copy.attributes);
    while (stored <= room(c.next, c.limit) && reclen + 1u <= room(c.out, c.out_limit)) {
        std::memcpy(c.out, c.next, reclen);
        c.out += reclen;
        if (line_end) {
            *c.out++ = '\n';
        }
        c.next += stored;
        ++c.records;
        if (!keep_to_blocks) {
            continue;
        }
        const std::uint64_t gap = block_gap_before(limit_offset - room(c.next, c.limit), reclen);
        if (gap > room(c.next, c.limit)) {
            break;  // the placement below skips the gap
        }
        c.next += gap;
    }
    put_cursors(copy, c);
    place_next_fixed_record(copy, reclen);
}

bool check_input_error(SequentialCopy& copy) {
    if (copy.input.error_number != 0) {
        report_error_number(copy.console, "read", copy.input.error_number);
        return end_copy(copy.outcome, CopyResult::kInputError);
    }
    return true;
}

bool finish_copy(SequentialCopy& copy) {
    print_records_copied(copy.options, copy.console, copy.records);
    return true;
}

bool report_short_record(SequentialCopy& copy, std::uint64_t record_offset, std::uint32_t length) {
    if (!check_input_error(copy)) {
        return false;
    }
    message(copy.console, "read: end of file inside the %u-byte record at offset %llu\n", length,
            static_cast<unsigned long long>(record_offset));
    return end_copy(copy.outcome, CopyResult::kDamaged, record_offset);
}
