// Opening the files the walk found, and their sidecars, as the walk found
// them: from the directory of their PATH, held open since the walk, one
// component at a time and never through a symbolic link, every directory
// on the way and the file itself checked to be the one the walk saw
// (device and inode, and a regular file). A tree changed under a running
// rescue (a directory swapped for a link, a FIFO for a sidecar) is then
// reported, never followed or waited on.
#pragma once

#include <cstdint>

#include "platform/directory_io.h"
#include "rescue/file_list.h"

// The source directory a worker opened last: files come in source order,
// so the next is most often in it too.
struct SourceDirectory {
    std::uint32_t index = kNamedPath;
    int fd = -1;
    bool owned = false;  // false: a PATH's own directory, which the list holds open
};

void source_directory_close(SourceDirectory& directory);

enum class SourceOpen {
    kOpened,
    kSymlink,  // a symbolic link stands where the walk found the file
    kChanged,  // the file, or a directory on its way, is not the one the walk saw
    kFailed,   // errno says why
};

// Opens the entry's file for reading; status is what it is open on.
SourceOpen open_source(const FileList& list, const ListEntry& entry, SourceDirectory& directory, int* fd,
                       EntryStatus& status);

// Opens the entry's sidecar for reading: it must be a regular file
// (kChanged otherwise).
SourceOpen open_sidecar(const FileList& list, const ListEntry& entry, SourceDirectory& directory, int* fd);
