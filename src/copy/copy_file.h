// One entry for every organisation and record format: the copier a file's
// attributes call for, writing to the console's output. The unrms command
// and the rescue of whole trees both copy through it.
#pragma once

#include <cstdint>

#include "attributes/file_attributes.h"
#include "attributes/run_options.h"

struct Console;

// Copies the records of the file open at input_fd (at offset 0), named name
// in messages. Sequential files of undefined or stream-LF format need no
// record processing and are copied unchanged. The options must have been
// settled against the attributes (settle_newline_mode). records counts the
// records written, also when the copy stops early. True after a complete
// copy; false after a failure (reported) or for a format no copier handles.
bool copy_file(int input_fd, const char* name, const FileAttributes& attributes, const RunOptions& options,
               Console& console, std::uint64_t& records);

// Copies the bytes of the file open at input_fd to the output unchanged;
// false after the system error report naming name.
bool type_file(int input_fd, const char* name, Console& console);
