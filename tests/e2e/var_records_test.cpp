// Sequential files of variable-length records, built from the records they
// must yield.
#include <gtest/gtest.h>

#include <random>

#include "copy_case.h"
#include "rms_builder.h"

namespace {

using rms::Bytes;
using rms::bytes;
using rms::with_tail;


// Records 3, 0, 4 ("abc", "", "wxyz"), then an end-of-block marker.
Bytes three_records_and_marker() {
    rms::VarFileBuilder file;
    for (const char* record : {"abc", "", "wxyz"}) rms::add_var_record(file, bytes(record));
    rms::end_var_block(file);
    return file.bytes;
}

class VarRecordsTest : public testing::TestWithParam<CopyCase> {};

TEST_P(VarRecordsTest, CopiesRecords) {
    expect_copy(GetParam());
}

Bytes marker_at(std::size_t offset) {
    rms::VarFileBuilder file;
    rms::add_var_record(file, Bytes(offset - 2, 'a'));
    rms::end_var_block(file);
    rms::add_var_record(file, bytes("next"));
    return file.bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, VarRecordsTest,
    testing::Values(
        CopyCase{"EmptyFile", {}, "rfm=var", {"-v"}, "",
                kVersionLine + "org=seq rfm=var rat=none lrl=32767\n0 records copied\n", 0},
        CopyCase{"LineEndsFromCr", rms::var_file({bytes("abc"), bytes(""), bytes("wxyz")}), "rfm=var rat=cr", {},
                "abc\n\nwxyz\n", "", 0},
        CopyCase{"NoLineEndsWithoutCr", rms::var_file({bytes("abc"), bytes(""), bytes("wxyz")}), "rfm=var", {},
                "abcwxyz", "", 0},
        CopyCase{"ForcedNone", rms::var_file({bytes("abc"), bytes(""), bytes("wxyz")}), "rfm=var rat=cr",
                {"-n", "-v"}, "abcwxyz",
                kVersionLine + "org=seq rfm=var rat=cr lrl=32767\nforced rat=none\n3 records copied\n", 0},
        CopyCase{"ForcedCr", rms::var_file({bytes("abc")}), "rfm=var", {"-i"}, "abc\n", "", 0},
        CopyCase{"DumpsAtLevel2", three_records_and_marker(), "rfm=var rat=cr lrl=28", {"-v2"}, "abc\n\nwxyz\n",
                kVersionLine +
                    "org=seq rfm=var rat=cr lrl=28\nrsize: 28\nreclen: 3\nreclen: 0\nreclen: 4\nreclen: -1\n"
                    "3 records copied\n",
                0},
        CopyCase{"MarkerSkipsTheBlockTail", marker_at(100), "rfm=var rat=cr", {}, std::string(98, 'a') + "\nnext\n",
                "", 0},
        CopyCase{"MarkerInTheLastWord", marker_at(510), "rfm=var rat=cr", {}, std::string(508, 'a') + "\nnext\n",
                "", 0},
        CopyCase{"LineEndBytesAreData", rms::var_file({bytes("a\nb\r\x1a")}), "rfm=var rat=cr", {},
                "a\nb\r\x1a\n", "", 0},
        CopyCase{"ZeroWordsAreEmptyRecords", with_tail(rms::var_file({bytes("ab")}), {0, 0, 0, 0}),
                "rfm=var rat=cr", {"-v"}, "ab\n\n\n",
                kVersionLine + "org=seq rfm=var rat=cr lrl=32767\n3 records copied\n", 0},
        CopyCase{"LoneLastByteIgnored", with_tail(rms::var_file({bytes("ab")}), {7}), "rfm=var", {}, "ab", "", 0},
        CopyCase{"FileEndsInsideRecord", with_tail(rms::var_file({bytes("ab")}), {10, 0, 'x', 'y'}),
                "rfm=var rat=cr", {"-v"}, "ab\n",
                kVersionLine + "org=seq rfm=var rat=cr lrl=32767\n"
                               "read: end of file inside the 10-byte record at offset 4\n",
                1},
        CopyCase{"LengthBeyondLrl", rms::var_file({bytes("ab"), bytes("abcdef")}), "rfm=var lrl=4", {}, "ab",
                "length word 6 at offset 4 exceeds rsize 4\n", 1},
        CopyCase{"LengthOfNegativeCount", with_tail(rms::var_file({bytes("ab")}), {0x00, 0x90, 1, 2}), "rfm=var",
                {}, "ab", "length word 36864 at offset 4 exceeds rsize 32767\n", 1},
        CopyCase{"VfcWithControlPrefix",
                rms::var_file({rms::vfc_record(bytes("\x01\x8d"), bytes("line")), rms::vfc_record(bytes("XY"), {})}),
                "rfm=vfc rat=prn fsz=2", {"-p"}, "\x01\x8dline\nXY\n", "", 0},
        CopyCase{"NoSpanFile",
                rms::var_file({Bytes(300, 'a'), Bytes(300, 'b'), Bytes(101, 'c')}, /*no_span=*/true),
                "rfm=var rat=blk", {"-i"},
                std::string(300, 'a') + "\n" + std::string(300, 'b') + "\n" + std::string(101, 'c') + "\n", "", 0}),
    copy_case_name);

// Records of every length crossing the reader's internal chunk boundaries
// come out exactly as built.
TEST(VarRecords, LargeFileRoundTrips) {
    std::mt19937 random(7);
    std::vector<Bytes> records;
    std::string expected;
    std::size_t total = 0;
    while (total < (3u << 20)) {
        Bytes record(random() % 2000);
        for (unsigned char& b : record) b = static_cast<unsigned char>(random());
        total += record.size() + 3;
        expected.append(record.begin(), record.end());
        expected += '\n';
        records.push_back(std::move(record));
    }
    ToolResult r = run_on_file(rms::var_file(records), "rfm=var", {"-i", "-v"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == expected) << "output differs";
    EXPECT_EQ(r.err, kVersionLine + "org=seq rfm=var rat=none lrl=32767\nforced rat=cr\n" +
                         std::to_string(records.size()) + " records copied\n");
}

// Every message comes after the record data produced before it, also when
// both streams share one file.
TEST(VarRecords, MessagesFollowTheirRecordsOnASharedStream) {
    TempDir dir;
    std::string path = dir.write("DATA.DAT", rms::var_file({bytes("one"), bytes("two")}));
    ToolRun run({"-v2", "-a", "-", path}, "rfm=var rat=cr");
    run.merge_streams = true;
    ToolResult r = run_tool(run);
    EXPECT_EQ(r.out, kVersionLine +
                         "org=seq rfm=var rat=cr lrl=32767\nrsize: 32767\nreclen: 3\none\nreclen: 3\ntwo\n"
                         "2 records copied\n");
}

}  // namespace
