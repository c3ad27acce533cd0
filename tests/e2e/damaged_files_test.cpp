// Files damaged the way transfers damage them: cut short at every offset,
// zero-filled from some point on, a block overwritten, or copied with the
// wrong attributes. Whatever the damage, the records before it come out
// exactly, at most one message names what is wrong and where, the status is
// 1 unless the damage left a well-formed file (a stream file cut anywhere
// is one), and the output stays bounded.
//
// The sweeps run the whole program in-process (thousands of runs); the
// attribute cases at the end run the built binary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "captured_console.h"
#include "copy_case.h"
#include "driver/driver.h"
#include "rms_builder.h"

namespace {

using rms::Bytes;
using rms::bytes;

// Where one record's bytes lie in the file: the stored form begins at begin
// (its length word or cell, if any), its data occupy [data_begin, data_end),
// and the next record's bytes cannot begin before end.
struct RecordSpan {
    std::size_t begin = 0;
    std::size_t data_begin = 0;
    std::size_t data_end = 0;
    std::size_t end = 0;
};

struct SampleFile {
    const char* name;
    std::string attributes;
    Bytes file;
    std::vector<std::string> records;  // what the intact file yields, one line each
    std::vector<RecordSpan> spans;
    bool keeps_partial_record = false;  // a cut record's bytes are still written
    // Stream records: a cut leaves a well-formed file whose last record is
    // the cut one, without its terminator.
    bool stream = false;
};

void PrintTo(const SampleFile& sample, std::ostream* os) { *os << sample.name; }

std::vector<std::string> sample_texts(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < count; ++i) {
        std::string text = "record " + std::to_string(i) + ":";
        text.append(random() % 70, static_cast<char>('a' + random() % 26));
        texts.push_back(text);
    }
    return texts;
}

SampleFile var_sample() {
    SampleFile sample{"Var", "org=seq rfm=var rat=cr lrl=100", {}, sample_texts(24, 1), {}};
    rms::VarFileBuilder builder;
    for (std::size_t i = 0; i < sample.records.size(); ++i) {
        if (i == 11) rms::end_var_block(builder);  // one block ends early, with a marker
        const std::size_t begin = builder.bytes.size();
        rms::add_var_record(builder, bytes(sample.records[i]));
        sample.spans.push_back({begin, begin + 2, begin + 2 + sample.records[i].size(), builder.bytes.size()});
    }
    sample.file = builder.bytes;
    return sample;
}

SampleFile vfc_sample() {
    SampleFile sample{"Vfc", "org=seq rfm=vfc fsz=2 rat=cr lrl=100", {}, sample_texts(20, 2), {}};
    rms::VarFileBuilder builder;
    for (const std::string& record : sample.records) {
        const std::size_t begin = builder.bytes.size();
        const Bytes stored = rms::vfc_record({0x01, 0x8D}, bytes(record));
        rms::add_var_record(builder, stored);
        sample.spans.push_back({begin, begin + 2, begin + 2 + stored.size(), builder.bytes.size()});
    }
    sample.file = builder.bytes;
    return sample;
}

SampleFile fix_sample() {
    constexpr std::size_t kLength = 77;  // odd, and does not divide the block
    SampleFile sample{"Fix", "org=seq rfm=fix rat=cr lrl=77", {}, sample_texts(20, 3), {}, true};
    rms::FixFileBuilder builder;
    builder.record_length = kLength;
    for (std::string& record : sample.records) {
        record.resize(kLength, ' ');
        rms::add_fix_record(builder, bytes(record));
        const std::size_t end = builder.bytes.size();
        const std::size_t begin = end - kLength - 1;
        sample.spans.push_back({begin, begin, begin + kLength, end});
    }
    sample.file = builder.bytes;
    return sample;
}

