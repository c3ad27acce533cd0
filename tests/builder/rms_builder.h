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

// Copies of a file with the damage tests give it: bytes appended, bytes
// overwritten at an offset, the end cut off.
Bytes with_tail(Bytes file, const Bytes& tail);
Bytes patched(Bytes file, std::size_t offset, const Bytes& replacement);
Bytes cut(Bytes file, std::size_t size);

// Appends a 16-bit little-endian word.
void put_le16(Bytes& out, std::uint16_t value);
void put_le32(Bytes& out, std::uint32_t value);
// Overwrites the word at offset.
void put_le16_at(Bytes& out, std::size_t offset, std::uint16_t value);
void put_le32_at(Bytes& out, std::size_t offset, std::uint32_t value);

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
// lengths; records packed end to end, crossing block boundaries, unless
// no_span (rat=blk), where a record that does not fit whole into the rest of
// a block starts at the next one.
struct FixFileBuilder {
    Bytes bytes;
    std::size_t record_length = 0;
    bool no_span = false;
    unsigned char pad_value = 0xA5;
    unsigned char gap_value = 0xB6;
};

// Appends one record of record_length bytes, placed as RMS places it.
void add_fix_record(FixFileBuilder& file, const Bytes& data);

Bytes fix_file(const std::vector<Bytes>& records, std::size_t record_length, bool no_span = false);

// Sequential stream files: each record followed by its terminator, CR LF
// (rfm=stm) or CR (rfm=stmcr). A test that wants a last record without its
// terminator cuts it off.
enum class StreamFormat { kCrLf, kCr };

void add_stream_record(Bytes& file, const Bytes& data, StreamFormat format);

Bytes stream_file(const std::vector<Bytes>& records, StreamFormat format);

// Relative files: a prolog in VBN 1, buckets of bks blocks from dvbn, each a
// run of cells of equal size: the control byte, then for variable-length
// records the record length and lrl bytes of record area; for fixed-length
// records the lrl bytes of the record; for vfc records the record length
// (counting the control area), fsz bytes of control and lrl bytes of data.
struct RelativeCell {
    unsigned char dlc = 0;
    Bytes data;     // fixed-length records: padded with blanks to lrl
    Bytes control{};  // vfc: padded with zeros to fsz
};

inline constexpr unsigned char kCellRecordPresent = 8;
inline constexpr unsigned char kCellDeleted = 0x0C;

inline RelativeCell present_cell(const Bytes& data) { return {kCellRecordPresent, data}; }
inline RelativeCell vfc_cell(const Bytes& control, const Bytes& data) {
    return {kCellRecordPresent, data, control};
}

enum class CellFormat { kVariable, kFixed, kVfc };

struct RelativeFileLayout {
    std::uint8_t bks = 1;
    std::uint16_t lrl = 20;
    std::uint16_t dvbn = 2;
    unsigned char flags = 0;
    std::uint32_t mrn = 0;
    std::int64_t eof = -1;  // -1: the VBN behind the last bucket
    std::vector<std::vector<RelativeCell>> buckets;  // cells not given are empty (dlc 0)
    unsigned char stale_value = 0xC3;  // record area behind a record's data
    CellFormat cells = CellFormat::kVariable;
    std::uint8_t fsz = 0;  // vfc
};

// The bytes of one cell.
std::size_t relative_cell_size(const RelativeFileLayout& spec);

Bytes relative_file(const RelativeFileLayout& spec);

// The same file in pieces, for files too large to hold whole: the blocks
// before dvbn (the prolog, its eof counting bucket_count buckets when
// spec.eof is -1), then one bucket per call. spec.buckets is not read.
Bytes relative_prolog(const RelativeFileLayout& spec, std::size_t bucket_count);
Bytes relative_bucket(const RelativeFileLayout& spec, const std::vector<RelativeCell>& cells);

// Byte offset of a relative file's prolog fields, for tests that damage them.
inline constexpr std::size_t kRelativePrologDvbn = 104;
inline constexpr std::size_t kRelativePrologEof = 112;

// Indexed files: VBN 1 with the descriptor of key 0 and the prolog, further
// key descriptors in VBN 2, the area descriptors behind them, then the data
// buckets of key 0 chained into a ring in the order given. In prolog 3 each
// record entry holds its user record in stored form: the key segments in
// segment order, then the other bytes; compressed when key 0 asks for it.
// Prologs 1 and 2 store the user record whole and uncompressed behind a
// short entry head (one-byte ids), whatever key 0's flags say.
struct IndexedKeyLayout {
    std::vector<std::uint16_t> position;  // one per segment
    std::vector<std::uint8_t> size;
    std::uint8_t flags = 0;  // kKeyCompression, kDataCompression, others as given
    std::uint8_t datatype = 0;
    std::vector<std::uint8_t> type;  // per segment; missing ones are 0 (string)
    std::string name;
    bool counted_name = false;  // the name behind a length byte, not ended by a blank
    std::uint32_t rootvbn = 0;
};

