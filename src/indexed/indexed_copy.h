// Indexed files: VBN 1 holds the descriptor of the primary key and the
// prolog; the records lie in data buckets chained into a ring that starts at
// the key's ldvbn. The copy walks that ring, takes the entries of each bucket
// in order and writes every live record in the user's byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "attributes/file_attributes.h"
#include "driver/run_options.h"
#include "indexed/copy_array.h"
#include "indexed/expansion.h"
#include "platform/raw_io.h"

struct Console;

// Copies the live records of the data bucket ring of key 0. Returns 0 after
// the whole ring, 1 after a failure (reported) or for a record format or
// prolog version it does not handle.
int copy_indexed(int input_fd, const FileAttributes& attributes, RunOptions& options, Console& console);

// Consecutive blocks of the file read at once, from first_vbn: a ring that
// follows the file costs a read per run of buckets, not per bucket.
struct BucketRun {
    ReadBuffer buffer;
    std::size_t capacity = 0;   // bytes of buffer
    std::uint32_t first_vbn = 0;
    std::size_t requested = 0;  // bytes the last read asked for; 0 before it
    std::size_t supplied = 0;   // bytes the file supplied of them
};

// The state of one walk over the ring.
struct IndexedCopy {
    int input_fd;
    RunOptions& options;
    Console& console;
    CopyArray copy_array;
    std::int32_t minimum_length;  // the fewest bytes a stored record needs
    Expansion expansion;
    std::size_t bucket_size;
    BucketRun run;
    std::int32_t records = 0;
};

// Writes the live records of the bucket at vbn, of which the file supplied
// the first `present` bytes (the bucket size when whole). Returns 0 with
// *nxtbkt set, or 1 after reporting damage or a failed write.
int copy_indexed_bucket(IndexedCopy& copy, std::uint32_t vbn, const unsigned char* bucket, std::size_t present,
                        std::uint32_t* nxtbkt);
