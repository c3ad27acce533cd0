// Integers read from text the way the scan formats "%i" and "%u" read them:
// leading white space, an optional sign, then digits; reading stops at the
// first character that cannot continue the number and the rest is ignored.
#pragma once

#include <cstdint>

// "%i": hexadecimal after 0x or 0X, octal after a leading 0, decimal
// otherwise. The value is taken as a 64-bit long (saturating) and cut to 32
// bits. Returns false, leaving *value alone, when no number can be read.
bool scan_int(const char* text, std::int32_t* value);

// "%u": decimal only; a minus sign negates modulo 2 to the 64th, a value
// that does not fit 64 bits saturates, and the result is cut to 32 bits.
// Returns false, leaving *value alone, when no number can be read.
bool scan_unsigned(const char* text, std::uint32_t* value);
