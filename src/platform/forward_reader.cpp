#include "platform/forward_reader.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

void reader_open(ForwardReader& reader, int fd) {
    reader.fd = fd;
    reader.capacity = kFirstChunk + kLargestTake;
    reader.buffer = std::make_unique_for_overwrite<unsigned char[]>(reader.capacity);
    reader.next = reader.buffer.get();
    reader.limit = reader.next;
    reader.buffer_offset = 0;
    reader.at_end = false;
    reader.error_number = 0;
}

// Doubles the buffer's read chunk, up to the largest, keeping the unread tail.
static void grow(ForwardReader& reader) {
    const std::size_t chunk = reader.capacity - kLargestTake;
    if (chunk >= kLargestChunk) {
        return;
    }
    const std::size_t capacity = 2 * chunk + kLargestTake;
    const std::size_t unread = static_cast<std::size_t>(reader.limit - reader.next);
    auto buffer = std::make_unique_for_overwrite<unsigned char[]>(capacity);
    std::memcpy(buffer.get(), reader.next, unread);
    reader.buffer_offset = reader_position(reader);
    reader.buffer = std::move(buffer);
    reader.capacity = capacity;
    reader.next = reader.buffer.get();
    reader.limit = reader.next + unread;
}

// Moves the unread tail to the front and reads until at least `wanted` bytes
// are buffered, the file ends or a read fails.
static void refill(ForwardReader& reader, std::size_t wanted) {
    if (!reader.at_end && reader.error_number == 0) {
        grow(reader);
    }
    unsigned char* const buffer = reader.buffer.get();
    std::size_t end = static_cast<std::size_t>(reader.limit - reader.next);
    if (reader.next != buffer) {
        reader.buffer_offset = reader_position(reader);
        std::memmove(buffer, reader.next, end);
    }
    while (end < wanted && !reader.at_end && reader.error_number == 0) {
        ssize_t got = ::read(reader.fd, buffer + end, reader.capacity - end);
        if (got < 0) {
            if (errno != EINTR) {
                reader.error_number = errno;
            }
        } else if (got == 0) {
            reader.at_end = true;
        } else {
            end += static_cast<std::size_t>(got);
        }
    }
    reader.next = buffer;
    reader.limit = buffer + end;
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
