#include "rescue/source_files.h"

#include <cerrno>
#include <string>
#include <vector>

#include "platform/raw_io.h"

namespace {

bool is_root(const FileList& list, std::uint32_t index) {
    return list.directories[index].parent == kNamedPath;
}

bool same_file(const EntryStatus& status, const FileIdentity& identity) {
    return status.device == identity.device && status.inode == identity.inode;
}

void close_unless_root(const FileList& list, std::uint32_t index, int fd) {
    if (fd >= 0 && !is_root(list, index)) {
        close_descriptor(fd);
    }
}

// Opens directory index of the list, the one the walk descended into.
SourceOpen open_walked_directory(const FileList& list, std::uint32_t index, int* fd) {
    std::vector<std::uint32_t> chain;
    for (std::uint32_t at = index; !is_root(list, at); at = list.directories[at].parent) {
        chain.push_back(at);
    }
    std::uint32_t parent = chain.empty() ? index : list.directories[chain.back()].parent;
    // Only PATHs' own directories have no parent, and the list holds them open.
    int parent_fd = list.directories[parent].root_fd;
    for (auto step = chain.rbegin(); step != chain.rend(); ++step) {
        const WalkedDirectory& directory = list.directories[*step];
        int child_fd = -1;
        const bool opened = open_directory_at(parent_fd, list.text.data() + directory.name, &child_fd);
        const int error_number = errno;
        close_unless_root(list, parent, parent_fd);
        if (!opened) {
            errno = error_number;
            return error_number == ELOOP || error_number == ENOTDIR ? SourceOpen::kChanged : SourceOpen::kFailed;
        }
        EntryStatus status;
        if (!status_of_descriptor(child_fd, status) || !same_file(status, directory.identity)) {
            close_descriptor(child_fd);
            return SourceOpen::kChanged;
        }
        parent = *step;
        parent_fd = child_fd;
    }
    *fd = parent_fd;
    return SourceOpen::kOpened;
}

// The directory of the entry, from the worker's last one when it is that.
SourceOpen enter_source_directory(const FileList& list, const ListEntry& entry, SourceDirectory& directory) {
    if (directory.fd >= 0 && directory.index == entry.directory) {
        return SourceOpen::kOpened;
    }
    source_directory_close(directory);
    const SourceOpen opened = open_walked_directory(list, entry.directory, &directory.fd);
    if (opened == SourceOpen::kOpened) {
        directory.index = entry.directory;
        directory.owned = !is_root(list, entry.directory);
    }
    return opened;
}

// Opens name inside the entry's directory, or the path of a named entry
// followed by suffix (a PATH's own file is followed through a link, as its
// user named it; its sidecar is not).
SourceOpen open_beside(const FileList& list, const ListEntry& entry, const char* suffix, SourceDirectory& directory,
                       int* fd) {
    if (entry.directory == kNamedPath) {
        const std::string path = std::string(source_path(list, entry)) + suffix;
        const bool opened = *suffix == '\0' ? open_input_named(path.c_str(), fd)
                                            : open_input_at(kCurrentDirectory, path.c_str(), fd);
        return opened ? SourceOpen::kOpened : errno == ELOOP ? SourceOpen::kSymlink : SourceOpen::kFailed;
    }
    const SourceOpen entered = enter_source_directory(list, entry, directory);
    if (entered != SourceOpen::kOpened) {
        return entered;
    }
    const std::string name = std::string(base_name_of(list, entry)) + suffix;
    if (!open_input_at(directory.fd, name.c_str(), fd)) {
        return errno == ELOOP ? SourceOpen::kSymlink : SourceOpen::kFailed;
    }
    return SourceOpen::kOpened;
}

}  // namespace

void source_directory_close(SourceDirectory& directory) {
    if (directory.owned) {
        close_descriptor(directory.fd);
    }
    directory = SourceDirectory{};
}

SourceOpen open_source(const FileList& list, const ListEntry& entry, SourceDirectory& directory, int* fd,
                       EntryStatus& status) {
    const SourceOpen opened = open_beside(list, entry, "", directory, fd);
    if (opened != SourceOpen::kOpened) {
        return opened;
    }
    if (!status_of_descriptor(*fd, status)) {
        const int error_number = errno;
        close_descriptor(*fd);
        errno = error_number;
        return SourceOpen::kFailed;
    }
    if (status.type != EntryType::kRegular || !same_file(status, entry.identity)) {
        close_descriptor(*fd);
        return SourceOpen::kChanged;
    }
    return SourceOpen::kOpened;
}

SourceOpen open_sidecar(const FileList& list, const ListEntry& entry, SourceDirectory& directory, int* fd) {
    const SourceOpen opened = open_beside(list, entry, sidecar_suffix(entry.sidecar), directory, fd);
    if (opened != SourceOpen::kOpened) {
        return opened;
    }
    EntryStatus status;
    if (!status_of_descriptor(*fd, status) || status.type != EntryType::kRegular) {
        close_descriptor(*fd);
        return SourceOpen::kChanged;
    }
    return SourceOpen::kOpened;
}
