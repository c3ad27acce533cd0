#include "attributes/fdl_reader.h"

#include <cstring>

#include "attributes/attribute_rules.h"
#include "formats/blocks.h"
#include "formats/record_limits.h"
#include "formats/sequential_layout.h"
#include "platform/console.h"
#include "platform/little_endian.h"

namespace {

constexpr unsigned char kCtrlZ = 0x1A;

// A quoted word in a message is cut here: a line may be of any length.
constexpr int kLongestQuotedWord = 64;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

char ascii_upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// True when word is the first word.size() characters of name, in any case.
bool begins_name(std::string_view word, const char* name) {
    const std::size_t length = std::strlen(name);
    if (word.size() > length) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (ascii_upper(word[i]) != ascii_upper(name[i])) {
            return false;
        }
    }
    return true;
}

std::string_view as_text(const unsigned char* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The sections. Only FILE and RECORD are read; the rest are named so that
// their lines are known to belong to them.
enum Section : std::uint8_t { kNoSection, kFileSection, kRecordSection, kOtherSection };

constexpr FdlName kSections[] = {
    {"IDENT", kOtherSection},
    {"TITLE", kOtherSection},
    {"SYSTEM", kOtherSection},
    {"FILE", kFileSection},
    {"RECORD", kRecordSection},
    {"AREA", kOtherSection},
    {"KEY", kOtherSection},
    {"ANALYSIS_OF_AREA", kOtherSection},
    {"ANALYSIS_OF_KEY", kOtherSection},
    {"DATE", kOtherSection},
    {"ACCESS", kOtherSection},
    {"SHARING", kOtherSection},
    {"CONNECT", kOtherSection},
    {"JOURNALING", kOtherSection},
};

// The attributes the record takes; kUnmapped for the rest.
enum Attribute : std::uint8_t {
    kUnmapped,
    kOrganization,
    kBucketSize,
    kBlockSpan,
    kCarriageControl,
    kControlFieldSize,
    kFormat,
    kSize,
};

// Every attribute of the two sections, so that an abbreviation counts as
// unique only when no other attribute of its section begins the same way.
constexpr FdlName kFileAttributes[] = {
    {"ALLOCATION", kUnmapped},
    {"BEST_TRY_CONTIGUOUS", kUnmapped},
    {"BUCKET_SIZE", kBucketSize},
    {"CLUSTER_SIZE", kUnmapped},
    {"CONTEXT", kUnmapped},
    {"CONTIGUOUS", kUnmapped},
    {"DEFAULT_NAME", kUnmapped},
    {"DELETE_ON_CLOSE", kUnmapped},
    {"DIRECTORY_ENTRY", kUnmapped},
    {"ERASE_ON_DELETE", kUnmapped},
    {"EXTENSION", kUnmapped},
    {"FILE_MONITORING", kUnmapped},
    {"GLOBAL_BUFFER_COUNT", kUnmapped},
    {"GLOBAL_BUFFER_FLAGS", kUnmapped},
    {"GLOBAL_BUFFER_PAGE_COUNT", kUnmapped},
    {"MAGTAPE_BLOCK_SIZE", kUnmapped},
    {"MAGTAPE_CURRENT_POSITION", kUnmapped},
    {"MAGTAPE_PROTECTION", kUnmapped},
    {"MAGTAPE_REWIND", kUnmapped},
    {"MAX_RECORD_NUMBER", kUnmapped},
    {"MAXIMIZE_VERSION", kUnmapped},
    {"MT_BLOCK_SIZE", kUnmapped},
    {"MT_CLOSE_REWIND", kUnmapped},
    {"MT_CURRENT_POSITION", kUnmapped},
    {"MT_NOT_EOF", kUnmapped},
    {"MT_OPEN_REWIND", kUnmapped},
    {"MT_PROTECTION", kUnmapped},
    {"NAME", kUnmapped},
    {"NON_FILE_STRUCTURED", kUnmapped},
    {"ORGANIZATION", kOrganization},
    {"OUTPUT_FILE_PARSE", kUnmapped},
    {"OWNER", kUnmapped},
    {"PRINT_ON_CLOSE", kUnmapped},
    {"PROTECTION", kUnmapped},
    {"READ_CHECK", kUnmapped},
    {"REVISION", kUnmapped},
    {"SEQUENTIAL_ONLY", kUnmapped},
    {"SUBMIT_ON_CLOSE", kUnmapped},
    {"SUPERSEDE", kUnmapped},
    {"TEMPORARY", kUnmapped},
    {"TRUNCATE_ON_CLOSE", kUnmapped},
    {"USER_FILE_CHARACTERISTIC", kUnmapped},
    {"WRITE_CHECK", kUnmapped},
};

constexpr FdlName kRecordAttributes[] = {
    {"BLOCK_SPAN", kBlockSpan},
    {"CARRIAGE_CONTROL", kCarriageControl},
    {"CONTROL_FIELD_SIZE", kControlFieldSize},
    {"FORMAT", kFormat},
    {"SIZE", kSize},
};

constexpr FdlName kYesNo[] = {{"yes", 1}, {"no", 0}, {"true", 1}, {"false", 0}};

// The description as read so far. Bucket and control field sizes wait for
// the end: ORGANIZATION and FORMAT may follow them (VMS writes attributes in
// alphabetical order), and each counts only for one organisation or format.
struct FdlReading {
    FileAttributes attributes;
    Section section = kNoSection;
    std::uint8_t bucket_size = 0;
    std::uint8_t control_field_size = 0;
    unsigned long line_number = 0;
};

int quoted_length(std::string_view word) {
    return static_cast<int>(word.size() < kLongestQuotedWord ? word.size() : kLongestQuotedWord);
}

// The code of the value named by word into *code; false after the message.
bool value_code(const FdlReading& reading, std::string_view word, std::span<const FdlName> values,
                const char* attribute, Console& console, std::uint8_t* code) {
    std::size_t position = 0;
    const NameMatch match = match_fdl_name(word, values, true, &position);
    if (match == NameMatch::kFound) {
        *code = values[position].code;
        return true;
    }
    message(console, "-e-fdlval, line %lu: %s %s value \"%.*s\"\n", reading.line_number,
            match == NameMatch::kAmbiguous ? "ambiguous" : "unknown", attribute, quoted_length(word), word.data());
    return false;
}

// A decimal size that fits 0..largest into *size; false after the message.
bool size_value(const FdlReading& reading, std::string_view word, std::uint32_t largest, const char* attribute,
                const char* field, Console& console, std::uint32_t* size) {
    std::uint32_t value = 0;
    for (char c : word) {
        if (c < '0' || c > '9') {
            message(console, "-e-fdlval, line %lu: %s value \"%.*s\" is not a decimal number\n",
                    reading.line_number, attribute, quoted_length(word), word.data());
            return false;
        }
        // Past largest the value only needs to stay past it.
        if (value <= largest) {
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
        }
    }
    if (value > largest) {
        message(console, "-e-fdlsiz, line %lu: %s %.*s does not fit %s (0..%u)\n", reading.line_number,
                attribute, quoted_length(word), word.data(), field, largest);
        return false;
    }
    *size = value;
    return true;
}

// Enters the value of a mapped attribute. Returns false after the message.
bool enter_value(FdlReading& reading, Attribute attribute, const char* name, std::string_view value,
                 Console& console) {
    FileAttributes& attributes = reading.attributes;
    std::uint8_t code = 0;
    std::uint32_t size = 0;
    switch (attribute) {
        case kOrganization:
            if (!value_code(reading, value, kFdlOrganizations, name, console, &code)) {
                return false;
            }
            set_org(attributes, code);
            return true;
        case kFormat:
            if (!value_code(reading, value, kFdlFormats, name, console, &code)) {
                return false;
            }
            set_rfm(attributes, code);
            return true;
        case kCarriageControl: {
            if (!value_code(reading, value, kFdlCarriageControls, name, console, &code)) {
                return false;
            }
            constexpr std::uint8_t kCarriage = kRatFortran | kRatCarriageReturn | kRatPrint;
            set_rat(attributes, static_cast<std::uint8_t>((rat_of(attributes) & ~kCarriage) | code));
            return true;
        }
        case kBlockSpan: {
            if (!value_code(reading, value, kYesNo, name, console, &code)) {
                return false;
            }
            const auto others = static_cast<std::uint8_t>(rat_of(attributes) & ~kRatNoSpan);
            set_rat(attributes, static_cast<std::uint8_t>(code != 0 ? others : others | kRatNoSpan));
            return true;
        }
        case kSize:
            if (!size_value(reading, value, kLargestLrl, name, "lrl", console, &size)) {
                return false;
            }
            set_lrl(attributes, static_cast<std::uint16_t>(size));
            return true;
        case kControlFieldSize:
            if (!size_value(reading, value, kLargestFsz, name, "fsz", console, &size)) {
                return false;
            }
            reading.control_field_size = static_cast<std::uint8_t>(size);
            return true;
        case kBucketSize:
            if (!size_value(reading, value, kLargestBks, name, "bks", console, &size)) {
                return false;
            }
            reading.bucket_size = static_cast<std::uint8_t>(size);
            return true;
        case kUnmapped:
            break;
    }
    return true;
}

// True when some attribute that word abbreviates is mapped: an ambiguous
// abbreviation is refused only when it might have meant one of those.
bool may_mean_mapped(std::string_view word, std::span<const FdlName> names) {
    for (const FdlName& name : names) {
        if (name.code != kUnmapped && begins_name(word, name.name)) {
            return true;
        }
    }
    return false;
}

// Enters one line. Returns false after the message.
bool enter_line(FdlReading& reading, const FdlWords& words, Console& console) {
    if (words.count == 0) {
        return true;
    }
    std::size_t section = 0;
    if (match_fdl_name(words.word[0], kSections, false, &section) == NameMatch::kFound) {
        reading.section = static_cast<Section>(kSections[section].code);
        return true;
    }
    std::span<const FdlName> names;
    const char* section_name = nullptr;
    if (reading.section == kFileSection) {
        names = kFileAttributes;
        section_name = "FILE";
    } else if (reading.section == kRecordSection) {
        names = kRecordAttributes;
        section_name = "RECORD";
    } else {
        return true;
    }
    const std::string_view keyword = words.word[0];
    std::size_t position = 0;
    const NameMatch match = match_fdl_name(keyword, names, true, &position);
    if (match == NameMatch::kAmbiguous && may_mean_mapped(keyword, names)) {
        message(console, "-e-fdlkey, line %lu: ambiguous attribute \"%.*s\" in %s\n", reading.line_number,
                quoted_length(keyword), keyword.data(), section_name);
        return false;
    }
    if (match != NameMatch::kFound) {
        return true;
    }
    const FdlName& name = names[position];
    const Attribute attribute = static_cast<Attribute>(name.code);
    if (attribute == kUnmapped) {
        return true;
    }
    if (words.count < 2) {
        message(console, "-e-fdlval, line %lu: no value for %s\n", reading.line_number, name.name);
        return false;
    }
    if (words.count > 2) {
        message(console, "-e-fdlval, line %lu: more than one value for %s\n", reading.line_number, name.name);
        return false;
    }
    return enter_value(reading, attribute, name.name, words.word[1], console);
}

}  // namespace

