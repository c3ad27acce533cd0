#include "platform/directory_io.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

const int kCurrentDirectory = AT_FDCWD;

namespace {

void fill_status(const struct stat& info, EntryStatus& status) {
    if (S_ISREG(info.st_mode)) {
        status.type = EntryType::kRegular;
    } else if (S_ISDIR(info.st_mode)) {
        status.type = EntryType::kDirectory;
    } else if (S_ISLNK(info.st_mode)) {
        status.type = EntryType::kSymlink;
    } else {
        status.type = EntryType::kOther;
    }
    status.size = status.type == EntryType::kRegular ? static_cast<std::uint64_t>(info.st_size) : 0;
    status.device = static_cast<std::uint64_t>(info.st_dev);
    status.inode = static_cast<std::uint64_t>(info.st_ino);
}

// Retries an open that a signal interrupted.
template <typename Open>
bool open_retrying(int* fd, Open open_once) {
    do {
        *fd = open_once();
    } while (*fd < 0 && errno == EINTR);
    return *fd >= 0;
}

// Takes O_NONBLOCK off again: it served only to keep the open from
// waiting on a FIFO, and a regular file reads the same without it.
bool open_without_waiting(int dir_fd, const char* path, int flags, int* fd) {
    if (!open_retrying(fd, [&] { return ::openat(dir_fd, path, flags | O_NONBLOCK); })) {
        return false;
    }
    const int status_flags = ::fcntl(*fd, F_GETFL);
    if (status_flags >= 0) {
        (void)::fcntl(*fd, F_SETFL, status_flags & ~O_NONBLOCK);
    }
    return true;
}

}  // namespace

bool status_at(int dir_fd, const char* name, EntryStatus& status) {
    struct stat info;
    if (::fstatat(dir_fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    fill_status(info, status);
    return true;
}

bool status_of_path(const char* path, EntryStatus& status) {
    struct stat info;
    if (::stat(path, &info) != 0) {
        return false;
    }
    fill_status(info, status);
    return true;
}

bool open_directory(const char* path, int* fd) {
    return open_retrying(fd, [&] { return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
}

bool open_directory_at(int dir_fd, const char* name, int* fd) {
    return open_retrying(fd, [&] { return ::openat(dir_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); });
}

bool make_directory_at(int dir_fd, const char* name) {
    return ::mkdirat(dir_fd, name, 0777) == 0;
}

bool make_directory_path(const char* path) {
    std::string prefix;
    for (const char* p = path;; ++p) {
        if ((*p == '/' || *p == '\0') && !prefix.empty() && prefix != "/") {
            EntryStatus status;
            if (!status_of_path(prefix.c_str(), status)) {
                if (errno != ENOENT || (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)) {
                    return false;
                }
            } else if (status.type != EntryType::kDirectory) {
                errno = ENOTDIR;
                return false;
            }
        }
        if (*p == '\0') {
            return true;
        }
        prefix.push_back(*p);
    }
}

bool list_directory(int dir_fd, std::vector<std::string>& names) {
    const int own_fd = ::dup(dir_fd);
    if (own_fd < 0) {
        return false;
    }
    DIR* directory = ::fdopendir(own_fd);
    if (directory == nullptr) {
        const int error_number = errno;
        ::close(own_fd);
        errno = error_number;
        return false;
    }
    // The duplicate shares its position with dir_fd: start from the top.
    ::rewinddir(directory);
    names.clear();
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(directory);
        if (entry == nullptr) {
            const int error_number = errno;
            ::closedir(directory);
            errno = error_number;
            return error_number == 0;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
        }
        names.emplace_back(name);
    }
}

bool open_input_at(int dir_fd, const char* name, int* fd) {
    return open_without_waiting(dir_fd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC, fd);
}

bool open_input_named(const char* path, int* fd) {
    return open_without_waiting(AT_FDCWD, path, O_RDONLY | O_CLOEXEC, fd);
}

bool status_of_descriptor(int fd, EntryStatus& status) {
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        return false;
    }
    fill_status(info, status);
    return true;
}

bool resolved_path(const char* path, std::string& resolved) {
    char* const full = ::realpath(path, nullptr);
    if (full == nullptr) {
        return false;
    }
    resolved = full;
    std::free(full);
    return true;
}

bool sync_file(int fd) {
    int result;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool sync_file_system(int fd) {
    return ::syncfs(fd) == 0;
}

bool create_file_at(int dir_fd, const char* name, int* fd) {
    return open_retrying(
        fd, [&] { return ::openat(dir_fd, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666); });
}

bool remove_at(int dir_fd, const char* name) {
    return ::unlinkat(dir_fd, name, 0) == 0;
}

bool rename_at(int dir_fd, const char* from, const char* to, bool replace) {
    if (replace) {
        return ::renameat(dir_fd, from, dir_fd, to) == 0;
    }
    if (::renameat2(dir_fd, from, dir_fd, to, RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the flag: a hard link cannot replace anything.
    if (::linkat(dir_fd, from, dir_fd, to, 0) != 0) {
        return false;
    }
    return ::unlinkat(dir_fd, from, 0) == 0;
}

bool is_terminal(int fd) {
    return ::isatty(fd) == 1;
}

void ignore_file_size_signal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

unsigned usable_processors() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) {
            return static_cast<unsigned>(count);
        }
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1;
}
