// Relative files, built from the cells they hold.
#include <gtest/gtest.h>

#include <cstdio>

#include "copy_case.h"
#include "rms_builder.h"

namespace {

using rms::Bytes;
using rms::bytes;
using rms::cut;
using rms::patched;
using rms::present_cell;
using rms::RelativeCell;
using rms::RelativeFileLayout;

RelativeFileLayout two_buckets() {
    RelativeFileLayout spec;
    spec.bks = 1;
    spec.lrl = 20;
    spec.buckets = {{present_cell(bytes("alpha")), {rms::kCellDeleted, bytes("gone")}, present_cell(bytes("beta"))},
                    {present_cell(bytes("")), {0, {}}, present_cell(bytes("hidden"))}};
    return spec;
}

RelativeFileLayout with(RelativeFileLayout spec, void (*change)(RelativeFileLayout&)) {
    change(spec);
    return spec;
}

// The control bytes of cells that are empty but for a record in cell i.
std::vector<int> record_at(std::size_t i) {
    std::vector<int> dlcs(i, 0);
    dlcs.push_back(8);
    return dlcs;
}

// The -v2 items of a bucket of count cells whose first control bytes are
// dlcs: every cell is examined, the empty ones behind them too.
std::string cell_items(std::vector<int> dlcs, std::size_t count) {
    dlcs.resize(count, 0);
    std::string items;
    for (int dlc : dlcs) {
        char item[16];
        std::snprintf(item, sizeof item, "dlc=0x%02x ", dlc);
        items += item;
    }
    return items;
}

const std::string kAttributes = "org=rel rfm=var rat=cr bks=1 lrl=20";
const std::string kListing = kVersionLine + "org=rel rfm=var rat=cr lrl=20 bks=1\n";

class RelativeTest : public testing::TestWithParam<CopyCase> {};
TEST_P(RelativeTest, CopiesPresentRecords) { expect_copy(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Files, RelativeTest,
    testing::Values(
        // Records stored by number leave empty cells between them: "hidden"
        // lies behind one.
        CopyCase{"PresentCellsOnly", rms::relative_file(two_buckets()), kAttributes, {"-v"},
                 "alpha\nbeta\n\nhidden\n", kListing + "4 records copied\n", 0},
        CopyCase{"NoLineEndsWithoutCr", rms::relative_file(two_buckets()), "org=rel rfm=var bks=1 lrl=20", {},
                 "alphabetahidden", "", 0},
        CopyCase{"DumpsAtLevel2", rms::relative_file(two_buckets()), kAttributes, {"-v2"},
                 "alpha\nbeta\n\nhidden\n",
                 kListing + "prolog: flags=0,dvbn=2,mrn=0,eof=4\n" + "vbn #2: " + cell_items({8, 12, 8}, 23) +
                     "\nvbn #3: " + cell_items({8, 0, 8}, 23) + "\n4 records copied\n",
                 0},
        // Cells past eof are not copied, but what they hold is said.
        CopyCase{"NoBucketBelowEof",
                 rms::relative_file(with(two_buckets(), [](RelativeFileLayout& s) { s.eof = 2; })), kAttributes,
                 {"-v"}, "",
                 kListing + "-w-releof, cells from VBN 2 on, past the prolog's eof 2, hold 4 records: not copied\n"
                            "0 records copied\n",
                 0},
        CopyCase{"RecordsPastEof",
                 rms::relative_file(with(two_buckets(), [](RelativeFileLayout& s) { s.eof = 3; })), kAttributes,
                 {}, "alpha\nbeta\n",
                 "-w-releof, cells from VBN 3 on, past the prolog's eof 3, hold 2 records: not copied\n", 0},
        // Blocks past eof that are not cells throughout are what the disk
        // held before: no records.
        CopyCase{"StaleBlocksPastEof",
                 patched(rms::relative_file(with(two_buckets(), [](RelativeFileLayout& s) { s.eof = 3; })),
                         512 + 512 + 46, {0x41}),
                 kAttributes, {}, "alpha\nbeta\n", "", 0},
        CopyCase{"LastBucketReadWhole",
                 rms::relative_file(with(two_buckets(),
                                         [](RelativeFileLayout& s) {
                                             s.bks = 2;
                                             s.eof = 7;
                                             s.buckets = {{present_cell(bytes("v2"))},
                                                          {present_cell(bytes("v4"))},
                                                          {{0, {}}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {},
                                                           {}, {}, {}, {}, {}, {}, {}, {}, {}, {},
                                                           present_cell(bytes("v7"))}};
                                         })),
                 "org=rel rfm=var rat=cr bks=2 lrl=20", {"-v2"}, "v2\nv4\nv7\n",
                 kVersionLine + "org=rel rfm=var rat=cr lrl=20 bks=2\nprolog: flags=0,dvbn=2,mrn=0,eof=7\n" +
                     "vbn #2: " + cell_items({8}, 45) + "\nvbn #4: " + cell_items({8}, 45) + "\nvbn #6: " +
                     cell_items(record_at(23), 45) +
                     "\n3 records copied\n",
                 0},
        CopyCase{"DefaultLrlExaminesOneCellPerBucket",
                 rms::relative_file(with(two_buckets(), [](RelativeFileLayout& s) { s.lrl = 512; })),
                 "org=rel rfm=var rat=cr bks=1", {}, "alpha\n\n", "", 0},
        CopyCase{"DefaultLrlOfBucketsTooLargeForTheField",
                 rms::relative_file(with(two_buckets(),
                                         [](RelativeFileLayout& s) {
                                             s.bks = 128;
                                             s.lrl = 65533;
                                         })),
                 "org=rel rfm=var rat=cr bks=128", {"-v"}, "alpha\n\n",
                 kVersionLine + "org=rel rfm=var rat=cr lrl=65535 bks=128\n2 records copied\n", 0},
        CopyCase{"ShorterThanProlog", Bytes(100, 0), kAttributes, {}, "",
                 "file of 100 bytes is too short for its prolog (VBN 1)\n", 1},
        CopyCase{"EndsBeforeABucket", cut(rms::relative_file(two_buckets()), 1024), kAttributes, {},
                 "alpha\nbeta\n", "file ends before the bucket at VBN 3\n", 1},
        CopyCase{"EndsInsideABucket", cut(rms::relative_file(two_buckets()), 512 + 46), kAttributes, {}, "alpha\n",
                 "file ends inside the bucket at VBN 2, at cell offset 46\n", 1},
        CopyCase{"EndsInsideARecord", cut(rms::relative_file(two_buckets()), 512 + 50), kAttributes, {}, "alpha\n",
                 "file ends inside the record at VBN 2, cell offset 46\n", 1},
        // Empty cells may stand before more records: a bucket cut among
        // them may have lost some.
        CopyCase{"EndsAmongEmptyCells", cut(rms::relative_file(two_buckets()), 1024 + 100), kAttributes, {},
                 "alpha\nbeta\n\nhidden\n", "file ends inside the bucket at VBN 3, at cell offset 115\n", 1},
        CopyCase{"LengthBeyondLrl", patched(rms::relative_file(two_buckets()), 512 + 47, {21, 0}), kAttributes, {},
                 "alpha\n", "record length 21 exceeds lrl 20 in the cell at VBN 2, cell offset 46\n", 1},
        CopyCase{"LengthFieldPastTheBucket",
                 patched(rms::relative_file(with(two_buckets(), [](RelativeFileLayout& s) { s.lrl = 167; })),
                         512 + 510, {8, 1}),
                 "org=rel rfm=var rat=cr bks=1 lrl=167", {}, "alpha\nbeta\n",
                 "record cell at VBN 2, cell offset 510, has no room for its length\n", 1},
        CopyCase{"RecordPastTheBucket",
                 patched(rms::relative_file(with(two_buckets(), [](RelativeFileLayout& s) { s.lrl = 200; })),
                         512 + 406, {8, 200, 0}),
                 "org=rel rfm=var rat=cr bks=1 lrl=200", {}, "alpha\n",
                 "record at VBN 2, cell offset 406, reaches past the bucket\n", 1},
        CopyCase{"VbnZeroIsNoBlock", patched(rms::relative_file(two_buckets()), rms::kRelativePrologDvbn, {0, 0}),
                 kAttributes, {}, "", "prolog: dvbn 0 names no block\n", 1}),
    copy_case_name);

// Fixed-length cells: dlc and 10 bytes of record, 11 bytes in all.
RelativeFileLayout fixed_cells() {
    RelativeFileLayout spec = two_buckets();
    spec.cells = rms::CellFormat::kFixed;
    spec.lrl = 10;
    return spec;
}

// A bucket of one block full of cells of 19 bytes: 26 whole, then all but
// the last byte of a 27th.
RelativeFileLayout cells_one_byte_too_many() {
    RelativeFileLayout spec = fixed_cells();
    spec.lrl = 18;
    spec.buckets = {std::vector<RelativeCell>(27, present_cell(bytes("cell")))};
    return spec;
}

std::string fixed_records(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += "cell" + std::string(14, ' ') + "\n";
    return out;
}

const std::string kFixedAttributes = "org=rel rfm=fix rat=cr bks=1 lrl=10";

INSTANTIATE_TEST_SUITE_P(
    Fixed, RelativeTest,
    testing::Values(
        CopyCase{"PresentCellsOnly", rms::relative_file(fixed_cells()), kFixedAttributes, {"-v"},
                 "alpha     \nbeta      \n          \nhidden    \n",
                 kVersionLine + "org=rel rfm=fix rat=cr lrl=10 bks=1\n4 records copied\n", 0},
        CopyCase{"NoLineEndsWithoutCr", rms::relative_file(fixed_cells()), "org=rel rfm=fix bks=1 lrl=10", {},
                 "alpha     beta                hidden    ", "", 0},
        CopyCase{"DumpsAtLevel2", rms::relative_file(fixed_cells()), kFixedAttributes, {"-v2"},
                 "alpha     \nbeta      \n          \nhidden    \n",
                 kVersionLine + "org=rel rfm=fix rat=cr lrl=10 bks=1\n" + "prolog: flags=0,dvbn=2,mrn=0,eof=4\n" +
                     "vbn #2: " + cell_items({8, 12, 8}, 47) + "\nvbn #3: " + cell_items({8, 0, 8}, 47) +
                     "\n4 records copied\n",
                 0},
        CopyCase{"ControlPrefixChangesNothing", rms::relative_file(fixed_cells()), kFixedAttributes, {"-p"},
                 "alpha     \nbeta      \n          \nhidden    \n", "", 0},
        CopyCase{"EndsInsideARecord", cut(rms::relative_file(fixed_cells()), 512 + 22 + 5), kFixedAttributes, {},
                 "alpha     \n", "file ends inside the record at VBN 2, cell offset 22\n", 1},
        CopyCase{"LastCellCutByTheBucketEnd", rms::relative_file(cells_one_byte_too_many()),
                 "org=rel rfm=fix rat=cr bks=1 lrl=18", {}, fixed_records(26),
                 "record at VBN 2, cell offset 494, reaches past the bucket\n", 1},
        CopyCase{"LrlBeyondTheBucket", rms::relative_file(fixed_cells()), "org=rel rfm=fix rat=cr bks=1 lrl=600", {},
                 "", "record at VBN 2, cell offset 0, reaches past the bucket\n", 1}),
    copy_case_name);

// vfc cells: dlc, a length counting the 2 control bytes and the data, the
// control bytes, 10 bytes of data: 15 bytes in all.
RelativeFileLayout vfc_cells() {
    RelativeFileLayout spec;
    spec.cells = rms::CellFormat::kVfc;
    spec.fsz = 2;
    spec.lrl = 10;
    spec.buckets = {{rms::vfc_cell(bytes("\x01\x8d"), bytes("head")), {rms::kCellDeleted, bytes("gone")},
                     rms::vfc_cell(bytes("CC"), bytes("0123456789"))},
                    {rms::vfc_cell(bytes("ab"), bytes(""))}};
    return spec;
}

const std::string kVfcAttributes = "org=rel rfm=vfc rat=cr bks=1 lrl=10 fsz=2";

INSTANTIATE_TEST_SUITE_P(
    Vfc, RelativeTest,
    testing::Values(
        CopyCase{"DataWithoutTheControlArea", rms::relative_file(vfc_cells()), kVfcAttributes, {"-v"},
                 "head\n0123456789\n\n",
                 kVersionLine + "org=rel rfm=vfc rat=cr lrl=10 bks=1 fsz=2\n3 records copied\n", 0},
        CopyCase{"ControlPrefix", rms::relative_file(vfc_cells()), kVfcAttributes, {"-p"},
                 "\x01\x8dhead\nCC0123456789\nab\n", "", 0},
        CopyCase{"PrintFileGetsLineEnds", rms::relative_file(vfc_cells()), "org=rel rfm=vfc rat=prn bks=1 lrl=10 fsz=2",
                 {}, "head\n0123456789\n\n", "", 0},
        CopyCase{"DumpsAtLevel2", rms::relative_file(vfc_cells()), kVfcAttributes, {"-v2"}, "head\n0123456789\n\n",
                 kVersionLine + "org=rel rfm=vfc rat=cr lrl=10 bks=1 fsz=2\n" +
                     "prolog: flags=0,dvbn=2,mrn=0,eof=4\n" + "vbn #2: " + cell_items({8, 12, 8}, 35) +
                     "\nvbn #3: " + cell_items({8}, 35) + "\n3 records copied\n",
                 0},
        CopyCase{"LengthShorterThanFsz", patched(rms::relative_file(vfc_cells()), 512 + 30 + 1, {1, 0}),
                 kVfcAttributes, {}, "head\n",
                 "record length 1 is shorter than fsz 2 in the cell at VBN 2, cell offset 30\n", 1},
        CopyCase{"EmptyLengthIsShorterThanFsz", patched(rms::relative_file(vfc_cells()), 512 + 1, {0, 0}),
                 kVfcAttributes, {}, "",
                 "record length 0 is shorter than fsz 2 in the cell at VBN 2, cell offset 0\n", 1},
        CopyCase{"LengthBeyondLrlPlusFsz", patched(rms::relative_file(vfc_cells()), 512 + 30 + 1, {13, 0}),
                 kVfcAttributes, {}, "head\n",
                 "record length 13 exceeds lrl 10 plus fsz 2 in the cell at VBN 2, cell offset 30\n", 1},
        CopyCase{"EndsInsideTheControlArea", cut(rms::relative_file(vfc_cells()), 512 + 30 + 4), kVfcAttributes, {},
                 "head\n", "file ends inside the record at VBN 2, cell offset 30\n", 1},
        CopyCase{"FszTooLargeForTheCells", rms::relative_file(vfc_cells()), "org=rel rfm=vfc rat=cr bks=1 lrl=10 fsz=8",
                 {}, "", "record length 6 is shorter than fsz 8 in the cell at VBN 2, cell offset 0\n", 1}),
    copy_case_name);

// A prolog whose eof lies far past the file ends at the first missing
// bucket instead of walking billions of VBNs.
TEST(Relative, HugeEofStopsAtTheEndOfTheFile) {
    Bytes file = patched(rms::relative_file(two_buckets()), rms::kRelativePrologEof, {0xff, 0xff, 0xff, 0xff});
    ToolResult r = run_on_file(file, kAttributes);
    EXPECT_EQ(r.out, "alpha\nbeta\n\nhidden\n");
    EXPECT_EQ(r.err, "file ends before the bucket at VBN 4\n");
    EXPECT_EQ(r.status, 1);
}

TEST(Relative, PipeIsRefused) {
    TempDir dir;
    const std::string attributes = dir.write("rel.attr", kAttributes);
    ToolResult r = run_unrms({"-a", attributes, "/dev/stdin"}, rms::text(rms::relative_file(two_buckets())));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "read: Illegal seek: a relative file must be a file, not a pipe\n");
    EXPECT_EQ(r.status, 1);
}

}  // namespace
