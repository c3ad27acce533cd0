// The program's two output streams.
//
// Record data go to standard output through one large buffer, written with a
// write-everything loop. Every message to standard error first flushes that
// buffer, so on a shared terminal or with 2>&1 a message always appears after
// the record data produced before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

struct Console {
    int out_fd = 1;
    int err_fd = 2;
    std::unique_ptr<unsigned char[]> buffer;
    std::size_t capacity = 0;
    std::size_t used = 0;
    // Set by the first failed write to standard output; from then on every
    // output call fails at once and nothing more is reported.
    bool output_failed = false;
};

// Size of the record-data buffer: large enough that even tiny records cost a
// system call per megabyte, not per record.
inline constexpr std::size_t kOutputBufferSize = 1 << 20;

void console_open(Console& console, int out_fd, int err_fd,
                  std::size_t capacity = kOutputBufferSize);

// Writes the buffered record data. Returns 0, or 1 after "write: ..." has
// been reported (once per run).
int flush_output(Console& console);

int write_output_slow(Console& console, const void* data, std::size_t size);

// Appends record bytes to standard output. Returns 0, or 1 once a write has
// failed; the failure has then been reported.
inline int write_output(Console& console, const void* data, std::size_t size) {
    if (size <= console.capacity - console.used && !console.output_failed) {
        if (size != 0) {
            std::memcpy(console.buffer.get() + console.used, data, size);
        }
        console.used += size;
        return 0;
    }
    return write_output_slow(console, data, size);
}

inline int write_output_byte(Console& console, unsigned char byte) {
    if (console.used < console.capacity && !console.output_failed) {
        console.buffer[console.used++] = byte;
        return 0;
    }
    return write_output_slow(console, &byte, 1);
}

// Appends a record's bytes and, when line_end is set, its line end: one 0x0A
// byte. Returns 0, or 1 once a write has failed.
inline int write_output_record(Console& console, const void* data, std::size_t size, bool line_end) {
    if (size < console.capacity - console.used && !console.output_failed) {
        std::memcpy(console.buffer.get() + console.used, data, size);
        console.used += size;
        if (line_end) {
            console.buffer[console.used++] = '\n';
        }
        return 0;
    }
    if (write_output(console, data, size) != 0) {
        return 1;
    }
    return line_end ? write_output_byte(console, '\n') : 0;
}

// Formats a message onto standard error after flushing the record data.
void message(Console& console, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// The system error report: "<text>: <description of error_number>\n", or the
// description alone when text is empty.
void report_error_number(Console& console, const char* text, int error_number);

// The system error report for the current errno.
void report_system_error(Console& console, const char* text);
