// Builds RMS files from the records they must yield, for tests, fuzz seeds,
// examples and benchmarks. Every layout detail a reader depends on (length
// words, pad bytes, block-end markers) is placed here on purpose, so a test
// states its records and compares them with what unrms writes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rms {

using Bytes = std::vector<unsigned char>;

inline constexpr std::size_t kBlockSize = 512;

Bytes bytes(std::string_view text);
std::string text(const Bytes& data);

// Appends a 16-bit little-endian word.
void put_le16(Bytes& out, std::uint16_t value);
void put_le32(Bytes& out, std::uint32_t value);

// Sequential files of variable-length records (rfm=var), and vfc records,
// whose stored bytes are the control area followed by the data.
struct VarFileBuilder {
    Bytes bytes;
    bool no_span = false;           // rat=blk: no record crosses a block boundary
    unsigned char pad_value = 0xA5;  // pad bytes must never reach the output
    unsigned char fill_value = 0xB6;  // nor must the tail of a block after a marker
};

// Appends one record: length word, data, pad byte after an odd length. With
// no_span, a record that does not fit the rest of the block starts the next.
void add_var_record(VarFileBuilder& file, const Bytes& data);

// Ends the current block: the 0xFFFF marker when a word still fits, then
// filler up to the block boundary.
void end_var_block(VarFileBuilder& file);

// A whole file of the given records.
Bytes var_file(const std::vector<Bytes>& records, bool no_span = false);

// A vfc record's stored bytes: the control area, then the data.
Bytes vfc_record(const Bytes& control, const Bytes& data);

// Sequential files of fixed-length records (rfm=fix): a pad byte after odd
// lengths, and a record that does not fit whole into the rest of a block
// starts at the next one.
struct FixFileBuilder {
    Bytes bytes;
    std::size_t record_length = 0;
    unsigned char pad_value = 0xA5;
    unsigned char gap_value = 0xB6;
};

// Appends one record of record_length bytes, placed as RMS places it.
void add_fix_record(FixFileBuilder& file, const Bytes& data);

Bytes fix_file(const std::vector<Bytes>& records, std::size_t record_length);

// Relative files: a prolog in VBN 1, buckets of bks blocks from dvbn, each a
// run of cells of lrl + 3 bytes: control byte, record length, record area.
struct RelativeCell {
    unsigned char dlc = 0;
    Bytes data;
};

inline constexpr unsigned char kCellRecordPresent = 8;
inline constexpr unsigned char kCellDeleted = 0x0C;

inline RelativeCell present_cell(const Bytes& data) { return {kCellRecordPresent, data}; }

struct RelativeFileSpec {
    std::uint8_t bks = 1;
    std::uint16_t lrl = 20;
    std::uint16_t dvbn = 2;
    unsigned char flags = 0;
    std::uint32_t mrn = 0;
    std::int64_t eof = -1;  // -1: the VBN behind the last bucket
    std::vector<std::vector<RelativeCell>> buckets;  // cells not given are empty (dlc 0)
    unsigned char stale_value = 0xC3;  // record area behind a record's data
};

Bytes relative_file(const RelativeFileSpec& spec);

// Byte offset of a relative file's prolog fields, for tests that damage them.
inline constexpr std::size_t kRelativePrologDvbn = 104;
inline constexpr std::size_t kRelativePrologEof = 112;

}  // namespace rms
