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
    kOutputInTheWay,   // skipped: an earlier source's output stands where a directory of this output must
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

// A file as the walk saw it: the same file is the same device and inode.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

// No directory: an entry named as a PATH, opened by its path.
inline constexpr std::uint32_t kNamedPath = UINT32_MAX;

struct ListEntry {
    std::uint64_t text = 0;     // the source path's offset in FileList::text
    std::uint32_t size = 0;     // its length
    std::uint32_t below = 0;    // where the output name (relative to OUTDIR) begins in it
    std::uint64_t bytes = 0;    // a regular file's size when the walk met it
    // kSameOutput and kOutputInTheWay, or a blocked partial name: the text
    // offset of the source whose output stands there.
    std::uint64_t same_as = 0;
    std::int32_t error_number = 0;  // kUnreadable
    // The directory it was found in (FileList::directories), or kNamedPath.
    std::uint32_t directory = kNamedPath;
    FileIdentity identity;  // a regular file's, as the walk saw it
    EntryKind kind = EntryKind::kConvert;
    Sidecar sidecar = Sidecar::kNone;
    bool named = false;  // a file PATH itself: a symbolic link there was followed
    // NAME.partial is the output of another source: the records before
    // damage cannot be kept under it.
    bool partial_blocked = false;
};

// A directory the walk descended into: found by name in its parent, or the
// directory a PATH names (root_fd open for the run).
struct WalkedDirectory {
    std::uint32_t parent = kNamedPath;  // kNamedPath for a PATH's own directory
    int root_fd = -1;                   // a PATH's own directory
    std::uint64_t name = 0;             // offset of its name (zero-ended) in FileList::text
    FileIdentity identity;
};

struct FileList {
    std::string text;                // the source paths, each ended by a zero byte; directory names
    std::vector<ListEntry> entries;  // sorted by source path, byte by byte
    std::vector<WalkedDirectory> directories;
    // Every regular file the walk met, sidecars included, sorted: no output
    // may replace one.
    std::vector<FileIdentity> sources;
    std::uint64_t bytes = 0;         // the sizes of the kConvert entries, added up
};

// Closes the directories of PATHs the list holds open.
void close_file_list(FileList& list);

// Whether identity is one of the run's sources.
bool is_source(const FileList& list, const FileIdentity& identity);

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
// Whether name (a last component) has the form of the rescue's temporary
// files.
bool is_temporary_name(std::string_view name);

// The suffix of the output that keeps the records before damage.
inline constexpr const char* kPartialSuffix = ".partial";

// Walks every PATH in order and lists what it finds, then sorts the list by
// source path. A PATH that is a directory lists the files below it, output
// under their path below the PATH; a PATH that is a file lists itself,
// output under its base name. A sidecar (NAME.attr, NAME.fdl, NAME.FDL with
// the regular file NAME beside it) is not listed inside a directory; it is
// NAME's attribute source. Trailing slashes of a PATH are dropped. Every
// name the run may write is claimed here, before any file is converted, so
// that clashes come out the same whatever the number of workers: two
// sources of one output (the first PATH's wins), an output where another
// needs a directory, an output that is another's NAME.partial (the source
// whose output it is keeps it).
void build_file_list(const std::vector<std::string>& paths, const DirectoryIdentity& outdir, FileList& list);

// The source path of an entry, as the user would name it (zero-ended).
inline const char* source_path(const FileList& list, const ListEntry& entry) {
    return list.text.data() + entry.text;
}
inline std::string_view source_of(const FileList& list, const ListEntry& entry) {
    return {source_path(list, entry), entry.size};
}

// The name of the entry in its directory.
inline const char* base_name_of(const FileList& list, const ListEntry& entry) {
    const std::string_view source = source_of(list, entry);
    const std::size_t slash = source.rfind('/');
    return source_path(list, entry) + (slash == std::string_view::npos ? 0 : slash + 1);
}

// The output's path relative to OUTDIR.
inline std::string_view output_name_of(const FileList& list, const ListEntry& entry) {
    return source_of(list, entry).substr(entry.below);
}

// A PATH as the walk uses it: trailing slashes dropped, "/" kept.
std::string trimmed_path(std::string path);
