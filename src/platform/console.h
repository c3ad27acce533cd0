// The program's two output streams.
//
// Record data go to standard output through one large buffer, written with a
// write-everything loop. Every message to standard error first flushes that
// buffer, so on a shared terminal or with 2>&1 a message always appears after
// the record data produced before it.
//
// The buffer's fields belong to the functions of this file and console.cpp:
// the copiers' fast paths write into it through output_room and
// output_commit, with cursors of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

struct Console {
    int out_fd = 1;
    int err_fd = 2;
    std::unique_ptr<unsigned char[]> buffer;
    std::size_t capacity = 0;
    std::size_t used = 0;
    // Set by the first failed write to standard output; from then on every
    // output call fails at once and nothing more is reported.
    bool output_failed = false;
    // Bytes written to out_fd so far (buffered ones not yet counted).
    std::uint64_t bytes_written = 0;
    // When set, messages are appended here instead of written to err_fd: a
    // rescue keeps each file's messages for its manifest row.
    std::string* message_sink = nullptr;
};

// Size of the record-data buffer: large enough that even tiny records cost a
// system call per megabyte, not per record.
inline constexpr std::size_t kOutputBufferSize = 1 << 20;

void console_open(Console& console, int out_fd, int err_fd,
                  std::size_t capacity = kOutputBufferSize);

// Points the output at out_fd, with the buffer empty, no failure and no
// bytes counted: one console serves file after file. The buffer is kept.
void console_redirect(Console& console, int out_fd);

// Writes the buffered record data. False once a write has failed; "write:
// ..." has then been reported (once per run).
bool flush_output(Console& console);

bool write_output_slow(Console& console, const void* data, std::size_t size);

// Appends record bytes to standard output. False once a write has failed.
inline bool write_output(Console& console, const void* data, std::size_t size) {
    if (size <= console.capacity - console.used && !console.output_failed) {
        if (size != 0) {
            std::memcpy(console.buffer.get() + console.used, data, size);
        }
        console.used += size;
        return true;
    }
    return write_output_slow(console, data, size);
}

inline bool write_output_byte(Console& console, unsigned char byte) {
    if (console.used < console.capacity && !console.output_failed) {
        console.buffer[console.used++] = byte;
        return true;
    }
    return write_output_slow(console, &byte, 1);
}

// Appends a record's bytes and, when line_end is set, its line end: one 0x0A
// byte. False once a write has failed.
inline bool write_output_record(Console& console, const void* data, std::size_t size, bool line_end) {
    if (size < console.capacity - console.used && !console.output_failed) {
        std::memcpy(console.buffer.get() + console.used, data, size);
        console.used += size;
        if (line_end) {
            console.buffer[console.used++] = '\n';
        }
        return true;
    }
    if (!write_output(console, data, size)) {
        return false;
    }
    return !line_end || write_output_byte(console, '\n');
}

// The free part of the output buffer, for a fast path that writes records
// into it with a cursor held in a local: [begin, end). Empty once output has
// failed.
struct OutputRoom {
    unsigned char* begin;
    unsigned char* end;
};

inline OutputRoom output_room(Console& console) {
    unsigned char* const next = console.buffer.get() + console.used;
    return {next, console.output_failed ? next : console.buffer.get() + console.capacity};
}

// Room for at least size bytes, flushing the buffered data first when the
// free part is smaller. Empty (begin == end) when output has failed or size
// exceeds the whole buffer: the caller then writes through write_output.
OutputRoom output_reserve(Console& console, std::size_t size);

// Takes the bytes a fast path wrote into its room, up to end.
inline void output_commit(Console& console, const unsigned char* end) {
    console.used = static_cast<std::size_t>(end - console.buffer.get());
}

// Formats a message onto standard error after flushing the record data.
void message(Console& console, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// The system error report: "<text>: <description of error_number>\n", or the
// description alone when text is empty.
void report_error_number(Console& console, const char* text, int error_number);

// The system error report for the current errno.
void report_system_error(Console& console, const char* text);

// The report of a failed positioned read, for the current errno: "read:
// ...", and for a pipe, which cannot be read at the places a file's
// pointers name, what it must be instead; kind names the file ("an indexed
// file").
void report_positioned_read_error(Console& console, const char* kind);
