// Relative files: a prolog in VBN 1, then buckets of bks blocks holding
// cells of equal size, each a control byte, a length word and lrl bytes of
// record area.
#pragma once

#include <cstddef>
#include <cstdint>

#include "attributes/file_attributes.h"
#include "driver/run_options.h"

struct Console;

// Copies the records present in every bucket from dvbn up to the prolog's
// eof. Returns 0 after the walk, 1 after a failure or for a record format it
// does not handle.
int copy_relative(int input_fd, const FileAttributes& attributes, RunOptions& options, Console& console);

// The state of one walk over the buckets.
struct RelativeCopy {
    const FileAttributes& attributes;
    RunOptions& options;
    Console& console;
    std::size_t bucket_size;
    std::int32_t records = 0;
};

// Copies the present records of the bucket that starts at vbn, of which the
// file supplied the first `present` bytes (the bucket size when whole).
// Returns 0, or 1 after reporting damage or a failed write.
int copy_relative_bucket(RelativeCopy& copy, std::uint32_t vbn, const unsigned char* bucket, std::size_t present);
