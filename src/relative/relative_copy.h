// Relative files: a prolog in VBN 1, then buckets of bks blocks holding
// cells of equal size, each a control byte and the room for one record of
// the file's format (relative_cells.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "attributes/copy_outcome.h"
#include "attributes/file_attributes.h"
#include "attributes/run_options.h"

struct Console;

// Copies the records present in every bucket from dvbn up to the prolog's
// eof, the fixed control area of vfc records only with -p. Records that
// cells past eof hold are not copied: a warning counts them.
CopyOutcome copy_relative(int input_fd, const FileAttributes& attributes, const RunOptions& options,
                          Console& console);
