// Files of several megabytes: records cross every boundary of the input
// buffer and the output is flushed many times over, so the readers' fast
// paths hand over to their general loops at every kind of place: inside a
// length word, inside a record, between a record and its pad byte, in a
// block's gap, at an end-of-block marker; indexed buckets are read many at
// a time and one at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "rms_builder.h"
#include "run_tool.h"

namespace {

using rms::Bytes;

constexpr std::size_t kRecords = 12000;

// Record i: 0 to 700 bytes, every length in turn in a scrambled order, of
// printable bytes and line feeds.
Bytes record(std::size_t i) {
    Bytes data((i * 7919) % 701);
    for (std::size_t j = 0; j < data.size(); ++j) {
        data[j] = (i + j) % 61 == 0 ? '\n' : static_cast<unsigned char>('!' + (i * 3 + j) % 90);
    }
    return data;
}

void append(std::string& out, const Bytes& data) { out.append(data.begin(), data.end()); }

void append_length_word(std::string& out, std::size_t length) {
    out += static_cast<char>(length & 0xFF);
    out += static_cast<char>(length >> 8);
}

struct LargeCase {
    const char* name;
    std::string attributes;
    std::vector<std::string> options;
    std::function<void(Bytes& file, std::string& out)> build;
};

void PrintTo(const LargeCase& c, std::ostream* os) { *os << c.name; }

// var records, with an end-of-block marker after every 37th.
std::function<void(Bytes&, std::string&)> var_records(bool raw, bool no_span) {
    return [=](Bytes& file, std::string& out) {
        rms::VarFileBuilder builder;
        builder.no_span = no_span;
        for (std::size_t i = 0; i < kRecords; ++i) {
            const Bytes data = record(i);
            rms::add_var_record(builder, data);
            if (i % 37 == 36) {
                rms::end_var_block(builder);
            }
            if (raw) {
                append_length_word(out, data.size());
            }
            append(out, data);
            if (!raw) {
                out += '\n';
            }
        }
        file = builder.bytes;
    };
}

enum class VfcOutput { kData, kControlAndData, kRaw };

// vfc records with a 2-byte control area; every 50th record is empty,
// without a control area.
std::function<void(Bytes&, std::string&)> vfc_records(VfcOutput output) {
    return [=](Bytes& file, std::string& out) {
        rms::VarFileBuilder builder;
        for (std::size_t i = 0; i < kRecords; ++i) {
            const Bytes data = i % 50 == 0 ? Bytes{} : record(i);
            const Bytes stored =
                data.empty() ? Bytes{} : rms::vfc_record({static_cast<unsigned char>(i), 0x8D}, data);
            rms::add_var_record(builder, stored);
            if (output == VfcOutput::kRaw) {
                append_length_word(out, stored.size());
            }
            append(out, output == VfcOutput::kData ? data : stored);
            if (output != VfcOutput::kRaw) {
                out += '\n';
            }
        }
        file = builder.bytes;
    };
}

std::function<void(Bytes&, std::string&)> fix_records(std::size_t count, std::size_t length,
                                                      const std::string& line_end, bool no_span = false) {
    return [=](Bytes& file, std::string& out) {
        rms::FixFileBuilder builder;
        builder.record_length = length;
        builder.no_span = no_span;
        for (std::size_t i = 0; i < count; ++i) {
            Bytes data = record(i);
            data.resize(length, ' ');
            rms::add_fix_record(builder, data);
            append(out, data);
            out += line_end;
        }
        file = builder.bytes;
    };
}

// Buckets of 3 blocks holding cells of 200 bytes; every 11th cell deleted.
void relative_records(Bytes& file, std::string& out) {
    rms::RelativeFileLayout layout;
    layout.bks = 3;
    layout.lrl = 200;
    const std::size_t cells_per_bucket = layout.bks * rms::kBlockSize / (layout.lrl + 3u);
    for (std::size_t i = 0; i < kRecords;) {
        std::vector<rms::RelativeCell> cells;
        for (std::size_t c = 0; c < cells_per_bucket; ++c, ++i) {
            Bytes data = record(i);
            data.resize(std::min<std::size_t>(data.size(), layout.lrl));
            const bool deleted = i % 11 == 0;
            cells.push_back({deleted ? rms::kCellDeleted : rms::kCellRecordPresent, data});
            if (!deleted) {
                append(out, data);
                out += '\n';
            }
        }
        layout.buckets.push_back(cells);
    }
    file = rms::relative_file(layout);
}

// How an indexed file of indexed_records stores its records.
struct IndexedForm {
    std::uint8_t flags = 0;  // key 0's compression
    bool length_prefix = false;
    bool key_in_front = false;  // key 0 of one segment at 0: records in user order
    std::uint16_t ver_no = 3;
    std::size_t fixed = 0;  // the record length, or 0 for variable-length records
};

// Buckets of 3 blocks, each filled while the next entry fits; every 13th
// record deleted and an rrv entry after every 29th. The ring follows the file
// but for its middle third, which runs backwards through the file, so reads
// of many buckets alternate with jumps. Records are at least 9 bytes long:
// the key's segments lie at 5..8 and 0..1, or at 0..5.
std::function<void(Bytes&, std::string&)> indexed_records(const IndexedForm& form) {
    return [=](Bytes& file, std::string& out) {
        rms::IndexedFileLayout layout;
        layout.key.position = form.key_in_front ? std::vector<std::uint16_t>{0} : std::vector<std::uint16_t>{5, 0};
        layout.key.size = form.key_in_front ? std::vector<std::uint8_t>{6} : std::vector<std::uint8_t>{4, 2};
        layout.key.flags = form.flags;
        layout.ver_no = form.ver_no;
        layout.fixed_entries = form.fixed != 0 && form.flags == 0;
        layout.datbktsz = 3;
        const std::size_t room = layout.datbktsz * rms::kBlockSize;
        std::size_t used = room;
        Bytes key;
        for (std::size_t i = 0; i < kRecords; ++i) {
            Bytes data = record(i);
            data.resize(form.fixed != 0 ? form.fixed : std::max<std::size_t>(data.size(), 9), '.');
            std::vector<rms::IndexedEntry> entries = {{i % 13 == 0 ? rms::EntryKind::kDeleted : rms::EntryKind::kLive,
                                                       data}};
            if (i % 29 == 0) {
                entries.push_back(rms::rrv_entry());
            }
            for (const rms::IndexedEntry& entry : entries) {
                const std::size_t size = rms::indexed_entry_size(layout, entry, key);
                if (used + size > room) {
                    layout.buckets.emplace_back();
                    used = rms::kBucketFirstEntry;
                }
                used += size;
                layout.buckets.back().push_back(entry);
            }
            if (entries.front().kind == rms::EntryKind::kLive) {
                if (form.length_prefix) {
                    append_length_word(out, data.size());
                }
                append(out, data);
                out += '\n';
            }
        }
        const std::size_t count = layout.buckets.size();
        for (std::size_t b = 0; b < count; ++b) {
            const bool middle = b >= count / 3 && b < 2 * count / 3;
            layout.slots.push_back(middle ? count / 3 + 2 * count / 3 - 1 - b : b);
        }
        file = rms::indexed_file(layout);
    };
}

constexpr std::uint8_t kBothCompressed = rms::kKeyCompression | rms::kDataCompression;

class LargeFilesTest : public testing::TestWithParam<LargeCase> {};

TEST_P(LargeFilesTest, CopiesEveryRecordExactly) {
    const LargeCase& c = GetParam();
    Bytes file;
    std::string expected;
    c.build(file, expected);
    ASSERT_GT(file.size(), 2u << 20);
    ToolResult r = run_on_file(file, c.attributes, c.options);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.out.size(), expected.size());
    const auto mismatch = std::mismatch(r.out.begin(), r.out.end(), expected.begin());
    EXPECT_TRUE(mismatch.first == r.out.end()) << "first difference at output byte " << (mismatch.first - r.out.begin());
}

