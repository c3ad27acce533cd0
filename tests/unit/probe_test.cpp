// The probe on files held in memory: which assignments it chooses and how
// sure it is, for each layout and for damaged or misleading bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "probe/probe.h"
#include "rms_builder.h"
#include "run_tool.h"

namespace {

using rms::Bytes;
using rms::bytes;

ProbeVerdict probe_bytes(const Bytes& file) {
    ProbeInput input;
    input.head = file.data();
    input.head_size = file.size();
    input.size = file.size();
    return probe(input);
}

std::vector<Bytes> lines(int count) {
    std::vector<Bytes> out;
    for (int i = 0; i < count; ++i) {
        out.push_back(bytes("$ SET DEFAULT [.SUB" + std::to_string(i) + "] ! line " + std::string(i % 7, 'x')));
    }
    return out;
}

void put_at(Bytes& file, std::size_t offset, const Bytes& value) {
    std::copy(value.begin(), value.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
}

Bytes le16(std::uint16_t value) {
    Bytes out;
    rms::put_le16(out, value);
    return out;
}

Bytes le32(std::uint32_t value) {
    Bytes out;
    rms::put_le32(out, value);
    return out;
}

// A plain indexed file: VBN 1 with the descriptor of a one-segment key of 4
// bytes and data buckets of one block, then one bucket per list of bodies,
// chained into a ring in file order.
Bytes indexed_file(const std::vector<std::vector<std::string>>& buckets) {
    Bytes file(rms::kBlockSize * (1 + buckets.size()), 0);
    file[11] = 1;   // datbktsz
    file[18] = 1;   // segments
    file[20] = 4;   // keysz
    file[44] = 4;   // size[0]
    put_at(file, 84, le32(2));  // ldvbn
    put_at(file, 116, le16(3));
    for (std::size_t b = 0; b < buckets.size(); ++b) {
        const std::size_t base = rms::kBlockSize * (1 + b);
        std::size_t at = base + 14;
        for (const std::string& body : buckets[b]) {
            put_at(file, at + 9, le16(static_cast<std::uint16_t>(body.size())));
            put_at(file, at + 11, bytes(body));
            at += 11 + body.size();
        }
        put_at(file, base + 4, le16(static_cast<std::uint16_t>(at - base)));
        put_at(file, base + 8, le32(b + 1 == buckets.size() ? 2 : static_cast<std::uint32_t>(b + 3)));
    }
    return file;
}

struct ProbeCase {
    const char* name;
    Bytes file;
    std::string line;  // the winner's assignments; empty: any
    bool confident;
    bool line_ends_guessed = false;
};

void PrintTo(const ProbeCase& c, std::ostream* os) { *os << c.name; }

class ProbeTest : public testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeTest, ChoosesTheAssignments) {
    const ProbeCase& c = GetParam();
    const ProbeVerdict verdict = probe_bytes(c.file);
    ASSERT_FALSE(verdict.candidates.empty());
    if (!c.line.empty()) {
        EXPECT_EQ(assignment_line(verdict.candidates[0]), c.line) << verdict.candidates[0].evidence;
    }
    EXPECT_EQ(verdict.confident, c.confident);
    EXPECT_EQ(verdict.line_ends_guessed, c.line_ends_guessed);
}

rms::RelativeFileLayout relative_spec(int buckets = 3, rms::CellFormat cells = rms::CellFormat::kVariable) {
    rms::RelativeFileLayout spec;
    spec.bks = 2;
    spec.lrl = 40;
    spec.cells = cells;
    spec.fsz = cells == rms::CellFormat::kVfc ? 2 : 0;
    for (int b = 0; b < buckets; ++b) {
        spec.buckets.emplace_back();
        for (int i = 0; i < 20; ++i) {
            spec.buckets.back().push_back(
                i % 5 == 3 ? rms::RelativeCell{rms::kCellDeleted, bytes("gone")}
                           : rms::RelativeCell{rms::kCellRecordPresent,
                                               bytes("customer " + std::to_string(b * 100 + i)), {0x01, 0x8D}});
        }
    }
    return spec;
}

// Records of a type byte, a counter and zeros.
rms::RelativeFileLayout relative_binary_spec() {
    rms::RelativeFileLayout spec = relative_spec();
    for (std::size_t b = 0; b < spec.buckets.size(); ++b) {
        for (std::size_t i = 0; i < spec.buckets[b].size(); ++i) {
            spec.buckets[b][i].data = Bytes{static_cast<unsigned char>(i % 4), static_cast<unsigned char>(b * 20 + i), 0,
                                            0, 0, 0x17, 0, 0};
        }
    }
    return spec;
}

Bytes with_broken_ring(Bytes file) {
    put_at(file, rms::kBlockSize * 2 + 8, le32(40));  // the second bucket points past the end
    return file;
}

// Records of a key at 4 (6 bytes) and 20 (3 bytes) dealt out to buckets of
// one block (two unless given), with a deleted entry and an rrv entry; of
// length bytes each, or (length 0) of lengths that differ. Text with runs of
// blanks.
rms::IndexedFileLayout indexed_spec(std::uint8_t flags, bool fixed_entries, int count, std::size_t length,
                                    std::size_t buckets = 2) {
    rms::IndexedFileLayout spec;
    spec.key.position = {20, 4};
    spec.key.size = {3, 6};
    spec.key.flags = flags;
    spec.fixed_entries = fixed_entries;
    spec.buckets.resize(buckets);
    for (int i = 0; i < count; ++i) {
        std::string record = "ID" + std::to_string(100 + i) + " name " + std::to_string(i * 7) + "     end";
        record.resize(length != 0 ? length : record.size() + 5 + static_cast<std::size_t>(i % 5), '.');
        spec.buckets[static_cast<std::size_t>(i) % buckets].push_back(rms::live(bytes(record)));
    }
    spec.buckets[0].push_back(rms::deleted(spec.buckets[0][0].record));
    spec.buckets[1].push_back(rms::rrv_entry());
    return spec;
}

Bytes indexed_version(std::uint16_t version, bool fixed_entries = false) {
    rms::IndexedFileLayout spec = indexed_spec(0, fixed_entries, fixed_entries ? 12 : 4, fixed_entries ? 33 : 0);
    spec.ver_no = version;
    return rms::indexed_file(spec);
}

Bytes text_counted_by_its_first_letters() {
    std::string text = "! ";  // 0x2021: the 8225 bytes behind them
    while (text.size() < 8227) {
        text += "line of text\r";
    }
    text.resize(8226);
    text += '\r';
    return bytes(text);
}

// CR LF lines and a Ctrl-Z after them, as PC text files end.
Bytes ended_by_ctrl_z(const std::vector<Bytes>& text) {
    Bytes file = rms::stream_file(text, rms::StreamFormat::kCrLf);
    file.push_back(0x1A);
    return file;
}

// Key 0 flagged as never initialised, over buckets of zeros.
Bytes indexed_never_initialised() {
    rms::IndexedFileLayout spec = indexed_spec(rms::kIndexNeverInitialised, false, 4, 0);
    Bytes file = rms::indexed_file(spec);
    const std::size_t first = (rms::indexed_bucket_vbn(spec, 0) - 1) * rms::kBlockSize;
    std::fill(file.begin() + static_cast<std::ptrdiff_t>(first), file.end(), 0);
    return file;
}

Bytes print_file(int count = 30) {
    std::vector<Bytes> stored;
    for (const Bytes& line : lines(count)) {
        stored.push_back(rms::vfc_record(Bytes{0x01, 0x8D}, line));
    }
    return rms::var_file(stored);
}

std::vector<Bytes> field_records(int count, std::size_t length) {
    std::vector<Bytes> out;
    for (int i = 0; i < count; ++i) {
        std::string record = "ITEM" + std::to_string(1000 + i) + "  " + std::to_string(i * 37 % 1000) + "  EA";
        record.resize(length, ' ');
        out.push_back(bytes(record));
    }
    return out;
}

Bytes binary_noise(std::size_t size) {
    Bytes out(size);
    std::uint32_t state = 12345;
    for (unsigned char& byte : out) {
        state = state * 1103515245 + 12345;
        byte = static_cast<unsigned char>(state >> 16);
    }
    return out;
}

std::vector<Bytes> binary_records(int count) {
    std::vector<Bytes> out;
    const Bytes noise = binary_noise(static_cast<std::size_t>(count) * 24);
    for (int i = 0; i < count; ++i) {
        out.emplace_back(noise.begin() + i * 24, noise.begin() + i * 24 + 8 + i % 16);
    }
    return out;
}

// Text records whose last byte is always the same digit: data, not a pad.
std::vector<Bytes> records_ending_in(int count, std::size_t length, char last) {
    std::vector<Bytes> out = field_records(count, length);
    for (Bytes& record : out) record.back() = static_cast<unsigned char>(last);
    return out;
}

// Four-byte binary records of a type code and a counter whose high byte
// never changes: read as three bytes and a pad as well as four, or as much
// longer records with block gaps that hold the records between.
Bytes counter_records(int count, unsigned first) {
    const Bytes noise = binary_noise(static_cast<std::size_t>(count));
    std::vector<Bytes> records;
    for (int i = 0; i < count; ++i) {
        const unsigned counter = first + static_cast<unsigned>(i);
        records.push_back(Bytes{static_cast<unsigned char>(noise[static_cast<std::size_t>(i)] % 8),
                                static_cast<unsigned char>(counter), static_cast<unsigned char>(counter >> 8),
                                static_cast<unsigned char>(counter >> 16)});
    }
    return rms::fix_file(records, 4);
}

// Two buckets of three blocks, a record in the first and a deleted one in
// the second whose data holds what reads as a present cell when the
// buckets are taken as one of six blocks; but a cell of that size would
// reach past the end of such a bucket, and RMS fits every cell whole.
Bytes relative_with_false_cell() {
    rms::RelativeFileLayout spec;
    spec.bks = 3;
    spec.lrl = 1010;
    Bytes deleted(600, 0x41);
    deleted[283] = 0x08;
    deleted[284] = 100;
    deleted[285] = 0;
    spec.buckets = {{rms::present_cell(Bytes(700, 0x42))}, {rms::RelativeCell{rms::kCellDeleted, deleted}}};
    return rms::relative_file(spec);
}

Bytes control_bytes_everywhere() {
    rms::RelativeFileLayout spec;
    spec.bks = 63;
    spec.eof = 2 + 63 * 64;
    Bytes file = rms::relative_prolog(spec, 0);
    const Bytes noise = binary_noise(63 * 64 * rms::kBlockSize);
    for (unsigned char byte : noise) {
        file.push_back(static_cast<unsigned char>((byte & 3) * 4));
    }
    return file;
}

Bytes counted(const std::string& text) {
    Bytes out{static_cast<unsigned char>(text.size())};
    const Bytes letters = bytes(text);
    out.insert(out.end(), letters.begin(), letters.end());
    return out;
}

// Binary records behind a first record that opens an object module or a
// directory: a VAX module header (type 0, subtype 0, structure level 0,
// the longest record size, the name counted), an Alpha one (type 8 and the
// record's own length in words, as every record after it has), or directory
// records (version limit, flags, the name counted and padded, version and
// file id).
std::vector<Bytes> module_records(char kind) {
    std::vector<Bytes> records = binary_records(30);
    Bytes first;
    if (kind == 'v') {
        first = {0, 0, 0, 0x00, 0x02};
        const Bytes name = counted("MTHRTL_TEST");
        first.insert(first.end(), name.begin(), name.end());
    }
    for (Bytes& record : records) {
        if (kind == 'a') {
            put_at(record, 0, le16(&record == &records[0] ? 8 : 3));
            put_at(record, 2, le16(static_cast<std::uint16_t>(record.size())));
        } else if (kind == 'd') {
            record = le16(32767);
            record.push_back(0);
            const Bytes name = counted("KITINSTAL.COM");
            record.insert(record.end(), name.begin(), name.end());
            record.push_back(0);
            const Bytes entry = {1, 0, 0xF4, 0x96, 0x13, 0, 0, 0};
            record.insert(record.end(), entry.begin(), entry.end());
        }
    }
    if (kind == 'v') {
        records[0] = first;
    }
    return records;
}

std::vector<Bytes> noise_records(std::size_t count, std::size_t length) {
    const Bytes noise = binary_noise(count * length);
    std::vector<Bytes> out;
    for (std::size_t i = 0; i < count; ++i) {
        out.emplace_back(noise.begin() + static_cast<std::ptrdiff_t>(i * length),
                         noise.begin() + static_cast<std::ptrdiff_t>(i * length + length));
    }
    return out;
}

// Binary records of a type code, a counter, a zero field and noise.
std::vector<Bytes> typed_records(std::size_t count, std::size_t length) {
    std::vector<Bytes> out = noise_records(count, length);
    for (std::size_t i = 0; i < count; ++i) {
        put_at(out[i], 0, Bytes{static_cast<unsigned char>(i % 8), static_cast<unsigned char>(i),
                                static_cast<unsigned char>(i >> 8), 0, 0, 0});
    }
    return out;
}

// Little-endian 16-bit words of small values, as images and fonts hold:
// every byte pair reads as a record of two bytes, or one and a pad.
Bytes small_words(std::size_t size) {
    Bytes out = binary_noise(size);
    for (std::size_t i = 1; i < out.size(); i += 2) out[i] &= 0x03;
    return out;
}

// Text records kept inside blocks (rat=blk) whose block gaps hold varied
// bytes, not the one byte RMS leaves there.
Bytes blocked_text_with_noisy_gaps() {
    Bytes file = rms::fix_file(field_records(100, 100), 100, true);
    const Bytes noise = binary_noise(file.size());
    for (std::size_t block = 0; block + rms::kBlockSize <= file.size(); block += rms::kBlockSize) {
        for (std::size_t i = block + 500; i < block + rms::kBlockSize; ++i) file[i] = noise[i] | 0x80;
    }
    return file;
}

Bytes lone_length_word() {
    Bytes file = rms::fix_file(noise_records(58, 85), 85);
    put_at(file, 0, le16(static_cast<std::uint16_t>(file.size() - 2)));
    return file;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ProbeTest,
    testing::Values(
        ProbeCase{"VariableText", rms::var_file(lines(40)), "org=seq rfm=var rat=cr lrl=36", true},
        ProbeCase{"VariableNoSpanHasBlockMarkers", rms::var_file(lines(60), true),
                  "org=seq rfm=var rat=cr rat=blk lrl=36", true},
        ProbeCase{"PrintControl", print_file(), "org=seq rfm=vfc rat=prn lrl=36 fsz=2", true},
        // Binary records do not show their line ends: rat=cr, as most files
        // of them carry, but none for object modules and directories.
        ProbeCase{"VariableBinary", rms::var_file(binary_records(30)), "org=seq rfm=var rat=cr lrl=23", true, true},
        ProbeCase{"VaxObjectModule", rms::var_file(module_records('v')), "org=seq rfm=var rat=none lrl=23", true, true},
        ProbeCase{"AlphaObjectModule", rms::var_file(module_records('a')), "org=seq rfm=var rat=none lrl=23", true,
                  true},
        ProbeCase{"Directory", rms::var_file(module_records('d'), true), "org=seq rfm=var rat=blk lrl=26", true, true},
        ProbeCase{"FixedFields", rms::fix_file(field_records(200, 41), 41), "org=seq rfm=fix rat=cr lrl=41", true},
        ProbeCase{"FixedFieldsEvenLength", rms::fix_file(field_records(200, 80), 80), "org=seq rfm=fix rat=cr lrl=80",
                  true},
        ProbeCase{"FixedTextEndingInADigit", rms::fix_file(records_ending_in(200, 40, '7'), 40),
                  "org=seq rfm=fix rat=cr lrl=40", true},
        // Kept inside blocks where that moves records; where it moves none
        // (a length that divides the block) both placements write the same.
        ProbeCase{"FixedKeptInsideBlocks", rms::fix_file(field_records(200, 41), 41, true),
                  "org=seq rfm=fix rat=cr rat=blk lrl=41", true},
        ProbeCase{"FixedInsideBlocksOfTheirLength", rms::fix_file(field_records(200, 64), 64, true),
                  "org=seq rfm=fix rat=cr lrl=64", true},
        ProbeCase{"FixedGapsOfVariedText", blocked_text_with_noisy_gaps(), "org=seq rfm=fix rat=cr rat=blk lrl=100",
                  false},
        // Records of one or two bytes fit every file: binary words are no
        // records, and the bytes are copied as they are.
        ProbeCase{"SmallWordsAreNoRecords", small_words(3001), "org=seq rfm=udf rat=none lrl=0", false},
        // Even-length binary records copy the file unchanged whatever their
        // length: the output is sure, the line ends are a guess.
        ProbeCase{"FixedBinaryEvenLength", rms::fix_file(typed_records(400, 24), 24), "", true, true},
        // Layouts the bytes do not tell apart: an answer, but not a sure one.
        ProbeCase{"FixedBinaryLastByteNeverVaries", counter_records(3159, 0x638F), "", false, true},
        ProbeCase{"FixedGapsOfVariedBytes", counter_records(9709, 0xEEDF), "", false, true},
        ProbeCase{"Relative", rms::relative_file(relative_spec()), "org=rel rfm=var rat=cr lrl=40 bks=2", true},
        ProbeCase{"RelativeFalseCellInOtherBuckets", relative_with_false_cell(), "org=rel rfm=var rat=cr lrl=1010 bks=3",
                  true},
        // Cells without a length word, and cells with print control in
        // front of text.
        ProbeCase{"RelativeFixed", rms::relative_file(relative_spec(3, rms::CellFormat::kFixed)),
                  "org=rel rfm=fix rat=cr lrl=40 bks=2", true},
        ProbeCase{"RelativePrintControl", rms::relative_file(relative_spec(3, rms::CellFormat::kVfc)),
                  "org=rel rfm=vfc rat=prn lrl=40 bks=2 fsz=2", true},
        // Length words in front of binary records may as well be the first
        // bytes of fixed-length ones.
        ProbeCase{"RelativeBinary", rms::relative_file(relative_binary_spec()), "org=rel rfm=var rat=cr lrl=40 bks=2",
                  false, true},
        // The carriage control of an indexed file is never sure.
        ProbeCase{"Indexed", indexed_file({{"K001first record", "K002second record"}, {"K003third record"}}),
                  "org=idx rfm=var rat=cr lrl=0", false, true},
        // A consistent key descriptor names the organisation even when the
        // ring breaks: nothing sequential comes near it.
        ProbeCase{"IndexedRingBroken",
                  with_broken_ring(indexed_file({{"K001first record"}, {"K002second record"}})),
                  "org=idx rfm=var rat=cr lrl=0", false, true},
        // Uncompressed fixed-length records leave the length field out:
        // length fields that chain mean variable-length records, even of
        // one length.
        ProbeCase{"IndexedEqualLengthsWithLengthFields", rms::indexed_file(indexed_spec(0, false, 12, 40)),
                  "org=idx rfm=var rat=cr lrl=0", false, true},
        // Too few records of one length to give up variable-length ones.
        ProbeCase{"IndexedFewEqualLengths", rms::indexed_file(indexed_spec(0, false, 3, 40)),
                  "org=idx rfm=var rat=cr lrl=0", false, true},
        // Compressed bodies differ in length; their expansions do not.
        ProbeCase{"IndexedEqualLengthsCompressed",
                  rms::indexed_file(indexed_spec(rms::kKeyCompression | rms::kDataCompression, false, 12, 40)),
                  "org=idx rfm=fix rat=cr lrl=40", false, true},
        ProbeCase{"IndexedCompressedVariable",
                  rms::indexed_file(indexed_spec(rms::kKeyCompression | rms::kDataCompression, false, 12, 0)),
                  "org=idx rfm=var rat=cr lrl=0", false, true},
        ProbeCase{"IndexedEntriesWithoutLength", rms::indexed_file(indexed_spec(0, true, 12, 33)),
                  "org=idx rfm=fix rat=cr lrl=33", false, true},
        // Prologs 1 and 2 store records whole, with one-byte ids and rrv
        // pointers of their own size; fixed-length ones without a length field.
        ProbeCase{"IndexedPrologVersion2", indexed_version(2), "org=idx rfm=var rat=cr lrl=0", false, true},
        ProbeCase{"IndexedPrologVersion1", indexed_version(1), "org=idx rfm=var rat=cr lrl=0", false, true},
        ProbeCase{"IndexedPrologVersion2Fixed", indexed_version(2, true), "org=idx rfm=fix rat=cr lrl=33", false, true},
        ProbeCase{"IndexedNeverInitialised", indexed_never_initialised(), "org=idx rfm=var rat=cr lrl=0", false, true},
        ProbeCase{"StreamLineFeeds", bytes("first line\nsecond line\nthird\n"), "org=seq rfm=stmlf rat=cr lrl=0",
                  true},
        ProbeCase{"StreamCarriageReturnLineFeed", bytes("first line\r\nsecond line\r\n"),
                  "org=seq rfm=stm rat=cr lrl=11", true},
        ProbeCase{"StreamCarriageReturns", bytes("first line\rsecond line\r"), "org=seq rfm=stmcr rat=cr lrl=11",
                  true},
        // RMS ends every stream record with its terminator: lines without
        // one at the end were cut, or never were a stream file (a PC text
        // file ended by Ctrl-Z in fixed-length records).
        ProbeCase{"StreamLastLineCut", bytes("first line\r\nsecond line\r\nthi"), "org=seq rfm=stm rat=cr lrl=11",
                  false},
        ProbeCase{"StreamEndedByCtrlZ", ended_by_ctrl_z(lines(40)), "org=seq rfm=stm rat=cr lrl=36", false},
        ProbeCase{"EmptyFile", Bytes{}, "org=seq rfm=udf rat=none lrl=0", false},
        // Whatever is guessed for these, it must not be given as sure.
        ProbeCase{"ZerosAreNoRecords", Bytes(2048, 0), "", false},
        ProbeCase{"NoiseIsWeak", binary_noise(3000), "", false},
        // A relative prolog over two megabytes of nothing but valid control
        // bytes: every cell size fits, and the search stops at its budget.
        ProbeCase{"ControlBytesEverywhere", control_bytes_everywhere(), "", false, true},
        // Fixed-length binary records whose first two bytes happen to
        // count the rest of the file: one length word is no chain.
        ProbeCase{"LoneLengthWordMatchingTheSize", lone_length_word(), "", false, true},
        // Lines ended by CR whose first two letters count the rest.
        ProbeCase{"StreamTextWhoseFirstLettersCountTheFile", text_counted_by_its_first_letters(),
                  "org=seq rfm=stmcr rat=cr lrl=14", false}),
    [](const testing::TestParamInfo<ProbeCase>& info) { return std::string(info.param.name); });

// Damaged files: what their holder needs is the layout that copies the
// records before the damage (unrms then reports it), named but never given
// as sure, since the file breaks the layout somewhere.

// The offset of the length word of record `index` in a file of
// variable-length records without block markers.
std::size_t length_word_of(const Bytes& file, int index) {
    std::size_t at = 0;
    for (int i = 0; i < index; ++i) {
        const std::size_t length = file[at] | static_cast<std::size_t>(file[at + 1]) << 8;
        at += 2 + length + (length & 1);
    }
    return at;
}

// Record 40 of 80 claims more bytes than the file has left.
Bytes with_broken_chain(const Bytes& file) {
    return rms::patched(file, length_word_of(file, 40), le16(0x7000));
}

Bytes cut_in_record_50(const Bytes& file) {
    return rms::cut(file, length_word_of(file, 50) + 10);
}

// The middle of bucket 2 (of four) and all behind it are lost.
Bytes cut_in_bucket_2(const rms::IndexedFileLayout& spec) {
    return rms::cut(rms::indexed_file(spec), (rms::indexed_bucket_vbn(spec, 2) - 1) * rms::kBlockSize + 100);
}

Bytes with_bucket_overrun(const rms::IndexedFileLayout& spec) {
    const std::size_t bucket = (rms::indexed_bucket_vbn(spec, 1) - 1) * rms::kBlockSize;
    return rms::patched(rms::indexed_file(spec), bucket + 4, le16(300));  // freespace inside an entry
}

Bytes with_wild_pointers() {
    Bytes file = indexed_file({{"K001first record"}});
    put_at(file, 84, le32(0xFFFFFFFF));  // ldvbn
    put_at(file, 104, le16(0xFFFF));
    put_at(file, 112, le32(0xFFFFFFFF));
    return file;
}

rms::RelativeFileLayout relative_with_eof(std::int64_t eof) {
    rms::RelativeFileLayout spec = relative_spec();
    spec.eof = eof;
    return spec;
}

INSTANTIATE_TEST_SUITE_P(
    Damaged, ProbeTest,
    testing::Values(
        ProbeCase{"VariableChainBrokenMidway", with_broken_chain(rms::var_file(lines(80))),
                  "org=seq rfm=var rat=cr lrl=36", false},
        ProbeCase{"VariableCutInARecord", cut_in_record_50(rms::var_file(lines(80))), "org=seq rfm=var rat=cr lrl=36",
                  false},
        ProbeCase{"VariableBinaryChainBroken", with_broken_chain(rms::var_file(binary_records(80))),
                  "org=seq rfm=var rat=cr lrl=23", false, true},
        ProbeCase{"PrintControlChainBroken", with_broken_chain(print_file(80)),
                  "org=seq rfm=vfc rat=prn lrl=36 fsz=2", false},
        // Too few records before the break to tell a damaged file from
        // length words that chain by chance: no variable-length answer.
        ProbeCase{"VariableChainBrokenEarly", rms::patched(rms::var_file(lines(80)), 0, le16(0x7000)), "", false, true},
        ProbeCase{"IndexedRingCutShort", cut_in_bucket_2(indexed_spec(0, false, 24, 0, 4)),
                  "org=idx rfm=var rat=cr lrl=0", false, true},
        ProbeCase{"IndexedEntriesWithoutLengthRingCutShort", cut_in_bucket_2(indexed_spec(0, true, 24, 33, 4)),
                  "org=idx rfm=fix rat=cr lrl=33", false, true},
        ProbeCase{"IndexedCompressedRingCutShort",
                  cut_in_bucket_2(indexed_spec(rms::kKeyCompression | rms::kDataCompression, false, 24, 40, 4)),
                  "org=idx rfm=fix rat=cr lrl=40", false, true},
        ProbeCase{"IndexedEntriesOverrunFreeSpace", with_bucket_overrun(indexed_spec(0, false, 24, 0, 4)),
                  "org=idx rfm=var rat=cr lrl=0", false, true},
        ProbeCase{"IndexedFieldsPointAnywhere", with_wild_pointers(), "org=idx rfm=var rat=cr lrl=0", false, true},
        ProbeCase{"RelativeCutShort", rms::cut(rms::relative_file(relative_spec(10)), 5 * rms::kBlockSize),
                  "org=rel rfm=var rat=cr lrl=40 bks=2", false},
        ProbeCase{"RelativeCutInABucket", rms::cut(rms::relative_file(relative_spec()), 2884),
                  "org=rel rfm=var rat=cr lrl=40 bks=2", false},
        ProbeCase{"RelativeEofBeyondTheFile", rms::relative_file(relative_with_eof(400)),
                  "org=rel rfm=var rat=cr lrl=40 bks=2", false}),
    [](const testing::TestParamInfo<ProbeCase>& info) { return std::string(info.param.name); });

// A large indexed file read as unrms-probe reads it: its first megabyte in
// memory, the rest through the descriptor. A ring that runs against file
// order reads one bucket at each jump, and the walk stops at its budget;
// one in file order reads a megabyte at a time.
TEST(ProbeReads, IndexedRingWithinItsBudget) {
    constexpr std::size_t kBuckets = 16 * 2048;  // 16 MiB of one-block buckets
    rms::IndexedFileLayout spec;
    spec.key.position = {0};
    spec.key.size = {8};
    spec.buckets.resize(kBuckets);
    for (std::size_t b = 0; b < kBuckets; ++b) {
        const std::string key = std::to_string(10000000 + b);
        spec.buckets[b] = {rms::live(bytes(key + " the record of bucket " + key))};
    }
    const Bytes in_order = rms::indexed_file(spec);
    for (std::size_t b = 0; b < kBuckets; ++b) spec.slots.push_back(kBuckets - 1 - b);
    const Bytes reversed = rms::indexed_file(spec);
    TempDir dir;
    struct ReadCase {
        const char* name;
        const Bytes& file;
        std::uint64_t most_reads;
    };
    for (const ReadCase& c : {ReadCase{"reversed", reversed, 4096}, ReadCase{"in order", in_order, 16}}) {
        SCOPED_TRACE(c.name);
        const int fd = ::open(dir.write(c.name, c.file).c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        std::uint64_t reads = 0;
        ProbeInput input;
        input.head = c.file.data();
        input.head_size = kProbeHeadSize;
        input.fd = fd;
        input.size = c.file.size();
        input.reads = &reads;
        const ProbeVerdict verdict = probe(input);
        ::close(fd);
        EXPECT_EQ(assignment_line(verdict.candidates[0]), "org=idx rfm=var rat=cr lrl=0");
        EXPECT_NE(verdict.candidates[0].evidence.find("where the walk stops"), std::string::npos)
            << verdict.candidates[0].evidence;
        EXPECT_FALSE(verdict.confident);
        EXPECT_LE(reads, c.most_reads);
    }
}

}  // namespace
