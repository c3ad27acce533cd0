// The manifest of a rescue, OUTDIR/unrms-rescue.jsonl: one JSON object per
// file, appended as each file finishes so that an interrupted run keeps the
// rows of what it did, and rewritten sorted by source at the end.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct Console;
struct FileList;

enum class RowStatus : std::uint8_t {
    kCopied,   // copied with attributes given beside it or confidently probed
    kUnsure,   // copied with attributes the probe was not sure of
    kFailed,   // not copied, or copied only up to damage
    kSkipped,  // left alone: see the message
};

// Why a row has its status, for programs that read the manifest: the
// message beside it is for people and may change wording.
enum class RowReason : std::uint8_t {
    kNone,              // copied: nothing to say
    kShortLastRecord,   // copied: a fixed-length file that ends inside its last record
    kDataLeftBehind,    // unsure: a warning names records the file's pointers leave out
    kDamaged,           // failed: the records before the damage are kept as NAME.partial
    kUnsupported,       // failed: a format no copier handles
    kReadError,         // failed: reading the file failed
    kWriteError,        // failed: writing the output failed
    kAttributes,        // failed: the attributes could not be settled
    kChanged,           // failed: the file is no longer the one the walk found
    kOutputIsSource,    // failed: the output's name is taken by a source of the run
    kUnreadable,        // failed: the walk could not read it
    kTooDeep,           // failed: nested too deep
    kSymlink,           // skipped
    kNotRegular,        // skipped
    kOutputDirectory,   // skipped
    kSidecar,           // skipped
    kSameOutput,        // skipped
    kOutputInTheWay,    // skipped
    kReservedName,      // skipped
    kOutputExists,      // skipped
    kDirectory,         // skipped: an archive's directory member, made a directory by its files
    kRenamed,           // copied: a member's name was made safe, or clashed with another's output
    kUnsafeName,        // failed: a member's name has no safe form below OUTDIR
    kArchiveDamaged,    // failed: damage in an archive outside its members' data
};

enum class AttributeOrigin : std::uint8_t {
    kNone,     // no attributes were settled
    kSidecar,  // NAME.attr
    kFdl,      // NAME.fdl or NAME.FDL
    kProbe,
    kSaveset,  // the record attribute block a BACKUP saveset holds for its member
    kZip,      // the VMS field of a zip member
};

// What the rescue did with one file; a worker fills one row after another.
struct RescueRow {
    std::string_view source;
    // A member of an archive: its name exactly as the archive stores it,
    // and the members it lies inside, outermost first (a nested archive;
    // the saveset of a tape image). Empty for a file.
    std::string member;
    std::vector<std::string> inside;
    std::string output;      // the path written, OUTDIR included; empty: none
    std::string attributes;  // the assignment line used; empty: none
    AttributeOrigin origin = AttributeOrigin::kNone;
    bool confident = false;  // with origin kProbe
    // With origin kProbe: the records are sure but their line ends are
    // what real files of the kind carry, not read from the bytes.
    bool line_ends_guessed = false;
    int score = 0;           // the probe's winner
    std::string runner_up;   // the probe's second candidate; empty: none
    int runner_up_score = 0;
    std::uint64_t records = 0;
    std::uint64_t bytes_in = 0;
    std::uint64_t bytes_out = 0;
    RowStatus status = RowStatus::kSkipped;
    RowReason reason = RowReason::kNone;
    std::string message;  // the file's messages, one line, "; " between them
};

void clear_row(RescueRow& row);

const char* status_name(RowStatus status);
const char* origin_name(AttributeOrigin origin);
const char* reason_name(RowReason reason);

// The row as one line of JSON, its line end included: source, member,
// inside (null unless a member), output,
// attributes, from, confident, line_ends ("guessed", or null), score,
// runner_up {attributes, score},
// records, bytes_in, bytes_out, status, reason, message; null where a field
// does not apply. JSON holds UTF-8 alone, so bytes of a name that are not
// UTF-8 become U+FFFD there; such a source also gets source_bytes, its name
// escaped as the plan shows it, which reads back to the bytes.
std::string manifest_line(const RescueRow& row);

// Where a row goes in the sorted manifest: after the rows of the entries
// before its list entry, an entry's own row first, then the rows of the
// members of an archive in their order (member is their places, outermost
// archive first).
struct RowKey {
    std::uint32_t entry = 0;
    std::vector<std::uint32_t> member;
    friend auto operator<=>(const RowKey&, const RowKey&) = default;
};

// A row appended as the run went.
struct AppendedRow {
    RowKey key;
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
};

struct Manifest {
    int directory_fd = -1;  // OUTDIR
    std::string shown;      // the manifest's path as messages show it
    int fd = -1;
    std::mutex lock;         // guards the members below
    std::uint64_t size = 0;  // bytes appended
    int error_number = 0;    // of the first failed write; no row is appended after it
    std::vector<AppendedRow> rows;
};

// Creates the manifest in OUTDIR, replacing an earlier one (or whatever
// stands under its name: a symbolic link is replaced, not followed). False
// after a message on the console.
bool open_manifest(Manifest& manifest, int outdir_fd, const std::string& shown, Console& console);

// Appends a line that goes to key's place. False once a write has failed
// (the failure is reported by close_manifest).
bool append_row(Manifest& manifest, std::string_view line, const RowKey& key);

// Rewrites the manifest with the rows appended, in the order of their keys
// (list order, that is sorted by source, then member order), and closes it.
// False after a message, also for an append that failed during the run.
bool close_manifest(Manifest& manifest, Console& console);
