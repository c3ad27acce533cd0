// Strictly forward reading of an input descriptor in large blocks.
//
// Sequential files are read front to back; asking the system for each
// length word and each record would cost two system calls per record, so the
// reader fetches a megabyte at a time and hands out pointers into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/raw_io.h"

// The buffer is a room of kLargestTake bytes for the unread tail of the last
// read, then the chunk that each read fills, which starts on a page boundary
// (see ReadBuffer).
struct ForwardReader {
    int fd = -1;
    ReadBuffer buffer;
    unsigned char* chunk = nullptr;  // kLargestTake bytes into buffer
    std::size_t chunk_size = 0;
    const unsigned char* next = nullptr;   // first unread byte
    const unsigned char* limit = nullptr;  // one past the last byte read
    std::uint64_t bytes_read = 0;          // file offset of limit
    bool at_end = false;     // the descriptor has reported the end of the file
    int error_number = 0;    // errno of a failed read, 0 while none failed
};

// The largest request take() satisfies from one contiguous piece: a 16-bit
// record length always fits.
inline constexpr std::size_t kLargestTake = 1 << 16;
// Reads start small and double up to this size, so that a small file costs
// little memory and a large one a system call per 256 KB. Larger chunks read
// no faster, and together with the megabyte of output buffer they no longer
// fit a core's second-level cache: each byte the kernel copies in is then
// fetched again from further away.
inline constexpr std::size_t kFirstChunk = 1 << 14;
inline constexpr std::size_t kLargestChunk = 1 << 18;

void reader_open(ForwardReader& reader, int fd);

// The file offset of the next byte to be consumed.
inline std::uint64_t reader_position(const ForwardReader& reader) {
    return reader.bytes_read - static_cast<std::uint64_t>(reader.limit - reader.next);
}

const unsigned char* reader_take_slow(ForwardReader& reader, std::size_t size, std::size_t* got);
std::size_t reader_skip_slow(ForwardReader& reader, std::size_t size);

// Consumes up to size bytes (at most kLargestTake) and returns a pointer to
// them, contiguous and valid until the next call. *got is less than size only
// when the file ends or a read fails (error_number then tells which).
inline const unsigned char* reader_take(ForwardReader& reader, std::size_t size, std::size_t* got) {
    if (size <= kLargestTake && size <= static_cast<std::size_t>(reader.limit - reader.next)) {
        const unsigned char* data = reader.next;
        reader.next += size;
        *got = size;
        return data;
    }
    return reader_take_slow(reader, size, got);
}

// Reads on when fewer than wanted bytes (at most kLargestTake) are unread,
// consuming none; returns the count of unread bytes, less than wanted only
// when the file has ended or a read failed. For a scan that needs to see a
// byte together with the one after it.
std::size_t reader_fill(ForwardReader& reader, std::size_t wanted);

// Consumes up to size bytes without looking at them; returns the count.
inline std::size_t reader_skip(ForwardReader& reader, std::size_t size) {
    if (size <= static_cast<std::size_t>(reader.limit - reader.next)) {
        reader.next += size;
        return size;
    }
    return reader_skip_slow(reader, size);
}
