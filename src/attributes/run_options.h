// The options of one run: set by the command line, settled once against the
// attributes, then read by the copiers.
#pragma once

#include <cstdint>

// Whether a line end follows each record on standard output.
enum class NewlineMode : std::int8_t {
    kUndecided = -1,  // neither -i nor -n was given
    kNone = 0,
    kAfterRecord = 1,
};

struct RunOptions {
    NewlineMode newline_mode = NewlineMode::kUndecided;  // -i, -n; settled by settle_newline_mode
    // The mode was fixed before the carriage-return rule could speak: by -i
    // or -n, or by rat=ftn or rat=prn.
    bool newline_forced = false;
    bool length_prefix = false;   // -l: two-byte length before indexed records
    bool control_prefix = false;  // -p: keep the fixed control area of vfc records
    bool raw = false;             // -r: raw readers for sequential files
    std::int32_t verbose = 0;     // -v[L]; negative levels count as "not 0"
};

// The three graded tests of the verbose level.
inline bool verbose_any(const RunOptions& options) { return options.verbose != 0; }
inline bool verbose_dumps(const RunOptions& options) { return options.verbose >= 2; }
inline bool verbose_traces(const RunOptions& options) { return options.verbose >= 3; }

// The line-end rule, applied once the attributes are known and before any
// copier runs: the command line decides; failing that, rat=ftn and rat=prn
// give a line end after each record (newline_forced is then set as well);
// failing that, rat=cr does, and anything else gives none.
void settle_newline_mode(RunOptions& options, std::uint8_t rat);

inline bool line_end_after_record(const RunOptions& options) {
    return options.newline_mode == NewlineMode::kAfterRecord;
}

struct Console;

// The closing line of every copier, "N records copied", at verbose levels
// other than 0.
void print_records_copied(const RunOptions& options, Console& console, std::uint64_t records);
