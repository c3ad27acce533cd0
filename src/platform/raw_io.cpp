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

bool write_all(int fd, const void* data, std::size_t size) {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = ::write(fd, next, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

namespace {

// Reads with read_some (a read or a positioned read) until size bytes have
// arrived or the file ends.
template <typename ReadSome>
bool read_until_full(void* data, std::size_t size, std::size_t* got, ReadSome read_some) {
    char* next = static_cast<char*>(data);
    std::size_t total = 0;
    while (total < size) {
        ssize_t count = read_some(next + total, size - total, total);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            *got = total;
            return false;
        }
        if (count == 0) {
            break;
        }
        total += static_cast<std::size_t>(count);
    }
    *got = total;
    return true;
}

}  // namespace

bool read_full(int fd, void* data, std::size_t size, std::size_t* got) {
    return read_until_full(data, size, got, [fd](char* into, std::size_t wanted, std::size_t) {
        return ::read(fd, into, wanted);
    });
}

bool read_full_at(int fd, void* data, std::size_t size, std::uint64_t offset, std::size_t* got) {
    return read_until_full(data, size, got, [fd, offset](char* into, std::size_t wanted, std::size_t done) {
        return ::pread(fd, into, wanted, static_cast<off_t>(offset + done));
    });
}

bool open_raw_input(const char* path, int* fd) {
    do {
        *fd = ::open(path, O_RDONLY | O_BINARY | O_CLOEXEC);
    } while (*fd < 0 && errno == EINTR);
    return *fd >= 0;
}

bool open_standard_input(int* fd) {
    if (::fcntl(0, F_GETFD) < 0) {
        return false;
    }
    *fd = 0;
    return true;
}

FileKind file_kind(int fd, std::uint64_t* size) {
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        return FileKind::kFailed;
    }
    if (!S_ISREG(status.st_mode)) {
        return FileKind::kOther;
    }
    if (size != nullptr) {
        *size = static_cast<std::uint64_t>(status.st_size);
    }
    return FileKind::kRegular;
}

void close_descriptor(int fd) {
    ::close(fd);
}

bool seek_to_start(int fd) {
    return ::lseek(fd, 0, SEEK_SET) == 0;
}

bool close_written(int fd) {
    // Linux releases the descriptor even when close fails, EINTR included:
    // it is never closed a second time.
    return ::close(fd) == 0;
}
