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

struct Console;

// Copies the live records of the data bucket ring of key 0. Returns 0 after
// the whole ring, 1 after a failure (reported) or for a record format or
// prolog version it does not handle.
int copy_indexed(int input_fd, const FileAttributes& attributes, RunOptions& options, Console& console);

// The state of one walk over the ring.
struct IndexedCopy {
    int input_fd;
    RunOptions& options;
    Console& console;
    CopyArray copy_array;
    std::int32_t minimum_length;  // the fewest bytes a stored record needs
    Expansion expansion;
    std::vector<unsigned char> bucket;
    std::int32_t records = 0;
};

// Reads the bucket at vbn and writes its live records. Returns 0 with
// *nxtbkt set, or 1 after reporting damage, a read error or a failed write.
int copy_indexed_bucket(IndexedCopy& copy, std::uint32_t vbn, std::uint32_t* nxtbkt);
