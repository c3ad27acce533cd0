// Integers read from text the way the scan formats "%i" and "%u" read them:
// leading white space, an optional sign, then digits; reading stops at the
// first character that cannot continue the number and the rest is ignored.
#pragma once

#include <cstdint>

// "%i": hexadecimal after 0x or 0X, octal after a leading 0, decimal
// otherwise. The value is taken as a 64-bit long (saturating) and cut to 32
// bits. Returns false, leaving *value alone, when no number can be read.
bool scan_int(const char* text, std::int32_t* value);

// A decimal number as "%u" reads it, kept whole: its magnitude, whether a
// minus sign preceded it, and whether its digits exceed 64 bits.
struct DecimalNumber {
    bool negative = false;
    bool overflow = false;
    std::uint64_t magnitude = 0;
};

// "%u" without its wrap-around, for callers that refuse what does not fit.
// Returns false, leaving *number alone, when no number can be read.
bool scan_decimal(const char* text, DecimalNumber* number);
