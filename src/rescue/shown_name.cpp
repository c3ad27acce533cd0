#include "rescue/shown_name.h"

#include "platform/formatted.h"

namespace {

// The length of the valid UTF-8 character at text[at], or 0 when the bytes
// there are not one: no overlong forms, no surrogates, nothing beyond
// U+10FFFF.
std::size_t utf8_length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() - at < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string shown_name(std::string_view name) {
    std::string shown;
    shown.reserve(name.size());
    for (std::size_t at = 0; at < name.size();) {
        const unsigned char byte = static_cast<unsigned char>(name[at]);
        const std::size_t length = utf8_length(name, at);
        // A C1 control is U+0080..U+009F: 0xC2 then 0x80..0x9F.
        const bool c1_control = length == 2 && byte == 0xC2 && static_cast<unsigned char>(name[at + 1]) < 0xA0;
        if (byte == '\\') {
            shown += "\\\\";
        } else if (byte == '\t') {
            shown += "\\t";
        } else if (byte == '\n') {
            shown += "\\n";
        } else if (byte == '\r') {
            shown += "\\r";
        } else if (length == 0 || byte < 0x20 || byte == 0x7F || c1_control) {
            // A C1 control shows both of its bytes; an invalid byte alone.
            const std::size_t count = c1_control ? 2 : 1;
            for (std::size_t i = 0; i < count; ++i) {
                shown += formatted("\\x%02X", static_cast<unsigned char>(name[at + i]));
            }
            at += count;
            continue;
        } else {
            shown.append(name.substr(at, length));
            at += length;
            continue;
        }
        ++at;
    }
    return shown;
}

bool is_utf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8_length(text, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}
