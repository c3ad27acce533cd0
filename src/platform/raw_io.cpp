#include "platform/raw_io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace {

constexpr std::size_t kPageSize = 4096;

}  // namespace

ReadBuffer allocate_read_buffer(std::size_t size) {
    ReadBuffer buffer;
    buffer.storage = std::make_unique_for_overwrite<unsigned char[]>(size + kPageSize - 1);
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(buffer.storage.get());
    buffer.data = buffer.storage.get() + (kPageSize - address % kPageSize) % kPageSize;
    return buffer;
}

int write_all(int fd, const void* data, std::size_t size) {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = ::write(fd, next, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

ssize_t read_full(int fd, void* data, std::size_t size) {
    char* next = static_cast<char*>(data);
    std::size_t total = 0;
    while (total < size) {
        ssize_t got = ::read(fd, next + total, size - total);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (got == 0) {
            break;
        }
        total += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(total);
}

ssize_t read_full_at(int fd, void* data, std::size_t size, std::uint64_t offset) {
    char* next = static_cast<char*>(data);
    std::size_t total = 0;
    while (total < size) {
        ssize_t got = ::pread(fd, next + total, size - total,
                              static_cast<off_t>(offset + total));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (got == 0) {
            break;
        }
        total += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(total);
}

int open_raw_input(const char* path) {
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_BINARY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int is_regular_file(int fd) {
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        return -1;
    }
    return S_ISREG(status.st_mode) ? 1 : 0;
}

int regular_file_size(int fd, std::uint64_t* size) {
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        return -1;
    }
    if (!S_ISREG(status.st_mode)) {
        return 0;
    }
    *size = static_cast<std::uint64_t>(status.st_size);
    return 1;
}

void close_descriptor(int fd) {
    ::close(fd);
}
