// Indexed files: VBN 1 holds the descriptor of the primary key and the
// prolog; the records lie in data buckets chained into a ring that starts at
// the key's ldvbn. The copy walks that ring, takes the entries of each bucket
// in order and writes every live record in the user's byte order. Prolog 3
// stores the primary key in front of each record, and may compress keys and
// data; prologs 1 and 2 store records whole.
#pragma once

#include <cstdint>

#include "attributes/copy_outcome.h"
#include "attributes/file_attributes.h"
#include "attributes/run_options.h"

struct Console;

// Copies the live records of the data bucket ring of key 0, of fixed or
// variable length: complete after the whole ring, or at once for a file
// whose index was never initialised (a warning counts the records its data
// buckets hold all the same).
CopyOutcome copy_indexed(int input_fd, const FileAttributes& attributes, const RunOptions& options,
                         Console& console);