FdlForm fdl_form(const unsigned char* data, std::size_t size) {
    if (size < 2) {
        return FdlForm::kText;
    }
    const std::size_t length = le16(data);
    if (length == kEndOfBlockMarker || length > size - kLengthWordSize) {
        return FdlForm::kText;
    }
    return std::memchr(data + kLengthWordSize, '\n', length) == nullptr ? FdlForm::kRecords : FdlForm::kText;
}

LineStep next_variable_record(const unsigned char* data, std::size_t size, std::size_t& offset,
                              std::string_view& record) {
    for (;;) {
        if (offset >= size || size - offset < kLengthWordSize) {
            offset = size;
            return LineStep::kEnd;
        }
        const std::size_t length = le16(data + offset);
        if (length == kEndOfBlockMarker) {
            offset = (offset / kBlockSize + 1) * kBlockSize;
            continue;
        }
        if (length > size - offset - kLengthWordSize) {
            return LineStep::kOverrun;
        }
        record = as_text(data + offset + kLengthWordSize, length);
        // The pad byte of an odd length may be missing at the very end.
        const std::size_t stored = kLengthWordSize + padded_length(length);
        offset = stored < size - offset ? offset + stored : size;
        return LineStep::kLine;
    }
}

LineStep next_text_line(const unsigned char* data, std::size_t size, std::size_t& offset,
                        std::string_view& line) {
    if (offset >= size || data[offset] == kCtrlZ) {
        offset = size;
        return LineStep::kEnd;
    }
    std::size_t end = offset;
    while (end < size && data[end] != '\n' && data[end] != kCtrlZ) {
        ++end;
    }
    line = as_text(data + offset, end - offset);
    // A Ctrl-Z ends the text, so the line it ends is the last.
    offset = (end < size && data[end] == '\n') ? end + 1 : size;
    return LineStep::kLine;
}

