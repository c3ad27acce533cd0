// Variable-length records with a fixed control area (vfc): the length word
// counts the fsz control bytes and the data together; only the data are
// written. For rat=prn the control area holds the print control, which is
// not interpreted.

#include "platform/console.h"
#include "sequential/sequential_copy.h"

int copy_vfc_records(SequentialCopy& copy) {
    settle_newline_mode(copy.options, rat_of(copy.attributes));
    const std::uint16_t rsize = record_buffer_size(copy.attributes);
    if (verbose_dumps(copy.options)) {
        message(copy.console, "rsize: %u\n", rsize);
    }
    const std::uint32_t longest = longest_stored_record(copy.attributes);
    const std::uint8_t fsz = fsz_of(copy.attributes);

    for (;;) {
        const std::uint64_t record_offset = copy.input.position;
        std::uint16_t length = 0;
        int status = read_length_word(copy, &length);
        if (status <= 0) {
            return status < 0 ? 1 : finish_copy(copy);
        }
        ++copy.records;
        if (length == kEndOfBlockMarker) {
            --copy.records;
            skip_to_block_end(copy);
            continue;
        }
        if (length != 0) {
            if (length > longest) {
                return report_overlong_record(copy, record_offset, length);
            }
            if (length < fsz) {
                message(copy.console, "length word %u at offset %llu is shorter than fsz %u\n", length,
                        static_cast<unsigned long long>(record_offset), fsz);
                return 1;
            }
            std::size_t got = 0;
            const unsigned char* stored = reader_take(copy.input, length, &got);
            if (got < length) {
                return report_short_record(copy, record_offset, length);
            }
            if (write_output(copy.console, stored + fsz, length - fsz) != 0) {
                return 1;
            }
            skip_pad_byte(copy, length);
        }
        if (end_record(copy) != 0) {
            return 1;
        }
    }
}
