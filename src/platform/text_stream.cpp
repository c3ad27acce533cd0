#include "platform/text_stream.h"

#include <cerrno>
#include <unistd.h>

namespace {

constexpr std::size_t kTextBufferSize = 4096;
constexpr unsigned char kCarriageReturn = 0x0D;
constexpr unsigned char kCtrlZ = 0x1A;

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

void text_stream_attach(TextStream& stream, int fd, std::vector<unsigned char> head) {
    stream.fd = fd;
    stream.filled = head.size();
    stream.buffer = std::move(head);
    if (stream.buffer.size() < kTextBufferSize) {
        stream.buffer.resize(kTextBufferSize);
    }
    stream.next = 0;
    stream.ended = false;
    stream.error_number = 0;
}

void text_stream_from_text(TextStream& stream, std::string_view text) {
    stream.fd = -1;
    stream.buffer.assign(text.begin(), text.end());
    stream.next = 0;
    stream.filled = text.size();
    stream.ended = false;
    stream.error_number = 0;
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