void fdl_lines_open(FdlLines& lines, const unsigned char* data, std::size_t size) {
    lines = FdlLines{};
    lines.data = data;
    lines.size = size;
    lines.form = fdl_form(data, size);
}

LineStep next_fdl_line(FdlLines& lines, std::string_view& line) {
    const LineStep step = lines.form == FdlForm::kRecords
                              ? next_variable_record(lines.data, lines.size, lines.offset, line)
                              : next_text_line(lines.data, lines.size, lines.offset, line);
    if (step != LineStep::kEnd) {
        ++lines.line_number;
    }
    return step;
}

FdlWords split_fdl_line(std::string_view line) {
    FdlWords words;
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && is_blank(line[i])) {
            ++i;
        }
        if (i == line.size() || line[i] == '!') {
            return words;
        }
        const std::size_t start = i;
        while (i < line.size() && !is_blank(line[i]) && line[i] != '!') {
            if (line[i] == '"' || line[i] == '\'') {
                const std::size_t close = line.find(line[i], i + 1);
                i = close == std::string_view::npos ? line.size() : close + 1;
            } else {
                ++i;
            }
        }
        if (words.count < kFdlWordsKept) {
            words.word[words.count] = line.substr(start, i - start);
        }
        ++words.count;
    }
}

NameMatch match_fdl_name(std::string_view word, std::span<const FdlName> names, bool abbreviations,
                         std::size_t* position) {
    if (word.empty()) {
        return NameMatch::kNone;
    }
    NameMatch found = NameMatch::kNone;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!begins_name(word, names[i].name)) {
            continue;
        }
        if (word.size() == std::strlen(names[i].name)) {
            *position = i;
            return NameMatch::kFound;
        }
        if (abbreviations) {
            found = found == NameMatch::kNone ? NameMatch::kFound : NameMatch::kAmbiguous;
            if (found == NameMatch::kFound) {
                *position = i;
            }
        }
    }
    return found;
}

