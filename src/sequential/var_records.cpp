// Variable-length records: a 16-bit length word, the data, and a pad byte
// after odd lengths so that every length word starts at an even offset. The
// length word 0xFFFF marks the end of the records in the current block.
//
// With -p a vfc file is copied by this reader too: its records are then
// written whole, fixed control area first.

#include "platform/console.h"
#include "sequential/sequential_copy.h"

bool copy_var_records(SequentialCopy& copy) {
    const std::uint16_t rsize = record_buffer_size(copy.attributes);
    if (verbose_dumps(copy.options)) {
        message(copy.console, "rsize: %u\n", rsize);
    }
    const VarFraming framing{longest_stored_record(copy.attributes), 0, false,
                             line_end_after_record(copy.options)};
    const bool dumps = verbose_dumps(copy.options);

    for (;;) {
        if (!dumps) {
            copy_buffered_var_records(copy, framing);
        }
        const std::uint64_t record_offset = reader_position(copy.input);
        std::uint16_t length = 0;
        const LengthWord word = read_length_word(copy, &length);
        if (word != LengthWord::kRead) {
            return word == LengthWord::kEndOfFile && finish_copy(copy);
        }
        if (dumps) {
            message(copy.console, "reclen: %d\n", static_cast<std::int16_t>(length));
        }
        if (length == kEndOfBlockMarker) {
            skip_to_block_end(copy);
            continue;
        }
        if (length > framing.longest) {
            return report_overlong_record(copy, record_offset, length);
        }
        std::size_t got = 0;
        const unsigned char* data = take_record(copy, length, &got);
        if (got < length) {
            return report_short_record(copy, record_offset, length);
        }
        if (!write_record(copy, data, length)) {
            return false;
        }
        ++copy.records;
    }
}
