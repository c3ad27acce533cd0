// Writing below OUTDIR and nowhere else. Every directory is created and
// entered relative to its parent's descriptor without following a symbolic
// link, and every file is created under a temporary name that no link can
// stand in for, then renamed into place once complete: an interrupted run
// leaves no half file under a final name, and a link planted inside OUTDIR
// is never written through.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct Console;
struct FileList;

// The output tree as one worker writes into it. Files come in source order,
// so the directory of the last one is kept open for the next.
struct OutputTree {
    int root_fd = -1;  // OUTDIR, owned by the run; -1 when it does not exist (-n)
    std::string root_name;  // OUTDIR as given, its trailing slashes dropped
    std::string directory;  // the open directory's name below OUTDIR ("" for OUTDIR)
    int directory_fd = -1;  // -1: none open
};

void output_tree_close(OutputTree& tree);

enum class OutputDirectory {
    kOpen,     // tree.directory_fd is the directory
    kMissing,  // it does not exist and was not to be created
    kFailed,   // reported
};

// Enters the directory of the output named name (relative to OUTDIR),
// creating the missing ones when create is set. A symbolic link or a file
// where a directory is needed fails with a message naming it.
OutputDirectory enter_output_directory(OutputTree& tree, std::string_view name, bool create, Console& console);

// The last component of an output name.
std::string_view output_base_name(std::string_view name);

// Whether anything (a symbolic link included) has the name base in the
// entered directory.
bool output_exists(const OutputTree& tree, const char* base);

// A file being written in the entered directory under a temporary name.
struct PendingOutput {
    std::string temporary;
    int fd = -1;
};

// Creates the temporary file for the output numbered number (its place in
// the list: unique within a run). A stale one of an earlier run is removed
// first. False after a message.
bool begin_output(OutputTree& tree, std::uint64_t number, PendingOutput& pending, Console& console);

// Closes the temporary file, checking the close (a file system may report a
// failed write only there; the run syncs the file system once before its
// manifest is written), and gives it the name final_name, replacing an
// existing file of that name only with replace, and never one of the run's
// sources. kExists when one was there and was kept, kIsSource when a source
// has the name; the temporary file is then removed. kFailed after a
// message.
enum class Finish { kDone, kExists, kIsSource, kFailed };
Finish finish_output(OutputTree& tree, PendingOutput& pending, const std::string& final_name, bool replace,
                     const FileList& list, Console& console);

// Removes the file name from the entered directory when one is there and is
// not a source of the run: a partial copy that a complete one replaces.
void remove_stale_output(OutputTree& tree, const std::string& name, const FileList& list);

// Removes the temporary files an interrupted run left in the directory name
// (relative to OUTDIR), when it exists: only names of the rescue's own
// form, in that directory alone.
void remove_stale_temporaries(int root_fd, std::string_view name);

// Closes and removes the temporary file.
void abandon_output(OutputTree& tree, PendingOutput& pending);
