#include "archives/member_names.h"

#include <map>
#include <set>

namespace {

constexpr char kEscape = '^';

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool hex_digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) {
        return false;
    }
    for (std::size_t i = at; i < at + count; ++i) {
        if (hex_value(text[i]) < 0) {
            return false;
        }
    }
    return true;
}

// The characters an escape at text[at] (the "^") takes after itself.
std::size_t escape_length(std::string_view text, std::size_t at) {
    if (at + 1 >= text.size()) {
        return 0;
    }
    if (text[at + 1] == 'U' && hex_digits(text, at + 2, 4)) {
        return 5;
    }
    return hex_digits(text, at + 1, 2) ? 2 : 1;
}

void append_utf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Decodes the ODS-5 escapes of one component.
std::string decode_escapes(std::string_view raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const std::size_t length = raw[i] == kEscape ? escape_length(raw, i) : 0;
        if (length == 0) {
            out += raw[i];
        } else if (length == 5) {
            append_utf8(out, static_cast<unsigned>(hex_value(raw[i + 2]) << 12 | hex_value(raw[i + 3]) << 8 |
                                                   hex_value(raw[i + 4]) << 4 | hex_value(raw[i + 5])));
        } else if (length == 2) {
            out += static_cast<char>(hex_value(raw[i + 1]) << 4 | hex_value(raw[i + 2]));
        } else {
            out += raw[i + 1] == '_' ? ' ' : raw[i + 1];
        }
        i += length;
    }
    return out;
}

// A decoded component as a Linux name: what it cannot hold written in its
// escaped form again. Sets *changed when it had to.
std::string safe_component(const std::string& component, bool* changed) {
    if (component == "." || component == "..") {
        *changed = true;
        return component == "." ? "^." : "^.^.";
    }
    std::string out;
    for (char c : component) {
        if (c == '/' || c == '\0') {
            *changed = true;
            out += c == '/' ? "^2F" : "^00";
        } else {
            out += c;
        }
    }
    return out;
}

// The positions of the characters of text that are not inside an escape.
std::vector<std::size_t> plain_positions(std::string_view text) {
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < text.size(); ++i) {
        positions.push_back(i);
        if (text[i] == kEscape) {
            i += escape_length(text, i);
        }
    }
    return positions;
}

bool all_digits(std::string_view text) {
    if (text.empty() || text.size() > 5) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

OutputName refused(std::string message) {
    OutputName name;
    name.verdict = NameVerdict::kRefused;
    name.message = std::move(message);
    return name;
}

}  // namespace

OutputName vms_output_name(std::string_view stored) {
    const std::vector<std::size_t> plain = plain_positions(stored);
    auto is = [&stored](std::size_t at, const char* set) { return std::string_view(set).find(stored[at]) != std::string_view::npos; };
    // The directory: from the first opener to its closer, and on through
    // the next bracket pair when a rooted one follows at once ("[A.][B]").
    std::size_t open = stored.size();
    std::size_t close = stored.size();
    std::size_t start = 0;  // after the device, when no directory follows
    std::string directory;
    for (std::size_t k = 0; k < plain.size(); ++k) {
        const std::size_t at = plain[k];
        if (open == stored.size() && is(at, ":")) {
            start = at + 1;
        } else if (open == stored.size() && is(at, "[<")) {
            open = at;
        } else if (open != stored.size() && close == stored.size() && is(at, "]>")) {
            directory.append(stored.substr(open + 1, at - open - 1));
            if (k + 1 < plain.size() && is(plain[k + 1], "[<")) {
                if (!directory.empty() && directory.back() != '.') {
                    directory += '.';
                }
                open = plain[k + 1];
                ++k;
                continue;
            }
            close = at;
            break;
        }
    }
    if (open != stored.size() && close == stored.size()) {
        close = open;  // no closer: the opener is an ordinary character
        open = stored.size();
        directory.clear();
    }
    OutputName name;
    bool changed = false;
    std::string path;
    if (open != stored.size()) {
        const std::vector<std::size_t> directory_plain = plain_positions(directory);
        std::size_t from = 0;
        for (std::size_t i = 0; i <= directory_plain.size(); ++i) {
            const std::size_t at = i < directory_plain.size() ? directory_plain[i] : directory.size();
            if (at < directory.size() && directory[at] != '.') {
                continue;
            }
            const std::string_view raw = std::string_view(directory).substr(from, at - from);
            const bool master = from == 0 && raw == "000000";
            from = at + 1;
            if (raw.empty()) {
                changed = true;
            } else if (!master) {
                path += safe_component(decode_escapes(raw), &changed) + "/";
            }
        }
    }
    // The file: name.type, then the version after ";" (or a second dot).
    const std::size_t file_start = open != stored.size() ? close + 1 : start;
    std::string_view file = stored.substr(std::min(file_start, stored.size()));
    const std::vector<std::size_t> file_plain = plain_positions(file);
    std::size_t version_at = file.size();
    std::vector<std::size_t> dots;
    for (std::size_t at : file_plain) {
        if (file[at] == ';') {
            version_at = at;
        } else if (file[at] == '.' && version_at == file.size()) {
            dots.push_back(at);
        }
    }
    if (version_at == file.size() && dots.size() >= 2 && all_digits(file.substr(dots.back() + 1))) {
        version_at = dots.back();
        dots.pop_back();
    }
    if (version_at < file.size()) {
        const std::string_view version = file.substr(version_at + 1);
        if (all_digits(version)) {
            name.version = static_cast<std::uint32_t>(std::stoul(std::string(version)));
            file = file.substr(0, version_at);
        } else if (version.empty()) {
            file = file.substr(0, version_at);
        } else {
            changed = true;  // not a version: it stays in the name
        }
    }
    if (!dots.empty() && dots.back() + 1 == file.size()) {
        file = file.substr(0, dots.back());  // an empty type
    }
    const std::string decoded = decode_escapes(file);
    if (decoded.empty()) {
        return refused("no file name");
    }
    name.path = path + safe_component(decoded, &changed);
    if (changed) {
        name.verdict = NameVerdict::kMadeSafe;
        name.message = "parts of the name that cannot stand in a path were changed";
    }
    return name;
}

