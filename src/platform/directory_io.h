// Walking directories and writing below one without ever following a
// symbolic link: the system calls of the rescue of whole trees. Names are
// resolved relative to directory descriptors, one component at a time.
// Functions return true on success; on failure errno tells why.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a name stands for, the name itself when it is a symbolic link.
enum class EntryType : std::uint8_t {
    kRegular,
    kDirectory,
    kSymlink,
    kOther,  // a FIFO, a device, a socket
};

struct EntryStatus {
    EntryType type = EntryType::kOther;
    std::uint64_t size = 0;  // bytes, for a regular file
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// The directory descriptor that stands for the current directory in the
// functions below.
extern const int kCurrentDirectory;

// The status of name in the directory open at dir_fd; a symbolic link is
// reported as such, never followed.
bool status_at(int dir_fd, const char* name, EntryStatus& status);

// The status of a path the user named, following symbolic links.
bool status_of_path(const char* path, EntryStatus& status);

// Opens a directory the user named, following symbolic links.
bool open_directory(const char* path, int* fd);

// Opens the directory name inside dir_fd. A symbolic link there fails
// (ELOOP, or ENOTDIR): it is never followed.
bool open_directory_at(int dir_fd, const char* name, int* fd);

// Creates the directory name inside dir_fd (mode 0777 less the umask);
// EEXIST when something of that name is there already.
bool make_directory_at(int dir_fd, const char* name);

// Creates the directory path and its missing parents, as mkdir -p does.
bool make_directory_path(const char* path);

// The names in the directory open at dir_fd, without "." and "..", in the
// order the system gives them. dir_fd stays open.
bool list_directory(int dir_fd, std::vector<std::string>& names);

// Opens the file name inside dir_fd for reading without following a
// symbolic link there, and without waiting on a FIFO that stands in its
// place.
bool open_input_at(int dir_fd, const char* name, int* fd);

// Opens a file the user named for reading, following symbolic links,
// without waiting on a FIFO.
bool open_input_named(const char* path, int* fd);

// The status of what fd is open on.
bool status_of_descriptor(int fd, EntryStatus& status);

// The absolute path of path with every symbolic link and "." or ".."
// resolved; false when it does not exist.
bool resolved_path(const char* path, std::string& resolved);

// Puts the file's data on disk (fsync).
bool sync_file(int fd);

// Puts everything written to the file system that holds fd on disk
// (syncfs).
bool sync_file_system(int fd);

// Creates name inside dir_fd for writing and reading back (mode 0666 less
// the umask); fails with EEXIST when anything, a symbolic link included, is
// there already.
bool create_file_at(int dir_fd, const char* name, int* fd);

// Removes name (a file, or a symbolic link itself) from dir_fd.
bool remove_at(int dir_fd, const char* name);

// Renames from to to inside dir_fd. With replace, whatever to names (a
// symbolic link itself, not its target) is replaced; without, the rename
// fails with EEXIST when to exists.
bool rename_at(int dir_fd, const char* from, const char* to, bool replace);

// Whether fd is a terminal.
bool is_terminal(int fd);

// Makes a write beyond the file-size limit fail with EFBIG, as a full disk
// fails with ENOSPC, instead of ending the program.
void ignore_file_size_signal();

// The processors this program may run on; at least 1.
unsigned usable_processors();
