#include "platform/forward_reader.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

void reader_open(ForwardReader& reader, int fd) {
    reader.fd = fd;
    reader.capacity = kFirstChunk + kLargestTake;
    reader.buffer = std::make_unique_for_overwrite<unsigned char[]>(reader.capacity);
    reader.start = 0;
    reader.end = 0;
    reader.position = 0;
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
    auto buffer = std::make_unique_for_overwrite<unsigned char[]>(capacity);
    std::memcpy(buffer.get(), reader.buffer.get() + reader.start, reader.end - reader.start);
    reader.end -= reader.start;
    reader.start = 0;
    reader.buffer = std::move(buffer);
    reader.capacity = capacity;
}

// Moves the unread tail to the front and reads until at least `wanted` bytes
// are buffered, the file ends or a read fails.
static void refill(ForwardReader& reader, std::size_t wanted) {
    if (!reader.at_end && reader.error_number == 0) {
        grow(reader);
    }
    std::size_t unread = reader.end - reader.start;
    if (reader.start != 0) {
        std::memmove(reader.buffer.get(), reader.buffer.get() + reader.start, unread);
        reader.start = 0;
        reader.end = unread;
    }
    while (reader.end < wanted && !reader.at_end && reader.error_number == 0) {
        ssize_t got = ::read(reader.fd, reader.buffer.get() + reader.end,
                             reader.capacity - reader.end);
        if (got < 0) {
            if (errno != EINTR) {
                reader.error_number = errno;
            }
        } else if (got == 0) {
            reader.at_end = true;
        } else {
            reader.end += static_cast<std::size_t>(got);
        }
    }
}

const unsigned char* reader_take_slow(ForwardReader& reader, std::size_t size, std::size_t* got) {
    if (size > kLargestTake) {
        size = kLargestTake;
    }
    if (reader.end - reader.start < size) {
        refill(reader, size);
    }
    std::size_t available = reader.end - reader.start;
    std::size_t taken = available < size ? available : size;
    const unsigned char* data = reader.buffer.get() + reader.start;
    reader.start += taken;
    reader.position += taken;
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
