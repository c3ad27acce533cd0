// Sequential files: the dispatcher and what its record readers share.
#pragma once

#include <cstdint>

#include "attributes/file_attributes.h"
#include "driver/run_options.h"
#include "platform/console.h"
#include "platform/forward_reader.h"
#include "platform/little_endian.h"

inline constexpr unsigned kBlockSize = 512;
inline constexpr std::uint16_t kEndOfBlockMarker = 0xFFFF;

// The state of one reader run over the input.
struct SequentialCopy {
    ForwardReader input;
    const FileAttributes& attributes;
    RunOptions& options;
    Console& console;
    std::int32_t records = 0;
};

// Chooses the record reader from rfm, raw and control_prefix, and runs it
// over the input descriptor (at offset 0). Returns 0 after a complete copy,
// 1 after a failure or for a record format it does not handle.
int copy_sequential(int input_fd, const FileAttributes& attributes, RunOptions& options,
                    Console& console);

// The record readers. Each returns 0 after a complete copy and 1 after a
// failure, which it has reported.
int copy_var_records(SequentialCopy& copy);   // var, and vfc with -p
int copy_vfc_records(SequentialCopy& copy);   // vfc without the control area
int copy_fix_records(SequentialCopy& copy);
int copy_raw_var_records(SequentialCopy& copy);  // -r: var and vfc with length words
int copy_raw_fix_records(SequentialCopy& copy);  // -r: fix records back to back

// --- Rules shared by the readers ---

// The record buffer size: lrl when it lies in 1..32767, else 32767.
std::uint16_t record_buffer_size(const FileAttributes& attributes);

// The longest stored record a length word may announce: rsize, plus the
// fixed control area for vfc records, whose lrl counts the data alone.
std::uint32_t longest_stored_record(const FileAttributes& attributes);

// Called where the next record would start: reports a read error that ended
// the input, if any. Returns 0 when the file simply ended.
int check_input_error(SequentialCopy& copy);

// The helpers called once or more per record are inline: a call into another
// file for each would cost as much as the copy of a short record.

// Reads the next length word. Returns 1 with *word set, 0 at the end of the
// file (fewer than 2 bytes left), -1 after reporting a read error.
inline int read_length_word(SequentialCopy& copy, std::uint16_t* word) {
    std::size_t got = 0;
    const unsigned char* bytes = reader_take(copy.input, 2, &got);
    if (got < 2) {
        return check_input_error(copy) != 0 ? -1 : 0;
    }
    *word = le16(bytes);
    return 1;
}

// A length word that announces more than the record buffer holds. Returns 1.
int report_overlong_record(SequentialCopy& copy, std::uint64_t record_offset, std::uint16_t length);

// Discards the bytes up to the next block boundary.
void skip_to_block_end(SequentialCopy& copy);

// Fixed-length records: the next record starts in the next block when it
// does not fit whole into the rest of the current one.
void place_next_fixed_record(SequentialCopy& copy, std::uint16_t record_length);

// Discards the pad byte that follows a record of odd stored length.
inline void skip_pad_byte(SequentialCopy& copy, std::uint32_t stored_length) {
    if ((stored_length & 1) != 0) {
        reader_skip(copy.input, 1);
    }
}

// Writes the line end of the newline mode. Returns 0, or 1 once output failed.
inline int end_record(SequentialCopy& copy) {
    if (copy.options.newline_mode != kNewlineNone) {
        return write_output_byte(copy.console, '\n');
    }
    return copy.console.output_failed ? 1 : 0;
}

// "%d records copied" at verbose levels other than 0; returns 0.
int finish_copy(SequentialCopy& copy);

// A record whose bytes did not all arrive: reports the read error, or the end
// of the file inside the record. Returns 1.
int report_short_record(SequentialCopy& copy, std::uint64_t record_offset, std::uint32_t length);
