// Fixed-length records: lrl bytes each, no length word, a pad byte after
// odd lengths; packed end to end, or with rat=blk a record that does not fit
// whole into the rest of a block starts at the next block.

#include "platform/console.h"
#include "sequential/sequential_copy.h"

bool copy_fix_records(SequentialCopy& copy) {
    const std::uint16_t reclen = record_buffer_size(copy.attributes);
    if (verbose_dumps(copy.options)) {
        message(copy.console, "reclen: %u\n", reclen);
    }
    const bool line_end = line_end_after_record(copy.options);

    for (;;) {
        copy_buffered_fix_records(copy, reclen, line_end);
        const std::uint64_t record_offset = reader_position(copy.input);
        std::size_t got = 0;
        const unsigned char* data = take_record(copy, reclen, &got);
        if (got == 0) {
            return check_input_error(copy) && finish_copy(copy);
        }
        if (got < reclen) {
            if (!check_input_error(copy)) {
                return false;
            }
            // A file that ends inside its last record: its bytes are kept.
            if (!write_output(copy.console, data, got)) {
                return false;
            }
            message(copy.console, "last record only %d bytes\n", static_cast<int>(got));
            report_short_record(copy, record_offset, reclen);
            return end_copy(copy.outcome, CopyResult::kShortLastRecord, record_offset);
        }
        ++copy.records;
        if (!write_record(copy, data, reclen)) {
            return false;
        }
        place_next_fixed_record(copy, reclen);
    }
}
