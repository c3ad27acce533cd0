// What a copy came to, as a value: the callers decide from its kind (the
// exit status of unrms, the row and output name of a rescue), never from the
// wording of a message or from how many bytes came out. The messages for
// people are printed where the copy meets each case, as ever.
#pragma once

#include <cstdint>

#include "platform/console.h"

enum class CopyResult : std::uint8_t {
    kComplete,
    // A fixed-length file that ends inside its last record: every byte was
    // written, that record short (many image files end so).
    kShortLastRecord,
    // The file's structure breaks at damage_offset: the records before it
    // were written, nothing after.
    kDamaged,
    kUnsupported,  // an organisation, record format or prolog no copier handles
    kInputError,   // reading the file failed
    kOutputError,  // writing the records failed
};

struct CopyOutcome {
    CopyResult result = CopyResult::kComplete;
    std::uint64_t records = 0;  // written
    std::uint64_t bytes = 0;    // written to the output, line ends and prefixes included
    // kDamaged: the file offset where the damage lies; kShortLastRecord:
    // where the short record starts.
    std::uint64_t damage_offset = 0;
    // A complete copy that a warning says left data unread: records past the
    // end the file's own pointers name.
    bool data_left_behind = false;
};

// Marks the copy as ended by result (at offset, for damage); returns false,
// for the copier's failure path.
inline bool end_copy(CopyOutcome& outcome, CopyResult result, std::uint64_t offset = 0) {
    outcome.result = result;
    outcome.damage_offset = offset;
    return false;
}

inline bool copy_complete(const CopyOutcome& outcome) {
    return outcome.result == CopyResult::kComplete;
}

// The outcome of a copier that returned complete: false after a failure it
// marked with end_copy, or after a write that failed (the console knows),
// which the copiers only pass on.
inline CopyOutcome settle_copy_outcome(bool complete, CopyOutcome outcome, const Console& console) {
    if (console.output_failed) {
        outcome.result = CopyResult::kOutputError;
    } else if (!complete && outcome.result == CopyResult::kComplete) {
        outcome.result = CopyResult::kDamaged;
    }
    return outcome;
}
