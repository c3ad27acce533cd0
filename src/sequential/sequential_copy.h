// Sequential files: the dispatcher and what its record readers share.
#pragma once

#include <cstdint>

#include "attributes/file_attributes.h"
#include "driver/run_options.h"
#include "platform/forward_reader.h"

struct Console;

inline constexpr unsigned kBlockSize = 512;

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
int copy_var_records(SequentialCopy& copy);

// --- Rules shared by the readers ---

// The record buffer size: lrl when it lies in 1..32767, else 32767.
std::uint16_t record_buffer_size(const FileAttributes& attributes);

// Discards the bytes up to the next block boundary.
void skip_to_block_end(SequentialCopy& copy);

// Discards the pad byte that follows a record of odd stored length.
void skip_pad_byte(SequentialCopy& copy, std::uint32_t stored_length);

// Writes the line end of the newline mode. Returns 0, or 1 once output failed.
int end_record(SequentialCopy& copy);

// Called where the next record would start: reports a read error that ended
// the input, if any. Returns 0 when the file simply ended.
int check_input_error(SequentialCopy& copy);

// "%d records copied" at verbose levels other than 0; returns 0.
int finish_copy(SequentialCopy& copy);

// A record whose bytes did not all arrive: reports the read error, or the end
// of the file inside the record. Returns 1.
int report_short_record(SequentialCopy& copy, std::uint64_t record_offset, std::uint32_t length);
