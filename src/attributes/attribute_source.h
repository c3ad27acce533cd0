// The source of the attributes named with -a (a file, or standard input),
// or found beside a file: assignments ("org=idx rfm=fix lrl=52") or an FDL
// description, told apart by what the source holds.
#pragma once

#include <cstddef>

#include "attributes/file_attributes.h"

struct Console;

// The largest FDL description read: the descriptions VMS writes take a few
// kilobytes. Assignments may run to any length.
inline constexpr std::size_t kLargestFdl = 1 << 20;

// Reads the source open at fd to its end, enters its attributes and checks
// them with the consistency rules. name stands for the source in the system
// error report of a failed read. False after one error message (warnings of
// the rules may precede it, or a true result).
bool read_attribute_source(int fd, const char* name, FileAttributes& attributes, Console& console);
