// Descriptor-level input and output: every system call of the program that
// touches a file lives here or in the other files of this folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <sys/types.h>

// Memory that reads fill. Its first byte lies on a page boundary: the kernel
// copies into a page-aligned destination about twice as fast as into one 16
// bytes past it, which is where the allocator puts a large block.
struct ReadBuffer {
    std::unique_ptr<unsigned char[]> storage;
    unsigned char* data = nullptr;  // size bytes
};

ReadBuffer allocate_read_buffer(std::size_t size);

// Writes all size bytes, resuming after partial writes and EINTR.
// Returns 0, or -1 with errno set.
int write_all(int fd, const void* data, std::size_t size);

// Reads until size bytes have arrived or the file ends, resuming after
// partial reads and EINTR. Returns the count read (short only at the end of
// the file), or -1 with errno set.
ssize_t read_full(int fd, void* data, std::size_t size);

// As read_full, from the absolute byte offset; the file position is unused.
ssize_t read_full_at(int fd, void* data, std::size_t size, std::uint64_t offset);

// Opens a named file read-only for raw byte access (no translation of any
// kind). Returns the descriptor, or -1 with errno set.
int open_raw_input(const char* path);

// 1 when fd is a regular file, 0 when it is something else, -1 with errno
// set when the query fails.
int is_regular_file(int fd);

// As is_regular_file, and for a regular file stores its size in bytes.
int regular_file_size(int fd, std::uint64_t* size);

void close_descriptor(int fd);
