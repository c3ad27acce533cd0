// Variable-length records with a fixed control area (vfc): the length word
// counts the fsz control bytes and the data together; only the data are
// written. For rat=prn the control area holds the print control, which is
// not interpreted.

#include "platform/console.h"
#include "sequential/sequential_copy.h"

bool copy_vfc_records(SequentialCopy& copy) {
    const std::uint16_t rsize = record_buffer_size(copy.attributes);
    if (verbose_dumps(copy.options)) {
        message(copy.console, "rsize: %u\n", rsize);
    }
    const std::uint8_t fsz = fsz_of(copy.attributes);
    const VarFraming framing{longest_stored_record(copy.attributes), fsz, false,
                             line_end_after_record(copy.options)};

    for (;;) {
        copy_buffered_var_records(copy, framing);
        const std::uint64_t record_offset = reader_position(copy.input);
        std::uint16_t length = 0;
        const LengthWord word = read_length_word(copy, &length);
        if (word != LengthWord::kRead) {
            return word == LengthWord::kEndOfFile && finish_copy(copy);
        }
        if (length == kEndOfBlockMarker) {
            skip_to_block_end(copy);
            continue;
        }
        if (length > framing.longest) {
            return report_overlong_record(copy, record_offset, length);
        }
        // An empty record has no control area either.
        const std::size_t control = length == 0 ? 0 : fsz;
        if (length < control) {
            message(copy.console, "length word %u at offset %llu is shorter than fsz %u\n", length,
                    static_cast<unsigned long long>(record_offset), fsz);
            return end_copy(copy.outcome, CopyResult::kDamaged, record_offset);
        }
        std::size_t got = 0;
        const unsigned char* stored = take_record(copy, length, &got);
        if (got < length) {
            return report_short_record(copy, record_offset, length);
        }
        if (!write_record(copy, stored + control, length - control)) {
            return false;
        }
        ++copy.records;
    }
}
