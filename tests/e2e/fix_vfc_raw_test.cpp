// Sequential files of fixed-length and vfc records, and raw mode, built from
// the records they must yield.
#include <gtest/gtest.h>

#include "copy_case.h"
#include "rms_builder.h"

namespace {

using rms::Bytes;
using rms::bytes;
using rms::with_tail;


// count records of length bytes, record i filled with 'a' + i.
std::vector<Bytes> lettered(std::size_t count, std::size_t length) {
    std::vector<Bytes> records;
    for (std::size_t i = 0; i < count; ++i) records.push_back(Bytes(length, static_cast<unsigned char>('a' + i)));
    return records;
}

std::string joined(const std::vector<Bytes>& records, const std::string& line_end) {
    std::string out;
    for (const Bytes& record : records) out += rms::text(record) + line_end;
    return out;
}

std::string listing(const std::string& items) { return kVersionLine + items + "\n"; }

class FixRecordsTest : public testing::TestWithParam<CopyCase> {};
TEST_P(FixRecordsTest, CopiesRecords) { expect_copy(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Files, FixRecordsTest,
    testing::Values(
        // Without rat=blk the seventh record starts at offset 480 and runs
        // into block 2; with it, it starts at block 2.
        CopyCase{"RecordsCrossBlocks", rms::fix_file(lettered(7, 80), 80), "rfm=fix rat=cr lrl=80", {"-v2"},
                 joined(lettered(7, 80), "\n"),
                 listing("org=seq rfm=fix rat=cr lrl=80") + "reclen: 80\n7 records copied\n", 0},
        CopyCase{"GapAtBlockEndWithBlk", rms::fix_file(lettered(7, 80), 80, true), "rfm=fix rat=cr rat=blk lrl=80",
                 {"-v"}, joined(lettered(7, 80), "\n"),
                 listing("org=seq rfm=fix rat=cr rat=blk lrl=80") + "7 records copied\n", 0},
        CopyCase{"LongerThanABlockWithBlk", rms::fix_file(lettered(3, 600), 600, true), "rfm=fix rat=blk lrl=600",
                 {}, joined(lettered(3, 600), ""), "", 0},
        CopyCase{"OddLengthPadBytes", rms::fix_file(lettered(8, 81), 81), "rfm=fix rat=cr lrl=81", {},
                 joined(lettered(8, 81), "\n"), "", 0},
        CopyCase{"OneRecordPerBlock", rms::fix_file(lettered(3, 512), 512), "rfm=fix lrl=512", {},
                 joined(lettered(3, 512), ""), "", 0},
        CopyCase{"LongerThanABlock", rms::fix_file(lettered(3, 600), 600), "rfm=fix lrl=600", {"-i"},
                 joined(lettered(3, 600), "\n"), "", 0},
        CopyCase{"TwoBlocksExactly", rms::fix_file(lettered(3, 1024), 1024), "rfm=fix lrl=1024", {},
                 joined(lettered(3, 1024), ""), "", 0},
        CopyCase{"EmptyFile", {}, "rfm=fix lrl=80", {"-v"}, "",
                 listing("org=seq rfm=fix rat=none lrl=80") + "0 records copied\n", 0},
        CopyCase{"PartialLastRecord", with_tail(rms::fix_file(lettered(2, 80), 80), Bytes(30, 'z')),
                 "rfm=fix rat=cr lrl=80", {"-v"}, joined(lettered(2, 80), "\n") + std::string(30, 'z'),
                 listing("org=seq rfm=fix rat=cr lrl=80") +
                     "last record only 30 bytes\nread: end of file inside the 80-byte record at offset 160\n",
                 1},
        CopyCase{"TwoByteRecords", rms::fix_file({bytes("ab"), bytes("cd")}, 2), "rfm=fix lrl=2", {"-n"}, "abcd",
                 "", 0}),
    copy_case_name);

Bytes print_file() {
    return rms::var_file({rms::vfc_record(bytes("\x01\x8d"), bytes("head")),
                          rms::vfc_record(Bytes{0, 0}, {}),
                          rms::vfc_record(bytes("\x01\x8d"), bytes("odd")), {}});
}

// A record as long as lrl plus the control area: vfc lrl counts the data alone.
Bytes longest_vfc_file() { return rms::var_file({rms::vfc_record(bytes("CC"), Bytes(48, 'x'))}); }

class VfcRecordsTest : public testing::TestWithParam<CopyCase> {};
TEST_P(VfcRecordsTest, CopiesRecords) { expect_copy(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Files, VfcRecordsTest,
    testing::Values(
        CopyCase{"PrintFileGetsLineEnds", print_file(), "rfm=vfc rat=prn fsz=2", {"-v2"}, "head\n\nodd\n\n",
                 listing("org=seq rfm=vfc rat=prn lrl=32767 fsz=2") + "forced rat=cr\nrsize: 32767\n4 records copied\n",
                 0},
        CopyCase{"PrintFileWithN", print_file(), "rfm=vfc rat=prn fsz=2", {"-n"}, "headodd", "", 0},
        CopyCase{"ControlPrefix", print_file(), "rfm=vfc rat=prn fsz=2", {"-p"},
                 "\x01\x8dhead\n" + std::string("\0\0", 2) + "\n\x01\x8dodd\n\n", "", 0},
        CopyCase{"LongFixedControl", rms::var_file({rms::vfc_record(bytes("1234"), bytes("data"))}),
                 "rfm=vfc fsz=4", {"-i"}, "data\n", "", 0},
        CopyCase{"MarkerSkipsBlockTail",
                 [] {
                     rms::VarFileBuilder file;
                     rms::add_var_record(file, rms::vfc_record(bytes("CC"), bytes("one")));
                     rms::end_var_block(file);
                     rms::add_var_record(file, rms::vfc_record(bytes("CC"), bytes("two")));
                     return file.bytes;
                 }(),
                 "rfm=vfc fsz=2 rat=cr", {}, "one\ntwo\n", "", 0},
        CopyCase{"LengthAsLongAsLrlPlusFsz", longest_vfc_file(), "rfm=vfc fsz=2 lrl=48", {"-n"},
                 std::string(48, 'x'), "", 0},
        CopyCase{"LengthAsLongAsLrlPlusFszWithP", longest_vfc_file(), "rfm=vfc fsz=2 lrl=48", {"-n", "-p"},
                 "CC" + std::string(48, 'x'), "", 0},
        CopyCase{"LengthBeyondLrlPlusFsz", longest_vfc_file(), "rfm=vfc fsz=2 lrl=47", {}, "",
                 "length word 50 at offset 0 exceeds rsize 47 plus fsz 2\n", 1},
        CopyCase{"LengthShorterThanFsz", rms::var_file({bytes("ok"), bytes("x")}), "rfm=vfc fsz=2 rat=cr", {},
                 "\n", "length word 1 at offset 4 is shorter than fsz 2\n", 1},
        CopyCase{"FileEndsInsideRecord", with_tail(rms::var_file({bytes("CCab")}), {9, 0, 'C'}), "rfm=vfc fsz=2",
                 {}, "ab", "read: end of file inside the 9-byte record at offset 6\n", 1}),
    copy_case_name);

Bytes raw_var_input() {
    rms::VarFileBuilder file;
    for (const char* record : {"abc", "", "wxyz"}) rms::add_var_record(file, bytes(record));
    rms::end_var_block(file);
    rms::add_var_record(file, bytes("z"));
    return file.bytes;
}

const std::string kRawVarOutput = std::string("\x03\x00" "abc" "\x00\x00" "\x04\x00" "wxyz" "\x01\x00" "z", 16);

class RawRecordsTest : public testing::TestWithParam<CopyCase> {};
TEST_P(RawRecordsTest, CopiesRecords) { expect_copy(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Files, RawRecordsTest,
    testing::Values(
        CopyCase{"VarKeepsLengthWords", raw_var_input(), "rfm=var rat=cr", {"-r", "-v"}, kRawVarOutput,
                 listing("org=seq rfm=var rat=cr lrl=32767") + "4 records copied\n", 0},
        CopyCase{"NoLineEndEvenWithI", raw_var_input(), "rfm=var", {"-r", "-i", "-v2"}, kRawVarOutput,
                 listing("org=seq rfm=var rat=none lrl=32767") + "forced rat=cr\nrsize: 32767\n4 records copied\n",
                 0},
        CopyCase{"VfcKeepsControlArea", rms::var_file({rms::vfc_record(bytes("CC"), bytes("abc"))}),
                 "rfm=vfc fsz=2 rat=prn", {"-r", "-p"}, std::string("\x05\x00" "CCabc", 7), "", 0},
        CopyCase{"VarCutShortKeepsItsLengthWord", with_tail(rms::var_file({bytes("ab")}), {9, 0, 'x'}), "rfm=var",
                 {"-r"}, std::string("\x02\x00" "ab" "\x09\x00", 6),
                 "read: end of file inside the 9-byte record at offset 4\n", 1},
        CopyCase{"FixBackToBack", rms::fix_file(lettered(8, 81), 81), "rfm=fix lrl=81 rat=cr", {"-r", "-v2"},
                 joined(lettered(8, 81), ""),
                 listing("org=seq rfm=fix rat=cr lrl=81") + "reclen: 81\n8 records copied\n", 0},
        CopyCase{"FixSkipsBlockGapsWithBlk", rms::fix_file(lettered(8, 81), 81, true), "rfm=fix lrl=81 rat=blk",
                 {"-r"}, joined(lettered(8, 81), ""), "", 0},
        CopyCase{"FixPartialRecordDropped", with_tail(rms::fix_file(lettered(2, 80), 80), Bytes(30, 'z')),
                 "rfm=fix lrl=80", {"-r"}, joined(lettered(2, 80), ""),
                 "read: end of file inside the 80-byte record at offset 160\n", 1}),
    copy_case_name);

}  // namespace
