// Relative files, built from the cells they hold.
#include <gtest/gtest.h>

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



const std::string kAttributes = "org=rel rfm=var rat=cr bks=1 lrl=20";
const std::string kListing = kVersionLine + "org=rel rfm=var rat=cr lrl=20 bks=1\n";

class RelativeTest : public testing::TestWithParam<CopyCase> {};
TEST_P(RelativeTest, CopiesPresentRecords) { expect_copy(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Files, RelativeTest,
    testing::Values(
        CopyCase{"PresentCellsOnly", rms::relative_file(two_buckets()), kAttributes, {"-v"}, "alpha\nbeta\n\n",
                 kListing + "3 records copied\n", 0},
        CopyCase{"NoLineEndsWithoutCr", rms::relative_file(two_buckets()), "org=rel rfm=var bks=1 lrl=20", {},
                 "alphabeta", "", 0},
        CopyCase{"DumpsAtLevel2", rms::relative_file(two_buckets()), kAttributes, {"-v2"}, "alpha\nbeta\n\n",
                 kListing +
                     "prolog: flags=0,dvbn=2,mrn=0,eof=4\n"
                     "vbn #2: dlc=0x08 dlc=0x0c dlc=0x08 dlc=0x00 \n"
                     "vbn #3: dlc=0x08 dlc=0x00 \n"
                     "3 records copied\n",
                 0},
        CopyCase{"NoBucketBelowEof",
                 rms::relative_file(with(two_buckets(), [](RelativeFileLayout& s) { s.eof = 2; })), kAttributes,
                 {"-v"}, "", kListing + "0 records copied\n", 0},
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
                 "org=rel rfm=var rat=cr bks=2 lrl=20", {"-v2"}, "v2\nv4\n",
                 kVersionLine + "org=rel rfm=var rat=cr lrl=20 bks=2\nprolog: flags=0,dvbn=2,mrn=0,eof=7\n"
                                "vbn #2: dlc=0x08 dlc=0x00 \nvbn #4: dlc=0x08 dlc=0x00 \nvbn #6: dlc=0x00 \n"
                                "2 records copied\n",
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
        CopyCase{"FixedNotHandled", rms::relative_file(two_buckets()), "org=rel rfm=fix bks=1 lrl=20", {}, "",
                 " - not yet implemented\n", 1},
        CopyCase{"ShorterThanProlog", Bytes(100, 0), kAttributes, {}, "",
                 "file of 100 bytes is too short for its prolog (VBN 1)\n", 1},
        CopyCase{"EndsBeforeABucket", cut(rms::relative_file(two_buckets()), 1024), kAttributes, {},
                 "alpha\nbeta\n", "file ends before the bucket at VBN 3\n", 1},
        CopyCase{"EndsInsideABucket", cut(rms::relative_file(two_buckets()), 512 + 46), kAttributes, {}, "alpha\n",
                 "file ends inside the bucket at VBN 2, at cell offset 46\n", 1},
        CopyCase{"EndsInsideARecord", cut(rms::relative_file(two_buckets()), 512 + 50), kAttributes, {}, "alpha\n",
                 "file ends inside the record at VBN 2, cell offset 46\n", 1},
        CopyCase{"EndsAfterTheLastCell", cut(rms::relative_file(two_buckets()), 1024 + 47), kAttributes, {},
                 "alpha\nbeta\n\n", "", 0},
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

// A prolog whose eof lies far past the file ends at the first missing
// bucket instead of walking billions of VBNs.
TEST(Relative, HugeEofStopsAtTheEndOfTheFile) {
    Bytes file = patched(rms::relative_file(two_buckets()), rms::kRelativePrologEof, {0xff, 0xff, 0xff, 0xff});
    ToolResult r = run_on_file(file, kAttributes);
    EXPECT_EQ(r.out, "alpha\nbeta\n\n");
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
