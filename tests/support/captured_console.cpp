#include "captured_console.h"

#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

namespace {

std::string contents(int fd) {
    std::string text;
    char chunk[4096];
    off_t offset = 0;
    for (;;) {
        ssize_t got = ::pread(fd, chunk, sizeof chunk, offset);
        if (got <= 0) break;
        text.append(chunk, static_cast<std::size_t>(got));
        offset += got;
    }
    return text;
}

}  // namespace

CapturedConsole::CapturedConsole() {
    int out_fd = ::memfd_create("captured-out", 0);
    int err_fd = ::memfd_create("captured-err", 0);
    if (out_fd < 0 || err_fd < 0) {
        throw std::runtime_error("memfd_create failed");
    }
    console_open(console_, out_fd, err_fd, 4096);
}

CapturedConsole::~CapturedConsole() {
    ::close(console_.out_fd);
    ::close(console_.err_fd);
}

std::string CapturedConsole::out() {
    flush_output(console_);
    return contents(console_.out_fd);
}

std::string CapturedConsole::err() {
    return contents(console_.err_fd);
}
