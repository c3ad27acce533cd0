// The files of a rescue: every name under the PATHs given, found by a walk
// that never follows a symbolic link, each with what the rescue does with
// it. The list is the only thing of a run that grows with the tree, so an
// entry is small: its source path lives in one shared text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the rescue does with an entry.
enum class EntryKind : std::uint8_t {
    kConvert,          // a regular file: its records are copied
    kSymlink,          // skipped: a symbolic link, never followed
    kSpecial,          // skipped: a FIFO, a device or a socket
    kOutputDirectory,  // skipped: OUTDIR itself, met inside a PATH
    kSidecar,          // skipped: a file named as a PATH that is another one's sidecar
    kSameOutput,       // skipped: an earlier source has the same output name
    kReservedName,     // skipped: the output name is the manifest's or a temporary one
    kUnreadable,       // failed: the walk could not read it (error_number says why)
    kTooDeep,          // failed: a directory nested deeper than kDeepestDirectory
};

// Where a file's attributes are written down beside it.
enum class Sidecar : std::uint8_t {
    kNone,
    kAttr,      // NAME.attr: assignments
    kFdlLower,  // NAME.fdl: an FDL description
    kFdlUpper,  // NAME.FDL
};

// The suffix of a sidecar's name.
const char* sidecar_suffix(Sidecar sidecar);

struct ListEntry {
    std::uint64_t text = 0;     // the source path's offset in FileList::text
    std::uint32_t size = 0;     // its length
    std::uint32_t below = 0;    // where the output name (relative to OUTDIR) begins in it
    std::uint64_t bytes = 0;    // a regular file's size when the walk met it
    std::uint64_t same_as = 0;  // kSameOutput: the text offset of the source that has the output
    std::uint64_t row = 0;      // the offset of its row in the manifest written as the run goes
    std::uint32_t row_size = 0;  // 0: no row written
    std::int32_t error_number = 0;  // kUnreadable
    EntryKind kind = EntryKind::kConvert;
    Sidecar sidecar = Sidecar::kNone;
    bool named = false;  // a file PATH itself: a symbolic link there was followed
};

struct FileList {
    std::string text;                // the source paths, each ended by a zero byte
    std::vector<ListEntry> entries;  // sorted by source path, byte by byte
    std::uint64_t bytes = 0;         // the sizes of the kConvert entries, added up
};

// The identity of OUTDIR, so that a walk that meets it does not descend.
struct DirectoryIdentity {
    bool known = false;  // false: OUTDIR does not exist (yet)
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// How deep the walk descends below a PATH: VMS directories nest 8 deep on
// ODS-2 disks and 255 deep on ODS-5 ones.
inline constexpr int kDeepestDirectory = 256;

// The name of the manifest in OUTDIR, and the prefix and suffix of the
// temporary names a run writes there: no source may have them as output.
inline constexpr const char* kManifestName = "unrms-rescue.jsonl";
inline constexpr const char* kTemporaryPrefix = ".unrms-rescue-";
inline constexpr const char* kTemporarySuffix = ".tmp";

// Walks every PATH in order and lists what it finds, then sorts the list by
// source path. A PATH that is a directory lists the files below it, output
// under their path below the PATH; a PATH that is a file lists itself,
// output under its base name. A sidecar (NAME.attr, NAME.fdl, NAME.FDL with
// the regular file NAME beside it) is not listed inside a directory; it is
// NAME's attribute source. Trailing slashes of a PATH are dropped.
void build_file_list(const std::vector<std::string>& paths, const DirectoryIdentity& outdir, FileList& list);

// The source path of an entry, as the user would name it (zero-ended).
inline const char* source_path(const FileList& list, const ListEntry& entry) {
    return list.text.data() + entry.text;
}
inline std::string_view source_of(const FileList& list, const ListEntry& entry) {
    return {source_path(list, entry), entry.size};
}

// The output's path relative to OUTDIR.
inline std::string_view output_name_of(const FileList& list, const ListEntry& entry) {
    return source_of(list, entry).substr(entry.below);
}

// A PATH as the walk uses it: trailing slashes dropped, "/" kept.
std::string trimmed_path(std::string path);
