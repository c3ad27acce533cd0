// The attribute source, read as text one character at a time.
//
// The same rules hold on every host, for files and for standard input: a
// carriage return is dropped wherever it stands, so CR LF lines read like LF
// lines, and a Ctrl-Z ends the text as if the stream ended there.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

struct TextStream {
    int fd = -1;  // -1 for a stream over text held in memory
    std::vector<unsigned char> buffer;
    std::size_t next = 0;
    std::size_t filled = 0;
    bool ended = false;
    int error_number = 0;  // errno of a failed read, which ended the text
};

inline constexpr int kEndOfText = -1;

// A stream over the bytes already read from fd (head), then the rest of fd.
// The stream does not close fd.
void text_stream_attach(TextStream& stream, int fd, std::vector<unsigned char> head);

// A stream over the given text; the tests and the fuzzers use it.
void text_stream_from_text(TextStream& stream, std::string_view text);

// The next character as an unsigned char value, or kEndOfText at the end of
// the text, at a Ctrl-Z and after a read error (error_number then tells it
// from an end).
int text_stream_get(TextStream& stream);
