// Variable-length records: a 16-bit length word, the data, and a pad byte
// after odd lengths so that every length word starts at an even offset. The
// length word 0xFFFF marks the end of the records in the current block.

#include "platform/console.h"
#include "platform/little_endian.h"
#include "sequential/sequential_copy.h"

namespace {

constexpr std::uint16_t kEndOfBlockMarker = 0xFFFF;
constexpr std::size_t kLengthWordSize = 2;

}  // namespace

int copy_var_records(SequentialCopy& copy) {
    settle_newline_mode(copy.options, rat_of(copy.attributes));
    const std::uint16_t rsize = record_buffer_size(copy.attributes);
    if (verbose_dumps(copy.options)) {
        message(copy.console, "rsize: %u\n", rsize);
    }

    for (;;) {
        const std::uint64_t record_offset = copy.input.position;
        std::size_t got = 0;
        const unsigned char* word = reader_take(copy.input, kLengthWordSize, &got);
        if (got < kLengthWordSize) {
            if (check_input_error(copy) != 0) {
                return 1;
            }
            break;
        }
        const std::uint16_t length = le16(word);
        ++copy.records;
        if (verbose_dumps(copy.options)) {
            message(copy.console, "reclen: %d\n", static_cast<std::int16_t>(length));
        }
        if (length == kEndOfBlockMarker) {
            --copy.records;
            skip_to_block_end(copy);
            continue;
        }
        if (length > rsize) {
            message(copy.console, "length word %u at offset %llu exceeds rsize %u\n", length,
                    static_cast<unsigned long long>(record_offset), rsize);
            return 1;
        }
        if (length != 0) {
            const unsigned char* data = reader_take(copy.input, length, &got);
            if (got < length) {
                return report_short_record(copy, record_offset, length);
            }
            if (write_output(copy.console, data, length) != 0) {
                return 1;
            }
            skip_pad_byte(copy, length);
        }
        if (end_record(copy) != 0) {
            return 1;
        }
    }
    return finish_copy(copy);
}