inline constexpr std::uint8_t kIndexNeverInitialised = 0x10;
inline constexpr std::uint8_t kKeyCompression = 0x40;
inline constexpr std::uint8_t kDataCompression = 0x80;

enum class EntryKind { kLive, kDeleted, kRrv };

struct IndexedEntry {
    EntryKind kind = EntryKind::kLive;
    Bytes record;  // the user record; none for an rrv entry
    // Prologs 1 and 2: whether the head has an rrv id and pointer. An rrv
    // entry without one is marked deleted as well, as RMS leaves them.
    bool pointer = true;
};

inline IndexedEntry live(const Bytes& record) { return {EntryKind::kLive, record}; }
inline IndexedEntry deleted(const Bytes& record) { return {EntryKind::kDeleted, record}; }
inline IndexedEntry rrv_entry(bool pointer = true) { return {EntryKind::kRrv, {}, pointer}; }

struct IndexedFileLayout {
    IndexedKeyLayout key;
    std::uint8_t datbktsz = 1;
    std::uint16_t ver_no = 3;
    std::vector<std::vector<IndexedEntry>> buckets;  // in ring order
    // Where bucket i lies among the bucket slots behind the descriptors;
    // empty: in ring order.
    std::vector<std::size_t> slots;
    std::vector<IndexedKeyLayout> extra_keys;  // keys 1, 2, ... (at most 5), in VBN 2
    std::uint8_t areas = 1;  // amax
    // Fixed-length records (of prolog 3, an uncompressed file): the entries
    // carry no rl field, each body is the record.
    bool fixed_entries = false;
    // Prologs 1 and 2: the rrv pointers take (pointer_code & 3) + 2 bytes.
    std::uint8_t pointer_code = 2;
    unsigned char stale_value = 0xC3;  // bytes past freespace
};

Bytes indexed_file(const IndexedFileLayout& spec);

// The same file in pieces, for files too large to hold whole: the blocks
// before the first data bucket (the prolog's eof counting bucket_count
// buckets; none makes a file whose index was never initialised), then one
// data bucket per call, at vbn and chained to nxtbkt (lastbkt set when that
// is bucket 0's VBN). previous_key is the key of the last live record before
// the bucket (empty before the first), which key compression refers to; it
// leaves as the last live key of the bucket. spec.buckets is not read.
Bytes indexed_head(const IndexedFileLayout& spec, std::size_t bucket_count);
Bytes indexed_bucket(const IndexedFileLayout& spec, const std::vector<IndexedEntry>& entries, std::uint32_t vbn,
                     std::uint32_t nxtbkt, Bytes& previous_key);

// The bytes an entry takes in a bucket of the file after the live key
// previous_key, which it advances as indexed_bucket would: for filling
// buckets.
std::size_t indexed_entry_size(const IndexedFileLayout& spec, const IndexedEntry& entry, Bytes& previous_key);

// The VBN of bucket i (in ring order), for tests that damage a bucket.
std::uint32_t indexed_bucket_vbn(const IndexedFileLayout& spec, std::size_t i);

// The stored form of a user record: the key's segments, then the rest.
Bytes stored_record(const IndexedKeyLayout& key, const Bytes& user);

// The compk form of key against the previous key (none for the first):
// the shared leading bytes and the trailing repeats are left out.
Bytes compress_key(const Bytes& key, const Bytes* previous);

// The compd form of data: runs of one byte cut to the byte and a count.
Bytes compress_data(const Bytes& data);

// Offsets of fields that tests damage.
inline constexpr std::size_t kIndexedPrologVersion = 116;
inline constexpr std::size_t kKeySegments = 18;
inline constexpr std::size_t kKeyDatbktsz = 11;
inline constexpr std::size_t kKeyLdvbn = 84;
inline constexpr std::size_t kKeyFlags = 16;
inline constexpr std::size_t kBucketFreespace = 4;
inline constexpr std::size_t kBucketNxtbkt = 8;
inline constexpr std::size_t kBucketFirstEntry = 14;
// The bytes of a prolog 3 entry before its body, with the rl field, and of
// a prolog 1 or 2 entry with a pointer of pointer_code 2, without it.
inline constexpr std::size_t kEntryBodyOffset = 11;
inline constexpr std::size_t kShortEntryBodyOffset = 7;

}  // namespace rms