bool is_fdl_source(const unsigned char* data, std::size_t size) {
    FdlLines lines;
    fdl_lines_open(lines, data, size);
    std::string_view line;
    while (next_fdl_line(lines, line) == LineStep::kLine) {
        const FdlWords words = split_fdl_line(line);
        if (words.count != 0) {
            std::size_t section = 0;
            return match_fdl_name(words.word[0], kSections, false, &section) == NameMatch::kFound;
        }
    }
    return false;
}

bool read_fdl(const unsigned char* data, std::size_t size, FileAttributes& attributes, Console& console) {
    FdlReading reading;
    set_org(reading.attributes, kOrgSequential);
    set_rfm(reading.attributes, kRfmVariable);
    set_rat(reading.attributes, kRatCarriageReturn);

    FdlLines lines;
    fdl_lines_open(lines, data, size);
    std::string_view line;
    for (;;) {
        const LineStep step = next_fdl_line(lines, line);
        if (step == LineStep::kEnd) {
            break;
        }
        reading.line_number = lines.line_number;
        if (step == LineStep::kOverrun) {
            message(console, "-e-fdlrec, line %lu: record length %u at offset %zu runs past the end of the file\n",
                    reading.line_number, static_cast<unsigned>(le16(data + lines.offset)), lines.offset);
            return false;
        }
        if (!enter_line(reading, split_fdl_line(line), console)) {
            return false;
        }
    }

    if (org_of(reading.attributes) == kOrgRelative) {
        set_bks(reading.attributes, reading.bucket_size);
    }
    if (rfm_of(reading.attributes) == kRfmVfc) {
        // RMS gives a vfc file created without a control field size one of 2 bytes.
        set_fsz(reading.attributes, reading.control_field_size != 0 ? reading.control_field_size : 2);
    }
    if (!check_attributes(reading.attributes, console)) {
        return false;
    }
    attributes = reading.attributes;
    return true;
}