SampleFile relative_sample() {
    rms::RelativeFileLayout spec;
    spec.bks = 2;
    spec.lrl = 60;
    SampleFile sample{"Relative", "org=rel rfm=var rat=cr bks=2 lrl=60", {}, {}, {}};
    const std::vector<std::string> texts = sample_texts(40, 4);
    std::size_t next = 0;
    for (std::size_t bucket = 0; bucket < 3; ++bucket) {
        std::vector<rms::RelativeCell> cells;
        for (std::size_t cell = 0; cell < 14 - bucket; ++cell) {
            std::string text = texts[next++].substr(0, spec.lrl);
            const bool deleted = cell % 5 == 3;
            cells.push_back({deleted ? rms::kCellDeleted : rms::kCellRecordPresent, bytes(text)});
            if (deleted) continue;
            const std::size_t begin = (spec.dvbn - 1u + bucket * spec.bks) * rms::kBlockSize + cell * (spec.lrl + 3u);
            sample.records.push_back(text);
            sample.spans.push_back({begin, begin + 3, begin + 3 + text.size(), begin + 3 + spec.lrl});
        }
        spec.buckets.push_back(cells);
    }
    sample.file = rms::relative_file(spec);
    return sample;
}

SampleFile stream_sample(const char* name, rms::StreamFormat format) {
    const bool crlf = format == rms::StreamFormat::kCrLf;
    SampleFile sample{name, crlf ? "org=seq rfm=stm rat=cr" : "org=seq rfm=stmcr rat=cr", {}, sample_texts(30, 6), {}};
    sample.stream = true;
    for (const std::string& record : sample.records) {
        const std::size_t begin = sample.file.size();
        rms::add_stream_record(sample.file, bytes(record), format);
        sample.spans.push_back({begin, begin, begin + record.size(), sample.file.size()});
    }
    return sample;
}

// Relative files of fixed-length and of vfc records: buckets of two blocks,
// every fifth cell deleted.
SampleFile relative_cells_sample(const char* name, rms::CellFormat format) {
    rms::RelativeFileLayout spec;
    spec.bks = 2;
    spec.lrl = 60;
    spec.cells = format;
    const bool vfc = format == rms::CellFormat::kVfc;
    spec.fsz = vfc ? 2 : 0;
    SampleFile sample{name, vfc ? "org=rel rfm=vfc rat=cr bks=2 lrl=60 fsz=2" : "org=rel rfm=fix rat=cr bks=2 lrl=60",
                      {}, {}, {}};
    const std::size_t stride = rms::relative_cell_size(spec);
    const std::size_t header = vfc ? 3 + spec.fsz : 1;
    const std::vector<std::string> texts = sample_texts(40, 7);
    std::size_t next = 0;
    for (std::size_t bucket = 0; bucket < 3; ++bucket) {
        std::vector<rms::RelativeCell> cells;
        for (std::size_t cell = 0; cell < 14 - bucket; ++cell) {
            std::string text = texts[next++].substr(0, spec.lrl);
            if (!vfc) text.resize(spec.lrl, ' ');
            const bool deleted = cell % 5 == 3;
            cells.push_back({deleted ? rms::kCellDeleted : rms::kCellRecordPresent, bytes(text), {0x01, 0x8D}});
            if (deleted) continue;
            const std::size_t begin = (spec.dvbn - 1u + bucket * spec.bks) * rms::kBlockSize + cell * stride;
            sample.records.push_back(text);
            sample.spans.push_back({begin, begin + header, begin + header + text.size(), begin + stride});
        }
        spec.buckets.push_back(cells);
    }
    sample.file = rms::relative_file(spec);
    return sample;
}

// How an indexed sample stores its records.
struct IndexedForm {
    std::uint8_t flags = 0;      // key 0's compression
    bool key_in_front = false;   // key 0 of one segment at 0: records in user order
    std::size_t fixed = 0;       // the record length, or 0 for variable-length records
    std::uint16_t ver_no = 3;
};

