// Reads the assignments (org=seq rfm=var rat=cr lrl=28 ...) with which the
// user restates the lost attributes.
#pragma once

#include <cstddef>

#include "attributes/file_attributes.h"

struct Console;
struct TextStream;

inline constexpr std::size_t kTokenCapacity = 128;

// Reads the next token into buffer (capacity bytes) and ends it with a zero
// byte. Returns its length; 0 when the text ends before a token begins;
// capacity - 1 when the token is too long (the rest of it stays unread).
std::size_t next_token(TextStream& stream, char* buffer, std::size_t capacity);

// Enters every assignment of the stream into attributes, then checks them
// with the consistency rules. False after one error message has been
// printed: a refused assignment, a refusal of the rules, or the system error
// report (naming source_name) of a source that cannot be read.
bool read_attributes(TextStream& stream, const char* source_name, FileAttributes& attributes, Console& console);
