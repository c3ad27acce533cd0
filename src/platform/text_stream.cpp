#include "platform/text_stream.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/raw_io.h"

namespace {

constexpr std::size_t kTextBufferSize = 4096;
constexpr unsigned char kCarriageReturn = 0x0D;
constexpr unsigned char kCtrlZ = 0x1A;

void attach(TextStream& stream, int fd, bool owns_fd) {
    stream.fd = fd;
    stream.owns_fd = owns_fd;
    stream.buffer.assign(kTextBufferSize, 0);
    stream.next = 0;
    stream.filled = 0;
    stream.ended = false;
    stream.error_number = 0;
}

bool refill(TextStream& stream) {
    if (stream.fd < 0) {
        return false;
    }
    ssize_t got;
    do {
        got = ::read(stream.fd, stream.buffer.data(), stream.buffer.size());
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        stream.error_number = errno;
    }
    if (got <= 0) {
        return false;
    }
    stream.next = 0;
    stream.filled = static_cast<std::size_t>(got);
    return true;
}

}  // namespace

bool text_stream_open(TextStream& stream, const char* path) {
    int fd = -1;
    if (!open_raw_input(path, &fd)) {
        return false;
    }
    attach(stream, fd, true);
    return true;
}

bool text_stream_open_stdin(TextStream& stream) {
    if (::fcntl(0, F_GETFD) < 0) {
        return false;
    }
    attach(stream, 0, false);
    return true;
}

void text_stream_from_text(TextStream& stream, std::string_view text) {
    stream.fd = -1;
    stream.owns_fd = false;
    stream.buffer.assign(text.begin(), text.end());
    stream.next = 0;
    stream.filled = text.size();
    stream.ended = false;
    stream.error_number = 0;
}

void text_stream_close(TextStream& stream) {
    if (stream.owns_fd) {
        close_descriptor(stream.fd);
    }
    stream.fd = -1;
    stream.owns_fd = false;
    stream.ended = true;
}

int text_stream_get(TextStream& stream) {
    while (!stream.ended) {
        if (stream.next == stream.filled && !refill(stream)) {
            stream.ended = true;
            break;
        }
        unsigned char c = stream.buffer[stream.next++];
        if (c == kCtrlZ) {
            stream.ended = true;
            break;
        }
        if (c != kCarriageReturn) {
            return c;
        }
    }
    return kEndOfText;
}