OutputName zip_output_name(std::string_view stored) {
    if (stored.find('\0') != std::string_view::npos) {
        return refused("the name holds a NUL byte");
    }
    OutputName name;
    bool changed = false;
    std::size_t from = 0;
    while (from <= stored.size()) {
        std::size_t slash = stored.find('/', from);
        if (slash == std::string_view::npos) {
            slash = stored.size();
        }
        const std::string_view component = stored.substr(from, slash - from);
        const bool last = slash == stored.size();
        from = slash + 1;
        if (component == "..") {
            return refused("a \"..\" in the name would lead out of the output folder");
        }
        if (component.empty() || component == ".") {
            // The trailing slash of a directory entry is its form, not a fault.
            changed |= !(last && component.empty() && !name.path.empty());
            continue;
        }
        if (!name.path.empty()) {
            name.path += '/';
        }
        name.path += component;
    }
    if (name.path.empty()) {
        return refused("no name once its empty parts are dropped");
    }
    if (changed) {
        name.verdict = NameVerdict::kMadeSafe;
        name.message = "leading slashes and empty or \".\" parts were dropped";
    }
    return name;
}

std::vector<PlacedName> place_versions(const std::vector<VersionedName>& names) {
    std::map<std::string, std::uint32_t> highest;
    for (const VersionedName& name : names) {
        auto [place, added] = highest.emplace(name.path, name.version);
        if (!added && name.version > place->second) {
            place->second = name.version;
        }
    }
    std::vector<PlacedName> placed(names.size());
    std::map<std::string, std::vector<std::size_t>> by_output;
    for (std::size_t i = 0; i < names.size(); ++i) {
        placed[i].output = names[i].version == highest[names[i].path]
                               ? names[i].path
                               : names[i].path + ";" + std::to_string(names[i].version);
        by_output[placed[i].output].push_back(i);
    }
    std::set<std::string> files;
    for (const auto& [output, members] : by_output) {
        std::size_t file_members = 0;
        for (std::size_t i : members) {
            file_members += names[i].directory ? 0 : 1;
        }
        if (file_members > 0) {
            files.insert(output);
        }
        if (members.size() > 1 && file_members > 0) {
            for (std::size_t i : members) {
                placed[i].collides = true;
            }
        }
    }
    // A file where another member needs a directory.
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& output = placed[i].output;
        for (std::size_t slash = output.find('/'); slash != std::string::npos; slash = output.find('/', slash + 1)) {
            const auto file = files.find(output.substr(0, slash));
            if (file != files.end()) {
                placed[i].collides = true;
                for (std::size_t j : by_output[*file]) {
                    placed[j].collides = true;
                }
            }
        }
    }
    return placed;
}