// Indexed buckets are read whole, so a record counts as cut when any byte of
// its bucket up to the bucket's free space is missing.
SampleFile indexed_sample(const char* name, const IndexedForm& form) {
    rms::IndexedFileLayout spec;
    spec.key.position = form.key_in_front ? std::vector<std::uint16_t>{0} : std::vector<std::uint16_t>{10, 0};
    spec.key.size = form.key_in_front ? std::vector<std::uint8_t>{10} : std::vector<std::uint8_t>{4, 6};
    spec.key.flags = form.flags;
    spec.ver_no = form.ver_no;
    spec.fixed_entries = form.fixed != 0 && form.flags == 0;
    spec.datbktsz = 2;
    const std::string attributes =
        form.fixed != 0 ? "org=idx rfm=fix rat=cr lrl=" + std::to_string(form.fixed) : "org=idx rfm=var rat=cr";
    SampleFile sample{name, attributes, {}, {}, {}};
    const std::vector<std::string> texts = sample_texts(60, 5);
    std::size_t next = 0;
    for (std::size_t bucket = 0; bucket < 4; ++bucket) {
        spec.buckets.emplace_back();
        for (std::size_t entry = 0; entry < 12; ++entry, ++next) {
            char key[16];
            std::snprintf(key, sizeof key, "%06zu%04zu", bucket, next);
            std::string record = key + texts[next];
            if (form.fixed != 0) record.resize(form.fixed, ' ');
            if (entry % 7 == 5) {
                spec.buckets.back().push_back(rms::deleted(bytes(record)));
                continue;
            }
            spec.buckets.back().push_back(rms::live(bytes(record)));
            sample.records.push_back(record);
        }
    }
    sample.file = rms::indexed_file(spec);
    for (std::size_t bucket = 0; bucket < spec.buckets.size(); ++bucket) {
        const std::size_t begin = (rms::indexed_bucket_vbn(spec, bucket) - 1) * rms::kBlockSize;
        const std::size_t end = begin + spec.datbktsz * rms::kBlockSize;
        const std::size_t used = sample.file[begin + rms::kBucketFreespace] |
                                 sample.file[begin + rms::kBucketFreespace + 1] << 8;
        for (const rms::IndexedEntry& entry : spec.buckets[bucket]) {
            if (entry.kind == rms::EntryKind::kLive) sample.spans.push_back({begin, begin, begin + used, end});
        }
    }
    return sample;
}

constexpr std::uint8_t kBothCompressed = rms::kKeyCompression | rms::kDataCompression;

std::vector<SampleFile> samples() {
    return {var_sample(),
            vfc_sample(),
            fix_sample(),
            stream_sample("Stm", rms::StreamFormat::kCrLf),
            stream_sample("Stmcr", rms::StreamFormat::kCr),
            relative_sample(),
            relative_cells_sample("RelativeFix", rms::CellFormat::kFixed),
            relative_cells_sample("RelativeVfc", rms::CellFormat::kVfc),
            indexed_sample("Indexed", {}),
            indexed_sample("IndexedCompressed", {kBothCompressed}),
            indexed_sample("IndexedCompressedInUserOrder", {kBothCompressed, true}),
            indexed_sample("IndexedFixed", {0, false, 70}),
            indexed_sample("IndexedFixedCompressedInUserOrder", {kBothCompressed, true, 70}),
            indexed_sample("IndexedProlog2", {0, true, 70, 2})};
}

struct Outcome {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs the program in-process on file, the way main would.
Outcome copy_file(const TempDir& dir, const Bytes& file, const std::string& attributes) {
    const std::string data = dir.write("DATA.DAT", file);
    const std::string attrs = dir.write("attrs.txt", attributes);
    std::vector<std::string> words{"unrms", "-a", attrs, data};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    CapturedConsole captured;
    Outcome outcome;
    outcome.status = run_unrms(static_cast<int>(words.size()), argv.data(), captured.console());
    outcome.out = captured.out();
    outcome.err = captured.err();
    return outcome;
}

std::string first_records(const SampleFile& sample, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) out += sample.records[i] + "\n";
    return out;
}

// The number of records whose stored bytes lie wholly before offset, and the
// number whose data do.
std::size_t records_ending_by(const SampleFile& sample, std::size_t offset) {
    return static_cast<std::size_t>(std::count_if(sample.spans.begin(), sample.spans.end(),
                                                  [&](const RecordSpan& s) { return s.end <= offset; }));
}
std::size_t data_ending_by(const SampleFile& sample, std::size_t offset) {
    return static_cast<std::size_t>(std::count_if(sample.spans.begin(), sample.spans.end(),
                                                  [&](const RecordSpan& s) { return s.data_end <= offset; }));
}

