// The scanner of single-letter options at the front of the command line.
//
// Its rules are its own: a lone "-" and any word beginning with "--" that is
// not a declared long option end the options and are consumed, and the
// first operand ends the scan (nothing is reordered).
#pragma once

#include <span>

struct Console;

// A word that is an option of its own ("--raw"), returned as code: a value
// no option letter has (256 and up).
struct LongOption {
    const char* word;
    int code;
};

struct OptionScanner {
    int index = 1;                   // word being scanned, or to scan next
    const char* cluster = nullptr;   // next letter inside the current word
    const char* argument = nullptr;  // argument of the option returned last
};

inline constexpr int kEndOfOptions = -1;
inline constexpr int kOptionError = '?';

// Returns the next option letter (argument set for options that take one)
// or long option's code, kOptionError after reporting an undeclared letter
// or a missing argument, or kEndOfOptions with index on the first operand.
int next_option(OptionScanner& scanner, int argc, char* const* argv, const char* letters, Console& console,
                std::span<const LongOption> long_options = {});
