#include "sequential/sequential_copy.h"

#include "platform/console.h"

namespace {

constexpr std::uint16_t kLargestBuffer = 32767;

}  // namespace

int copy_sequential(int input_fd, const FileAttributes& attributes, RunOptions& options,
                    Console& console) {
    if (verbose_any(options)) {
        if (options.newline_mode == kNewlineNone) {
            message(console, "forced rat=none\n");
        } else if (options.newline_mode == kNewlineAfterRecord) {
            message(console, "forced rat=cr\n");
        }
    }

    const bool raw = options.raw != 0;
    int (*reader)(SequentialCopy&) = nullptr;
    switch (rfm_of(attributes)) {
        case kRfmFixed:
            reader = raw ? copy_raw_fix_records : copy_fix_records;
            break;
        case kRfmVariable:
            reader = raw ? copy_raw_var_records : copy_var_records;
            break;
        case kRfmVfc:
            reader = raw                            ? copy_raw_var_records
                     : options.control_prefix != 0 ? copy_var_records
                                                    : copy_vfc_records;
            break;
        default:
            break;
    }
    if (reader == nullptr) {
        message(console, " - not yet implemented\n");
        return 1;
    }

    SequentialCopy copy{ForwardReader{}, attributes, options, console};
    reader_open(copy.input, input_fd);
    return reader(copy);
}

std::uint16_t record_buffer_size(const FileAttributes& attributes) {
    std::uint16_t lrl = lrl_of(attributes);
    return (lrl >= 1 && lrl <= kLargestBuffer) ? lrl : kLargestBuffer;
}

std::uint32_t longest_stored_record(const FileAttributes& attributes) {
    std::uint32_t longest = record_buffer_size(attributes);
    if (rfm_of(attributes) == kRfmVfc) {
        longest += fsz_of(attributes);
    }
    return longest;
}

int report_overlong_record(SequentialCopy& copy, std::uint64_t record_offset, std::uint16_t length) {
    const unsigned long long offset = record_offset;
    const unsigned rsize = record_buffer_size(copy.attributes);
    if (rfm_of(copy.attributes) == kRfmVfc) {
        message(copy.console, "length word %u at offset %llu exceeds rsize %u plus fsz %u\n", length,
                offset, rsize, fsz_of(copy.attributes));
    } else {
        message(copy.console, "length word %u at offset %llu exceeds rsize %u\n", length, offset, rsize);
    }
    return 1;
}

void skip_to_block_end(SequentialCopy& copy) {
    std::uint64_t into_block = copy.input.position % kBlockSize;
    if (into_block != 0) {
        reader_skip(copy.input, kBlockSize - into_block);
    }
}

void place_next_fixed_record(SequentialCopy& copy, std::uint16_t record_length) {
    if (copy.input.position % kBlockSize + record_length > kBlockSize) {
        skip_to_block_end(copy);
    }
}

int check_input_error(SequentialCopy& copy) {
    if (copy.input.error_number != 0) {
        report_error_number(copy.console, "read", copy.input.error_number);
        return 1;
    }
    return 0;
}

int finish_copy(SequentialCopy& copy) {
    if (verbose_any(copy.options)) {
        message(copy.console, "%d records copied\n", copy.records);
    }
    return 0;
}

int report_short_record(SequentialCopy& copy, std::uint64_t record_offset, std::uint32_t length) {
    if (check_input_error(copy) != 0) {
        return 1;
    }
    message(copy.console, "read: end of file inside the %u-byte record at offset %llu\n", length,
            static_cast<unsigned long long>(record_offset));
    return 1;
}
