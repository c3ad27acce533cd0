// The options of one run, set by the command line and read by the copiers.
#pragma once

#include <cstdint>

struct TextStream;

// Whether a line end follows each record on standard output.
enum NewlineMode : std::int32_t {
    kNewlineUndecided = -1,
    kNewlineNone = 0,
    kNewlineAfterRecord = 1,
};

struct RunOptions {
    std::int32_t newline_mode = kNewlineUndecided;  // -i gives 1, -n gives 0
    std::int32_t length_prefix = 0;   // -l: two-byte length before indexed records
    std::int32_t control_prefix = 0;  // -p: keep the fixed control area of vfc records
    std::int32_t raw = 0;             // -r: raw readers for sequential files
    std::int32_t verbose = 0;         // -v[L]; negative levels count as "not 0"
    TextStream* attribute_source = nullptr;  // -a: a file, or standard input for "-"
};

// The three graded tests of the verbose level.
inline bool verbose_any(const RunOptions& options) { return options.verbose != 0; }
inline bool verbose_dumps(const RunOptions& options) { return options.verbose >= 2; }
inline bool verbose_traces(const RunOptions& options) { return options.verbose >= 3; }

// The copiers' carriage-return rule: a mode that neither the command line nor
// the driver has fixed becomes 1 when the records carry rat=cr, else 0.
inline void settle_newline_mode(RunOptions& options, std::uint8_t rat) {
    if (options.newline_mode == kNewlineUndecided) {
        options.newline_mode = (rat & 0x02) != 0 ? kNewlineAfterRecord : kNewlineNone;
    }
}