INSTANTIATE_TEST_SUITE_P(
    Files, LargeFilesTest,
    testing::Values(LargeCase{"Var", "rfm=var rat=cr lrl=700", {}, var_records(false, false)},
                    LargeCase{"VarNoSpan", "rfm=var rat=cr lrl=700", {}, var_records(false, true)},
                    LargeCase{"VarRaw", "rfm=var lrl=700", {"-r"}, var_records(true, false)},
                    LargeCase{"Vfc", "rfm=vfc rat=prn fsz=2 lrl=700", {}, vfc_records(VfcOutput::kData)},
                    LargeCase{"VfcWithControl", "rfm=vfc rat=cr fsz=2 lrl=700", {"-p"},
                              vfc_records(VfcOutput::kControlAndData)},
                    LargeCase{"VfcRaw", "rfm=vfc fsz=2 lrl=700", {"-r"}, vfc_records(VfcOutput::kRaw)},
                    LargeCase{"FixOdd", "rfm=fix rat=cr lrl=133", {}, fix_records(16000, 133, "\n")},
                    LargeCase{"FixLongerThanABlock", "rfm=fix lrl=601", {}, fix_records(3600, 601, "")},
                    LargeCase{"FixRaw", "rfm=fix lrl=133", {"-r"}, fix_records(16000, 133, "")},
                    LargeCase{"FixOddWithBlk", "rfm=fix rat=cr rat=blk lrl=133", {}, fix_records(16000, 133, "\n", true)},
                    LargeCase{"FixRawWithBlk", "rfm=fix rat=blk lrl=133", {"-r"}, fix_records(16000, 133, "", true)},
                    LargeCase{"Relative", "org=rel rfm=var rat=cr lrl=200 bks=3", {}, relative_records},
                    LargeCase{"Indexed", "org=idx rfm=var rat=cr", {}, indexed_records({})},
                    LargeCase{"IndexedLengthPrefix", "org=idx rfm=var rat=cr", {"-l"}, indexed_records({0, true})},
                    LargeCase{"IndexedCompressed", "org=idx rfm=var rat=cr", {},
                              indexed_records({kBothCompressed})},
                    LargeCase{"IndexedCompressedInUserOrder", "org=idx rfm=var rat=cr", {"-l"},
                              indexed_records({kBothCompressed, true, true})},
                    LargeCase{"IndexedFixedCompressedInUserOrder", "org=idx rfm=fix rat=cr lrl=333", {},
                              indexed_records({kBothCompressed, false, true, 3, 333})},
                    LargeCase{"IndexedProlog2", "org=idx rfm=fix rat=cr lrl=333", {},
                              indexed_records({0, false, true, 2, 333})}),
    [](const testing::TestParamInfo<LargeCase>& info) { return std::string(info.param.name); });

// A compressed record that expands to more than the whole output buffer
// (runs of one byte, 255 to a segment of three bytes) comes out whole, as
// do the records around it.
TEST(LargeFiles, ExpandedRecordLargerThanTheOutputBuffer) {
    rms::IndexedFileLayout layout;
    layout.key.position = {0};
    layout.key.size = {4};
    layout.key.flags = kBothCompressed;
    layout.datbktsz = 63;
    const Bytes huge = rms::bytes("K002" + std::string(1600000, 'q') + "end");
    layout.buckets = {{rms::live(rms::bytes("K001 before")), rms::live(huge), rms::live(rms::bytes("K003 after"))}};
    ToolResult r = run_on_file(rms::indexed_file(layout), "org=idx rfm=var rat=cr");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == "K001 before\n" + rms::text(huge) + "\nK003 after\n");
}

}  // namespace
