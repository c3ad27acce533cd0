// Raw mode (-r): the records keep their structure but lose the gaps of the
// input. var and vfc records are written as their length word and stored
// bytes; fix records back to back. Pad bytes, end-of-block markers and block
// tails are dropped, and no line end is ever added.

#include "platform/console.h"
#include "sequential/sequential_copy.h"

bool copy_raw_var_records(SequentialCopy& copy) {
    const std::uint16_t rsize = record_buffer_size(copy.attributes);
    if (verbose_dumps(copy.options)) {
        message(copy.console, "rsize: %u\n", rsize);
    }
    const VarFraming framing{longest_stored_record(copy.attributes), 0, true, false};

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
        const unsigned char word_bytes[kLengthWordSize] = {static_cast<unsigned char>(length),
                                                           static_cast<unsigned char>(length >> 8)};
        if (!write_output(copy.console, word_bytes, sizeof word_bytes)) {
            return false;
        }
        std::size_t got = 0;
        const unsigned char* data = take_record(copy, length, &got);
        if (got < length) {
            return report_short_record(copy, record_offset, length);
        }
        if (!write_output(copy.console, data, length)) {
            return false;
        }
        ++copy.records;
    }
}

bool copy_raw_fix_records(SequentialCopy& copy) {
    const std::uint16_t reclen = record_buffer_size(copy.attributes);
    if (verbose_dumps(copy.options)) {
        message(copy.console, "reclen: %u\n", reclen);
    }

    for (;;) {
        copy_buffered_fix_records(copy, reclen, false);
        const std::uint64_t record_offset = reader_position(copy.input);
        std::size_t got = 0;
        const unsigned char* data = take_record(copy, reclen, &got);
        if (got == 0) {
            return check_input_error(copy) && finish_copy(copy);
        }
        if (got < reclen) {
            return report_short_record(copy, record_offset, reclen);
        }
        ++copy.records;
        if (!write_output(copy.console, data, reclen)) {
            return false;
        }
        place_next_fixed_record(copy, reclen);
    }
}
