// The program: scans the command line, opens the input, obtains the
// attributes and hands the file to the copier its organisation and record
// format call for.
#pragma once

struct Console;

// Runs one invocation and returns its exit status. The console's output
// buffer is flushed before returning.
int run_unrms(int argc, char* const* argv, Console& console);

// The first command-line word with everything up to its last '/' or '\'
// removed.
const char* program_name(const char* argv0);

// Prints the usage text (it begins with the version line); returns 1.
int print_usage(const char* name, Console& console);

