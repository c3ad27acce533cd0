// FDL (File Definition Language) descriptions as a source of the record
// attributes: the text in which VMS itself describes a file (ANALYZE/RMS_FILE
// /FDL, the FDL editor, the FDL files of product kits).
//
// A description is a sequence of sections (FILE, RECORD, AREA 0, KEY 1, ...),
// each a section name alone on its line followed by lines of one attribute
// and its value ("FORMAT  fixed"). Only FILE and RECORD say anything the copy
// needs; every other section and attribute is read and ignored. Names and
// values may be written in any case, and "!" starts a comment to the end of
// the line unless it stands inside a quoted string ("..." or '...').
//
// A description comes in one of two forms: plain text (LF or CR LF lines; a
// Ctrl-Z ends the text, as for the assignments), or a file taken straight off
// a VMS disk, which is itself a sequential file of variable-length records:
// a 16-bit little-endian length word, the record, a pad byte after an odd
// length, the word 0xFFFF ending the records of a 512-byte block. Both read
// the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "attributes/file_attributes.h"

struct Console;

// How the lines of a description are stored.
enum class FdlForm { kText, kRecords };

// kRecords when data begins with a length word (not 0xFFFF) whose record lies
// inside data and holds no line feed. Text never does: its first two
// characters, read as a length, count at least 0x0909 bytes, which would all
// have to stand on its first line.
FdlForm fdl_form(const unsigned char* data, std::size_t size);

// One step through the lines of a description.
enum class LineStep {
    kLine,     // line holds the next line
    kEnd,      // no more lines
    kOverrun,  // a length word counts bytes past the end of data
};

// The record at offset in a chain of variable-length records; offset moves
// past it and its pad byte. A 0xFFFF word sends offset to the next 512-byte
// boundary, a zero word is an empty record (so trailing zero bytes read as
// empty records), and a lone last byte ends the chain. On kOverrun offset
// stays at the length word that overruns.
LineStep next_variable_record(const unsigned char* data, std::size_t size, std::size_t& offset,
                              std::string_view& record);

// The text line at offset, without its line feed; offset moves past the line
// feed. A Ctrl-Z ends the text; a last line without a line feed counts.
// Never kOverrun.
LineStep next_text_line(const unsigned char* data, std::size_t size, std::size_t& offset,
                        std::string_view& line);

// The lines of a description in either form, numbered from 1 (records are
// numbered as lines, empty ones included).
struct FdlLines {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::size_t offset = 0;
    FdlForm form = FdlForm::kText;
    unsigned long line_number = 0;  // of the line last returned, or the one that overran
};

void fdl_lines_open(FdlLines& lines, const unsigned char* data, std::size_t size);

LineStep next_fdl_line(FdlLines& lines, std::string_view& line);

// The first words of a line. Words are separated by blanks (space, tab,
// carriage return, line feed, form feed, vertical tab); a quoted string is
// part of its word, quotes included, blanks and "!" within it too; an
// unquoted "!" ends the line. An unclosed quote runs to the end of the line.
inline constexpr std::size_t kFdlWordsKept = 3;
struct FdlWords {
    std::string_view word[kFdlWordsKept];
    std::size_t count = 0;  // every word of the line, kept or not
};

FdlWords split_fdl_line(std::string_view line);

// A name of the FDL vocabulary and the code it stands for.
struct FdlName {
    const char* name;
    std::uint8_t code;
};

enum class NameMatch {
    kFound,      // *position is set
    kNone,       // no name is spelt so
    kAmbiguous,  // an abbreviation that several names begin with
};

// Finds the name in names that word spells, in any case: in full, or, when
// abbreviations are allowed, as a beginning that only one name has (a name
// spelt in full wins over the longer names it begins).
NameMatch match_fdl_name(std::string_view word, std::span<const FdlName> names, bool abbreviations,
                         std::size_t* position);

// The values of the attributes that map onto the record, in the spelling VMS
// writes; the writer writes them and the reader reads them.
inline constexpr FdlName kFdlOrganizations[] = {
    {"sequential", kOrgSequential}, {"relative", kOrgRelative}, {"indexed", kOrgIndexed}};
inline constexpr FdlName kFdlFormats[] = {
    {"fixed", kRfmFixed},       {"variable", kRfmVariable},    {"VFC", kRfmVfc},
    {"stream", kRfmStream},     {"stream_LF", kRfmStreamLf},   {"stream_CR", kRfmStreamCr},
    {"undefined", kRfmUndefined}};
inline constexpr FdlName kFdlCarriageControls[] = {{"carriage_return", kRatCarriageReturn},
                                                    {"fortran", kRatFortran},
                                                    {"print", kRatPrint},
                                                    {"none", 0}};

// True when data holds an FDL description: the first word of its first line
// that is not empty or all comment is a section or header name (IDENT, TITLE,
// SYSTEM, FILE, RECORD, AREA, KEY, ...), spelt in full, in any case. An
// assignment source never is one.
bool is_fdl_source(const unsigned char* data, std::size_t size);

// Enters the description into attributes: first the FDL defaults (sequential,
// variable, carriage_return), then FILE ORGANIZATION and, for relative files,
// BUCKET_SIZE; RECORD FORMAT, CARRIAGE_CONTROL, BLOCK_SPAN, SIZE and, for
// VFC records, CONTROL_FIELD_SIZE (2 when none is given, as RMS creates such
// a file). These attribute names may be abbreviated to any beginning no other
// attribute of their section shares, and so may their values. Then the
// consistency rules run. Returns true with attributes filled, or false after
// exactly one error message (attributes then unchanged); warnings of the
// rules may precede either.
bool read_fdl(const unsigned char* data, std::size_t size, FileAttributes& attributes, Console& console);
