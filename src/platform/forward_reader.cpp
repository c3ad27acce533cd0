#include "platform/forward_reader.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

// Makes the reader's buffer one with a chunk of chunk_size bytes, keeping
// the unread bytes in front of the chunk.
static void allocate(ForwardReader& reader, std::size_t chunk_size) {
    const std::size_t unread = static_cast<std::size_t>(reader.limit - reader.next);
    ReadBuffer buffer = allocate_read_buffer(kLargestTake + chunk_size);
    unsigned char* const chunk = buffer.data + kLargestTake;
    if (unread != 0) {
        std::memcpy(chunk - unread, reader.next, unread);
    }
    reader.buffer = std::move(buffer);
    reader.chunk = chunk;
    reader.chunk_size = chunk_size;
    reader.next = chunk - unread;
    reader.limit = chunk;
}

void reader_open(ForwardReader& reader, int fd) {
    reader.fd = fd;
    reader.next = nullptr;
    reader.limit = nullptr;
    allocate(reader, kFirstChunk);
    reader.bytes_read = 0;
    reader.at_end = false;
    reader.error_number = 0;
}

// Moves the unread tail in front of the chunk, doubling the chunk up to the
// largest first, and reads until at least `wanted` bytes are buffered, the
// file ends or a read fails.
static void refill(ForwardReader& reader, std::size_t wanted) {
    const bool more_to_come = !reader.at_end && reader.error_number == 0;
    if (more_to_come && reader.chunk_size < kLargestChunk) {
        allocate(reader, 2 * reader.chunk_size);
    } else if (reader.limit != reader.chunk) {
        const std::size_t unread = static_cast<std::size_t>(reader.limit - reader.next);
        std::memmove(reader.chunk - unread, reader.next, unread);
        reader.next = reader.chunk - unread;
        reader.limit = reader.chunk;
    }
    unsigned char* end = reader.chunk;
    unsigned char* const chunk_end = reader.chunk + reader.chunk_size;
    while (static_cast<std::size_t>(end - reader.next) < wanted && !reader.at_end && reader.error_number == 0) {
        ssize_t got = ::read(reader.fd, end, static_cast<std::size_t>(chunk_end - end));
        if (got < 0) {
            if (errno != EINTR) {
                reader.error_number = errno;
            }
        } else if (got == 0) {
            reader.at_end = true;
        } else {
            end += got;
            reader.bytes_read += static_cast<std::uint64_t>(got);
        }
    }
    reader.limit = end;
}

const unsigned char* reader_take_slow(ForwardReader& reader, std::size_t size, std::size_t* got) {
    if (size > kLargestTake) {
        size = kLargestTake;
    }
    if (static_cast<std::size_t>(reader.limit - reader.next) < size) {
        refill(reader, size);
    }
    const std::size_t available = static_cast<std::size_t>(reader.limit - reader.next);
    const std::size_t taken = available < size ? available : size;
    const unsigned char* data = reader.next;
    reader.next += taken;
    *got = taken;
    return data;
}

std::size_t reader_fill(ForwardReader& reader, std::size_t wanted) {
    if (wanted > kLargestTake) {
        wanted = kLargestTake;
    }
    if (static_cast<std::size_t>(reader.limit - reader.next) < wanted) {
        refill(reader, wanted);
    }
    return static_cast<std::size_t>(reader.limit - reader.next);
}

std::size_t reader_skip_slow(ForwardReader& reader, std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        std::size_t got = 0;
        reader_take(reader, size - total, &got);
        if (got == 0) {
            break;
        }
        total += got;
    }
    return total;
}
