#include "attributes/attribute_reader.h"

#include <cstdint>
#include <cstring>
#include <iterator>

#include "attributes/attribute_rules.h"
#include "formats/record_limits.h"
#include "platform/console.h"
#include "platform/scan_integer.h"
#include "platform/text_stream.h"

namespace {

bool is_separator(int c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// The position of value in names, or -1.
template <std::size_t N>
int find_name(const char* const (&names)[N], const char* value) {
    for (std::size_t i = 0; i < N; ++i) {
        if (std::strcmp(names[i], value) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Reads the number of a size assignment into *value. A value that holds no
// number gives 0: there is no earlier conversion to fall back on, and 0 lets
// the rules supply the default. A negative value, or one above largest, is
// refused: stored in the field it would wrap to another size without a word.
bool numeric_value(const char* token, std::uint32_t largest, std::uint32_t* value, Console& console) {
    DecimalNumber number;
    if (!scan_decimal(token + 4, &number)) {
        *value = 0;
        return true;
    }
    const bool negative = number.negative && number.magnitude != 0;
    if (negative || number.overflow || number.magnitude > largest) {
        message(console, "-e-opterr, %s out of range: %.3s takes 0..%u\n", token, token, largest);
        return false;
    }
    *value = static_cast<std::uint32_t>(number.magnitude);
    return true;
}

enum Keyword { kOrg, kRfm, kRat, kLrl, kFsz, kBks, kUnknown };

Keyword match_keyword(const char* token) {
    static const char* const keywords[] = {"org=", "rfm=", "rat=", "lrl=", "fsz=", "bks="};
    for (std::size_t i = 0; i < std::size(keywords); ++i) {
        if (std::strncmp(token, keywords[i], 4) == 0) {
            return static_cast<Keyword>(i);
        }
    }
    return kUnknown;
}

// Enters one assignment; false after its error message.
bool apply_assignment(const char* token, FileAttributes& attributes, Console& console) {
    Keyword keyword = match_keyword(token);
    const char* value = token + 4;
    switch (keyword) {
        case kOrg: {
            int code = find_name(kOrgNames, value);
            if (code < 0) {
                message(console, "-e-opterr, unknown file organization %s\n", token);
                return false;
            }
            set_org(attributes, static_cast<std::uint8_t>(code));
            return true;
        }
        case kRfm: {
            int code = find_name(kRfmNames, value);
            if (code < 0) {
                message(console, "-e-opterr, unknown record format %s\n", token);
                return false;
            }
            set_rfm(attributes, static_cast<std::uint8_t>(code));
            return true;
        }
        case kRat: {
            int position = find_name(kRatNames, value);
            if (position < 0) {
                message(console, "-e-opterr, unknown record attribute %s\n", token);
                return false;
            }
            std::uint8_t bits = position == 0 ? 0
                                              : static_cast<std::uint8_t>(rat_of(attributes) |
                                                                          (1u << (position - 1)));
            set_rat(attributes, bits);
            return true;
        }
        case kLrl:
        case kFsz:
        case kBks: {
            const std::uint32_t largest = keyword == kLrl ? kLargestLrl : keyword == kFsz ? kLargestFsz : kLargestBks;
            std::uint32_t number = 0;
            if (!numeric_value(token, largest, &number, console)) {
                return false;
            }
            if (keyword == kLrl) {
                set_lrl(attributes, static_cast<std::uint16_t>(number));
            } else if (keyword == kFsz) {
                set_fsz(attributes, static_cast<std::uint8_t>(number));
            } else {
                set_bks(attributes, static_cast<std::uint8_t>(number));
            }
            return true;
        }
        case kUnknown:
            break;
    }
    message(console, "-e-opterr, unknown attribute %s\n", token);
    return false;
}

}  // namespace

std::size_t next_token(TextStream& stream, char* buffer, std::size_t capacity) {
    int c;
    do {
        c = text_stream_get(stream);
    } while (c != kEndOfText && is_separator(c));
    if (c == kEndOfText) {
        return 0;
    }
    std::size_t count = 0;
    buffer[count++] = static_cast<char>(c);
    while (count < capacity - 1) {
        c = text_stream_get(stream);
        if (c == kEndOfText || is_separator(c)) {
            break;
        }
        buffer[count++] = static_cast<char>(c);
    }
    buffer[count] = '\0';
    return count;
}

bool read_attributes(TextStream& stream, const char* source_name, FileAttributes& attributes, Console& console) {
    char token[kTokenCapacity];
    for (;;) {
        std::size_t length = next_token(stream, token, sizeof token);
        if (length == 0) {
            // A source that cannot be read is no empty source.
            if (stream.error_number != 0) {
                report_error_number(console, source_name, stream.error_number);
                return false;
            }
            return check_attributes(attributes, console);
        }
        if (length == sizeof token - 1) {
            message(console, "-e-opterr, input line too long\n");
            return false;
        }
        if (!apply_assignment(token, attributes, console)) {
            return false;
        }
    }
}