// Messages on damage: a status-1 run says what went wrong, and where, in
// its last line; nothing is reported as a success.
void expect_clear_report(const Outcome& outcome, const std::string& where) {
    SCOPED_TRACE(where);
    ASSERT_TRUE(outcome.status == 0 || outcome.status == 1) << outcome.status;
    EXPECT_EQ(outcome.err.find("Success"), std::string::npos) << outcome.err;
    if (outcome.status == 0) {
        EXPECT_EQ(outcome.err, "");
        return;
    }
    ASSERT_FALSE(outcome.err.empty());
    EXPECT_EQ(outcome.err.back(), '\n');
    const std::size_t lines = static_cast<std::size_t>(std::count(outcome.err.begin(), outcome.err.end(), '\n'));
    EXPECT_LE(lines, 2u) << outcome.err;
    const std::string last = outcome.err.substr(outcome.err.rfind('\n', outcome.err.size() - 2) + 1);
    const bool names_where = last.find("offset") != std::string::npos || last.find("VBN") != std::string::npos ||
                             last.find("key 0") != std::string::npos || last.find("prolog") != std::string::npos;
    EXPECT_TRUE(names_where) << last;
}

class DamagedFileTest : public testing::TestWithParam<SampleFile> {
protected:
    TempDir dir;
};

TEST_P(DamagedFileTest, IntactFileCopiesWhole) {
    const SampleFile& sample = GetParam();
    Outcome outcome = copy_file(dir, sample.file, sample.attributes);
    EXPECT_EQ(outcome.out, first_records(sample, sample.records.size()));
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
}

TEST_P(DamagedFileTest, CutAtEveryOffset) {
    const SampleFile& sample = GetParam();
    for (std::size_t cut = 0; cut < sample.file.size(); ++cut) {
        const std::string where = std::string(sample.name) + " cut at " + std::to_string(cut);
        Outcome outcome = copy_file(dir, Bytes(sample.file.begin(), sample.file.begin() + static_cast<long>(cut)),
                                    sample.attributes);
        expect_clear_report(outcome, where);

        if (sample.stream) {
            // The records before the cut, then what is left of the cut one
            // (a CR of its terminator included) as a record of its own.
            const std::size_t whole = records_ending_by(sample, cut);
            std::string expected = first_records(sample, whole);
            if (whole < sample.spans.size() && sample.spans[whole].begin < cut) {
                expected += std::string(sample.file.begin() + static_cast<long>(sample.spans[whole].begin),
                                        sample.file.begin() + static_cast<long>(cut)) +
                            "\n";
            }
            EXPECT_EQ(outcome.out, expected) << where;
            EXPECT_EQ(outcome.status, 0) << where;
            continue;
        }
        const auto inside = std::find_if(sample.spans.begin(), sample.spans.end(), [&](const RecordSpan& s) {
            return s.data_begin < cut && cut < s.data_end;
        });
        std::string partial;
        if (inside != sample.spans.end()) {
            EXPECT_EQ(outcome.status, 1) << where;
            if (sample.keeps_partial_record) {
                const std::size_t index = static_cast<std::size_t>(inside - sample.spans.begin());
                partial = sample.records[index].substr(0, cut - inside->data_begin);
            }
        }
        // Every record wholly before the cut is copied; one whose data
        // survived but not its pad byte or the rest of its cell may be too.
        const std::size_t with_data = data_ending_by(sample, cut);
        std::size_t copied = records_ending_by(sample, cut);
        while (copied < with_data && outcome.out != first_records(sample, copied) + partial) ++copied;
        ASSERT_EQ(outcome.out, first_records(sample, copied) + partial) << where;
        if (outcome.status == 0) {
            EXPECT_EQ(copied, with_data) << where;
        }
    }
}

// Damage that may still parse (a zero tail reads as empty records) must
// leave the records before it intact and the output within a small multiple
// of the file.
void expect_prefix_kept(const SampleFile& sample, const Bytes& damaged, std::size_t damage_offset,
                        const Outcome& outcome, const std::string& where) {
    expect_clear_report(outcome, where);
    const std::string before = first_records(sample, records_ending_by(sample, damage_offset));
    EXPECT_EQ(outcome.out.substr(0, before.size()), before) << where;
    EXPECT_LE(outcome.out.size(), 2 * damaged.size() + 1) << where;
}

