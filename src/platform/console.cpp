#include "platform/console.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/raw_io.h"

void console_open(Console& console, int out_fd, int err_fd, std::size_t capacity) {
    console.out_fd = out_fd;
    console.err_fd = err_fd;
    console.buffer = std::make_unique_for_overwrite<unsigned char[]>(capacity);
    console.capacity = capacity;
    console.used = 0;
    console.output_failed = false;
    console.bytes_written = 0;
}

void console_redirect(Console& console, int out_fd) {
    console.out_fd = out_fd;
    console.used = 0;
    console.output_failed = false;
    console.bytes_written = 0;
}

static void write_error_text(Console& console, const char* text, std::size_t size) {
    if (console.message_sink != nullptr) {
        console.message_sink->append(text, size);
        return;
    }
    // A failing standard error has nowhere left to be reported.
    (void)write_all(console.err_fd, text, size);
}

static bool fail_output(Console& console, int error_number) {
    console.output_failed = true;
    console.used = 0;
    std::string text = std::string("write: ") + std::strerror(error_number) + "\n";
    write_error_text(console, text.data(), text.size());
    return false;
}

bool flush_output(Console& console) {
    if (console.output_failed) {
        return false;
    }
    if (console.used == 0) {
        return true;
    }
    std::size_t size = console.used;
    console.used = 0;
    if (!write_all(console.out_fd, console.buffer.get(), size)) {
        return fail_output(console, errno);
    }
    console.bytes_written += size;
    return true;
}

bool write_output_slow(Console& console, const void* data, std::size_t size) {
    if (console.output_failed || !flush_output(console)) {
        return false;
    }
    if (size < console.capacity) {
        if (size != 0) {
            std::memcpy(console.buffer.get(), data, size);
        }
        console.used = size;
        return true;
    }
    if (!write_all(console.out_fd, data, size)) {
        return fail_output(console, errno);
    }
    console.bytes_written += size;
    return true;
}

OutputRoom output_reserve(Console& console, std::size_t size) {
    if (size > console.capacity - console.used && !console.output_failed) {
        (void)flush_output(console);
    }
    OutputRoom room = output_room(console);
    if (size > static_cast<std::size_t>(room.end - room.begin)) {
        room.end = room.begin;
    }
    return room;
}

void message(Console& console, const char* format, ...) {
    (void)flush_output(console);
    char small[512];
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(small, sizeof small, format, arguments);
    va_end(arguments);
    if (length < 0) {
        return;
    }
    if (static_cast<std::size_t>(length) < sizeof small) {
        write_error_text(console, small, static_cast<std::size_t>(length));
        return;
    }
    std::string large(static_cast<std::size_t>(length) + 1, '\0');
    va_start(arguments, format);
    std::vsnprintf(large.data(), large.size(), format, arguments);
    va_end(arguments);
    write_error_text(console, large.data(), static_cast<std::size_t>(length));
}

void report_error_number(Console& console, const char* text, int error_number) {
    const char* description = std::strerror(error_number);
    if (text[0] == '\0') {
        message(console, "%s\n", description);
    } else {
        message(console, "%s: %s\n", text, description);
    }
}

void report_system_error(Console& console, const char* text) {
    report_error_number(console, text, errno);
}

void report_positioned_read_error(Console& console, const char* kind) {
    if (errno == ESPIPE) {
        message(console, "read: %s: %s must be a file, not a pipe\n", std::strerror(errno), kind);
    } else {
        report_system_error(console, "read");
    }
}
