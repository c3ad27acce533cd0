#include "platform/scan_integer.h"

#include <limits>

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

struct Magnitude {
    bool found = false;     // at least one digit was read
    bool negative = false;
    bool overflow = false;  // the digits do not fit 64 bits
    std::uint64_t value = 0;
};

// base 0 chooses the base from the prefix, as "%i" does.
Magnitude read_magnitude(const char* p, int base) {
    Magnitude m;
    while (is_space(*p)) ++p;
    if (*p == '+' || *p == '-') {
        m.negative = *p == '-';
        ++p;
    }
    if (base == 0) {
        if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
            // "0x" not followed by a hex digit still reads the 0.
            m.found = true;
            p += 2;
            base = 16;
        } else if (p[0] == '0') {
            base = 8;
        } else {
            base = 10;
        }
    }
    const std::uint64_t limit = std::numeric_limits<std::uint64_t>::max();
    for (; digit_value(*p) < base; ++p) {
        auto digit = static_cast<std::uint64_t>(digit_value(*p));
        m.found = true;
        if (m.value > (limit - digit) / static_cast<std::uint64_t>(base)) {
            m.overflow = true;
        } else {
            m.value = m.value * static_cast<std::uint64_t>(base) + digit;
        }
    }
    return m;
}

}  // namespace

bool scan_int(const char* text, std::int32_t* value) {
    Magnitude m = read_magnitude(text, 0);
    if (!m.found) {
        return false;
    }
    const std::uint64_t max_long = std::numeric_limits<std::int64_t>::max();
    std::int64_t wide;
    if (m.negative) {
        wide = (m.overflow || m.value > max_long + 1) ? std::numeric_limits<std::int64_t>::min()
                                                      : static_cast<std::int64_t>(0 - m.value);
    } else {
        wide = (m.overflow || m.value > max_long) ? std::numeric_limits<std::int64_t>::max()
                                                  : static_cast<std::int64_t>(m.value);
    }
    *value = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(wide)));
    return true;
}

bool scan_decimal(const char* text, DecimalNumber* number) {
    Magnitude m = read_magnitude(text, 10);
    if (!m.found) {
        return false;
    }
    number->negative = m.negative;
    number->overflow = m.overflow;
    number->magnitude = m.value;
    return true;
}