TEST_P(DamagedFileTest, ZeroFilledTail) {
    const SampleFile& sample = GetParam();
    for (std::size_t from = 0; from < sample.file.size(); from += 37) {
        Bytes damaged = sample.file;
        std::fill(damaged.begin() + static_cast<long>(from), damaged.end(), 0);
        const std::string where = std::string(sample.name) + " zeros from " + std::to_string(from);
        expect_prefix_kept(sample, damaged, from, copy_file(dir, damaged, sample.attributes), where);
    }
}

TEST_P(DamagedFileTest, BlockOverwritten) {
    const SampleFile& sample = GetParam();
    std::mt19937 random(7);
    for (std::size_t block = 0; block * rms::kBlockSize < sample.file.size(); ++block) {
        for (int trial = 0; trial < 8; ++trial) {
            Bytes damaged = sample.file;
            const std::size_t from = block * rms::kBlockSize;
            const std::size_t to = std::min(damaged.size(), from + rms::kBlockSize);
            for (std::size_t i = from; i < to; ++i) damaged[i] = static_cast<unsigned char>(random());
            const std::string where =
                std::string(sample.name) + " block " + std::to_string(block) + " trial " + std::to_string(trial);
            expect_prefix_kept(sample, damaged, from, copy_file(dir, damaged, sample.attributes), where);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Organisations, DamagedFileTest, testing::ValuesIn(samples()),
                         [](const testing::TestParamInfo<SampleFile>& info) { return info.param.name; });

// The right file with the wrong attributes: refused where the bytes show it,
// with the records before the mismatch copied.
class WrongAttributesTest : public testing::TestWithParam<CopyCase> {};
TEST_P(WrongAttributesTest, StopsWithAClearMessage) { expect_copy(GetParam()); }

Bytes with_word_at(Bytes file, std::size_t offset, std::uint16_t word) {
    file[offset] = static_cast<unsigned char>(word);
    file[offset + 1] = static_cast<unsigned char>(word >> 8);
    return file;
}

// A bucket of two blocks whose 23rd cell crosses the boundary between them.
Bytes two_block_bucket() {
    std::vector<rms::RelativeCell> cells;
    for (int i = 0; i < 23; ++i) cells.push_back(rms::present_cell(bytes("record " + std::to_string(i))));
    return rms::relative_file({2, 20, 2, 0, 0, -1, {cells}, 0xC3});
}

std::string twenty_two_records() {
    std::string out;
    for (int i = 0; i < 22; ++i) out += "record " + std::to_string(i) + "\n";
    return out;
}

const Bytes kThreeRecords = rms::var_file({bytes("first"), bytes("second record"), bytes("third")});

INSTANTIATE_TEST_SUITE_P(
    Files, WrongAttributesTest,
    testing::Values(
        CopyCase{"LrlTooSmall", kThreeRecords, "rfm=var rat=cr lrl=8", {}, "first\n",
                 "length word 13 at offset 8 exceeds rsize 8\n", 1},
        CopyCase{"LengthWord0x8000", with_word_at(kThreeRecords, 8, 0x8000), "rfm=var rat=cr", {}, "first\n",
                 "length word 32768 at offset 8 exceeds rsize 32767\n", 1},
        CopyCase{"LengthWord0xFFFE", with_word_at(kThreeRecords, 8, 0xFFFE), "rfm=var rat=cr", {}, "first\n",
                 "length word 65534 at offset 8 exceeds rsize 32767\n", 1},
        CopyCase{"FszLargerThanTheRecords",
                 rms::var_file({rms::vfc_record({1, 2}, bytes("ab")), rms::vfc_record({1, 2}, bytes(""))}),
                 "rfm=vfc fsz=3 rat=cr", {}, "b\n", "length word 2 at offset 6 is shorter than fsz 3\n", 1},
        CopyCase{"BksTooSmall", two_block_bucket(), "org=rel rfm=var rat=cr bks=1 lrl=20", {},
                 twenty_two_records(), "record at VBN 2, cell offset 506, reaches past the bucket\n", 1},
        CopyCase{"LrlTooSmallForTheCells",
                 rms::relative_file({1, 20, 2, 0, 0, -1, {{rms::present_cell(bytes("a longer record"))}}, 0xC3}),
                 "org=rel rfm=var rat=cr bks=1 lrl=10", {}, "",
                 "record length 15 exceeds lrl 10 in the cell at VBN 2, cell offset 0\n", 1}),
    copy_case_name);

}  // namespace
