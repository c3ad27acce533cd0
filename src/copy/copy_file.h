// One entry for every organisation and record format: the copier a file's
// attributes call for, writing to the console's output. The unrms command
// and the rescue of whole trees both copy through it.
#pragma once

#include <cstdint>

#include "attributes/copy_outcome.h"
#include "attributes/file_attributes.h"
#include "attributes/run_options.h"

struct Console;

// Copies the records of the file open at input_fd (at offset 0), named name
// in messages. Sequential files of undefined or stream-LF format need no
// record processing and are copied unchanged. The options must have been
// settled against the attributes (settle_newline_mode). The output is
// flushed before the outcome is returned, so its byte count is what reached
// the output and a write that fails at the last is an output error.
CopyOutcome copy_file(int input_fd, const char* name, const FileAttributes& attributes, const RunOptions& options,
                      Console& console);

// Copies the bytes of the file open at input_fd to the output unchanged;
// an input error after the system error report naming name.
CopyOutcome type_file(int input_fd, const char* name, Console& console);
