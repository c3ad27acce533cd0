// Descriptor-level input and output: every system call of the program that
// touches a file lives here or in the other files of this folder. Functions
// return true on success; on failure errno tells why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Memory that reads fill. Its first byte lies on a page boundary: the kernel
// copies into a page-aligned destination about twice as fast as into one 16
// bytes past it, which is where the allocator puts a large block.
struct ReadBuffer {
    std::unique_ptr<unsigned char[]> storage;
    unsigned char* data = nullptr;  // size bytes
};

ReadBuffer allocate_read_buffer(std::size_t size);

// Writes all size bytes, resuming after partial writes and EINTR.
bool write_all(int fd, const void* data, std::size_t size);

// Reads until size bytes have arrived or the file ends, resuming after
// partial reads and EINTR; *got is the count read, short only at the end of
// the file.
bool read_full(int fd, void* data, std::size_t size, std::size_t* got);

// As read_full, from the absolute byte offset; the file position is unused.
bool read_full_at(int fd, void* data, std::size_t size, std::uint64_t offset, std::size_t* got);

// Opens a named file read-only for raw byte access (no translation of any
// kind).
bool open_raw_input(const char* path, int* fd);

// Standard input, for reading; false when descriptor 0 is not open.
bool open_standard_input(int* fd);

enum class FileKind {
    kRegular,
    kOther,   // a directory, a device, a pipe...
    kFailed,  // the query failed (errno set)
};

// What fd refers to; for a regular file, *size (when given) is its size in
// bytes.
FileKind file_kind(int fd, std::uint64_t* size = nullptr);

void close_descriptor(int fd);

// Moves the file position of fd back to its first byte.
bool seek_to_start(int fd);

// Closes a descriptor that was written to: a file system may report a
// failed write only here (NFS, quotas). False with errno set.
bool close_written(int fd);
