// The pieces of the indexed copy on byte buffers: the copy array, key and
// data expansion, and the descriptor lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "captured_console.h"
#include "attributes/run_options.h"
#include "indexed/copy_array.h"
#include "indexed/descriptor_dumps.h"
#include "indexed/expansion.h"
#include "rms_builder.h"

namespace {

using rms::Bytes;
using rms::bytes;
using namespace std::string_view_literals;

// --- Copy array ---

struct CopyArrayCase {
    const char* name;
    std::vector<std::uint16_t> position;
    std::vector<std::uint8_t> size;
    std::vector<CopyEntry> expected;
    std::int32_t minimum;
};

void PrintTo(const CopyArrayCase& c, std::ostream* os) { *os << c.name; }

class CopyArrayTest : public testing::TestWithParam<CopyArrayCase> {};

TEST_P(CopyArrayTest, PlacesKeyAndDataPieces) {
    const CopyArrayCase& c = GetParam();
    KeyDescriptor key{};
    key.segments = static_cast<std::uint8_t>(c.position.size());
    for (std::size_t i = 0; i < c.position.size(); ++i) {
        key.position[i] = c.position[i];
        key.size[i] = c.size[i];
    }
    CopyArray array;
    build_copy_array(key, array, nullptr);
    ASSERT_EQ(array.count, static_cast<int>(c.expected.size()));
    for (int i = 0; i < array.count; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(array.entries[i].src, c.expected[i].src);
        EXPECT_EQ(array.entries[i].len, c.expected[i].len);
        EXPECT_EQ(array.entries[i].pos, c.expected[i].pos);
    }
    EXPECT_EQ(copy_array_minimum_length(array), c.minimum);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, CopyArrayTest,
    testing::Values(
        CopyArrayCase{"TwoSegmentsOutOfOrder", {10, 2}, {4, 3}, {{7, 2, 0}, {4, 3, 2}, {9, 5, 5}, {0, 4, 10}, {14, -1, 14}}, 14},
        CopyArrayCase{"OneSegmentAtZero", {0}, {5}, {{0, 5, 0}, {5, -1, 5}}, 5},
        CopyArrayCase{"NoSegments", {}, {}, {{0, -1, 0}}, 0},
        CopyArrayCase{"AdjacentSegments", {0, 3}, {3, 2}, {{0, 3, 0}, {3, 2, 3}, {5, -1, 5}}, 5},
        CopyArrayCase{"EqualPositionsKeepSegmentOrder", {5, 5}, {2, 3}, {{5, 5, 0}, {0, 2, 5}, {2, 3, 5}, {10, -1, 10}}, 10},
        CopyArrayCase{"EightSegmentsWithGaps",
                      {14, 12, 10, 8, 6, 4, 2, 0},
                      {1, 1, 1, 1, 1, 1, 1, 1},
                      {{7, 1, 0}, {8, 1, 1}, {6, 1, 2}, {9, 1, 3}, {5, 1, 4}, {10, 1, 5}, {4, 1, 6}, {11, 1, 7},
                       {3, 1, 8}, {12, 1, 9}, {2, 1, 10}, {13, 1, 11}, {1, 1, 12}, {14, 1, 13}, {0, 1, 14},
                       {15, -1, 15}},
                      15}),
    [](const testing::TestParamInfo<CopyArrayCase>& info) { return std::string(info.param.name); });

TEST(CopyArray, ListsThreeTimesAtLevel3) {
    KeyDescriptor key{};
    key.segments = 1;
    key.position[0] = 2;
    key.size[0] = 3;
    CapturedConsole captured;
    CopyArray array;
    build_copy_array(key, array, &captured.console());
    EXPECT_EQ(captured.err(),
              "copy array with keys\ncp[0]=(0,3,2)\n"
              "copy array with keys and data\ncp[0]=(3,2,0)\ncp[1]=(0,3,2)\ncp[2]=(5,-1,5)\n"
              "collapsed copy array (nyi)\ncp[0]=(3,2,0)\ncp[1]=(0,3,2)\ncp[2]=(5,-1,5)\n");
}

// --- Expansion ---

struct ExpansionCase {
    const char* name;
    std::size_t keysz;
    bool key_compressed;
    bool data_compressed;
    std::string previous_key;  // empty: no key expanded yet
    Bytes body;
    std::size_t rl;  // 0: the whole body
    std::string record;  // the stored record, or empty when refused
    std::string err;
};

void PrintTo(const ExpansionCase& c, std::ostream* os) { *os << c.name; }

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

class ExpansionTest : public testing::TestWithParam<ExpansionCase> {};

// The expansion state a case starts from: its key's compression and the
// previous key, if any.
Expansion expansion_for(const ExpansionCase& c) {
    Expansion expansion;
    expansion.key_compressed = c.key_compressed;
    expansion.data_compressed = c.data_compressed;
    expansion.keysz = c.keysz;
    if (!c.previous_key.empty()) {
        expansion.key = bytes(c.previous_key);
        expansion.have_key = true;
    }
    return expansion;
}

TEST_P(ExpansionTest, ExpandsOrRefuses) {
    const ExpansionCase& c = GetParam();
    Expansion expansion = expansion_for(c);
    std::size_t length = 0;
    std::string fault;
    const std::size_t rl = c.rl != 0 ? c.rl : c.body.size();
    const bool expanded = expand_record(expansion, c.body.data(), rl, c.body.size(), {7, 30}, nullptr, fault, &length);
    EXPECT_EQ(fault.empty() ? fault : fault + "\n", c.err);
    if (c.record.empty()) {
        EXPECT_FALSE(expanded);
        return;
    }
    ASSERT_TRUE(expanded);
    EXPECT_EQ(std::string(expansion.record.begin(), expansion.record.begin() + static_cast<long>(length)), c.record);
}

// Straight into a room of every size: a room too small for the record is
// found out before any byte is promised, the key buffer is left so that the
// same body expands the same way again, and a room large enough gets
// exactly the record expand_record builds, or the same refusal. Nothing is
// written past the room.
TEST_P(ExpansionTest, ExpandsIntoARoomOfAnySize) {
    const ExpansionCase& c = GetParam();
    const std::size_t rl = c.rl != 0 ? c.rl : c.body.size();
    for (std::size_t room = 0; room <= c.record.size() + 40; ++room) {
        SCOPED_TRACE(room);
        Expansion expansion = expansion_for(c);
        constexpr unsigned char kGuard = 0xEE;
        Bytes out(room + 16, kGuard);
        std::size_t length = 0;
        std::string fault;
        ExpansionResult result =
            expand_record_into(expansion, c.body.data(), rl, c.body.size(), {7, 30}, fault, out.data(), room, &length);
        EXPECT_TRUE(std::all_of(out.begin() + static_cast<long>(room), out.end(),
                                [](unsigned char b) { return b == kGuard; }));
        if (result == ExpansionResult::kNoRoom) {
            EXPECT_TRUE(c.record.empty() || room < c.record.size());
            Bytes again(c.record.size() + 16);
            result = expand_record_into(expansion, c.body.data(), rl, c.body.size(), {7, 30}, fault, again.data(),
                                        again.size(), &length);
            out = again;
        }
        if (c.record.empty()) {
            EXPECT_EQ(result, ExpansionResult::kRefused);
            EXPECT_EQ(fault + "\n", c.err);
            continue;
        }
        ASSERT_EQ(result, ExpansionResult::kExpanded);
        EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<long>(length)), c.record);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ExpansionTest,
    testing::Values(
        ExpansionCase{"SharedFrontAndTrailingRepeat", 8, true, false, "ABCDEFGH", bytes("\x03\x02XYZ"sv), 0, "ABXYZZZZ", ""},
        ExpansionCase{"WholeKeyStored", 4, true, false, "", bytes("\x04\0WXYZdata"sv), 0, "WXYZdata", ""},
        ExpansionCase{"NothingStoredRepeatsThePreviousByte", 6, true, false, "ABCDEF", bytes("\0\x03"sv), 0, "ABCCCC", ""},
        ExpansionCase{"DataRunsAfterAPlainKey", 2, false, true, "",
                      cat({bytes("KY"), {3, 0}, bytes("abc"), {2}, {0, 0}, {2}}), 0, "KYabccccc", ""},
        ExpansionCase{"BothForms", 3, true, true, "",
                      cat({bytes("\x02\0KY"sv), {1, 0}, bytes("x"), {3}}), 0, "KYYxxxx", ""},
        ExpansionCase{"KeyFormLongerThanTheBody", 4, true, true, "", bytes("\x04\0" "ABCD"sv), 3, "ABCD", ""},
        ExpansionCase{"LenAndCntBeyondKeysz", 4, true, false, "ABCD", bytes("\x03\x02XYZ"sv), 0, "",
                      "compressed key at VBN 7, offset 30: len 3 and cnt 2 exceed keysz 4\n"},
        ExpansionCase{"FirstKeyWithCnt", 4, true, false, "", bytes("\x01\x02X"sv), 0, "",
                      "compressed key at VBN 7, offset 30: cnt 2 refers to a key before the first\n"},
        ExpansionCase{"NoByteToRepeat", 4, true, false, "ABCD", bytes("\0\0"sv), 0, "",
                      "compressed key at VBN 7, offset 30: no key byte to repeat\n"},
        ExpansionCase{"KeyFormPastFreespace", 8, true, false, "", bytes("\x05\0XY"sv), 0, "",
                      "compressed key at VBN 7, offset 30: its form of 7 bytes reaches past freespace\n"},
        ExpansionCase{"SegmentPastTheBody", 1, false, true, "", cat({bytes("K"), {9, 0}, bytes("ab"), {0}}), 0, "",
                      "compressed data at VBN 7, offset 30: the segment at body byte 0 reaches past the body\n"},
        ExpansionCase{"SegmentCountPastTheBody", 1, false, true, "", cat({bytes("K"), {1, 0}, bytes("a"), {0}, {0}}),
                      0, "",
                      "compressed data at VBN 7, offset 30: the segment at body byte 4 reaches past the body\n"},
        ExpansionCase{"RepeatBeforeAnyByte", 0, false, true, "", Bytes{0, 0, 4}, 0, "",
                      "compressed data at VBN 7, offset 30: the segment at body byte 0 has no byte to repeat\n"},
        ExpansionCase{"PlainDataShorterThanTheKeyForm", 4, true, false, "", bytes("\x04\0" "ABCD"sv), 3, "",
                      "key at VBN 7, offset 30, takes 6 bytes of a 3-byte body\n"}),
    [](const testing::TestParamInfo<ExpansionCase>& info) { return std::string(info.param.name); });

// The key buffer carries the last key from record to record.
TEST(Expansion, NextKeySharesThePreviousKeysFront) {
    Expansion expansion;
    expansion.key_compressed = true;
    expansion.keysz = 5;
    std::size_t length = 0;
    std::string fault;
    const Bytes first = bytes("\x05\0" "ABCDE1"sv);
    const Bytes second = bytes("\x01\x03Z2"sv);
    ASSERT_TRUE(expand_record(expansion, first.data(), first.size(), first.size(), {1, 14}, nullptr, fault, &length));
    ASSERT_TRUE(
        expand_record(expansion, second.data(), second.size(), second.size(), {1, 31}, nullptr, fault, &length));
    EXPECT_EQ(std::string(expansion.record.begin(), expansion.record.begin() + static_cast<long>(length)), "ABCZZ2");
}

// --- Descriptor lines ---

TEST(KeyFlagNames, NamesSetBitsInOrder) {
    EXPECT_EQ(key_flag_names(0x41), "dupkeys,key_compr");
    EXPECT_EQ(key_flag_names(0), "");
    EXPECT_EQ(key_flag_names(0x20), "");
    EXPECT_EQ(key_flag_names(0xff), "dupkeys,chgkeys,nulkeys,idx_compr,initidx,key_compr,rec_compr");
}

TEST(KeyDatatypeName, NamesBothDirections) {
    EXPECT_STREQ(key_datatype_name(0), "string");
    EXPECT_STREQ(key_datatype_name(8), "collated");
    EXPECT_STREQ(key_datatype_name(33), "dsgnword");
    EXPECT_STREQ(key_datatype_name(40), "dcollated");
    EXPECT_EQ(key_datatype_name(9), nullptr);
    EXPECT_EQ(key_datatype_name(31), nullptr);
    EXPECT_EQ(key_datatype_name(41), nullptr);
}

// A descriptor with a distinct value in every field.
Bytes key_descriptor_bytes() {
    Bytes d(96, 0);
    const Bytes fields = {0x02, 0x01, 0x00, 0x00, 0x66, 0x00, 3, 4, 5, 6, 7, 8, 0x39, 0x30, 0, 0,
                          0x21, 33, 9, 10, 11, 12, 13, 0, 14, 0, 15, 0};
    std::copy(fields.begin(), fields.end(), d.begin());
    for (int i = 0; i < 8; ++i) {
        d[28 + 2 * i] = static_cast<unsigned char>(100 + i);
        d[44 + i] = static_cast<unsigned char>(20 + i);
        d[88 + i] = static_cast<unsigned char>(i == 1 ? 99 : i);
    }
    const std::string name = "NAME WITH BLANK";
    std::copy(name.begin(), name.end(), d.begin() + 52);
    d[84] = 0xff;
    d[85] = 0xff;
    d[86] = 0xff;
    d[87] = 0xff;
    return d;
}

struct KeyLineCase {
    const char* name;
    void (*change)(Bytes&);
    std::string line;
};

void PrintTo(const KeyLineCase& c, std::ostream* os) { *os << c.name; }

const std::string kKeyLineHead =
    "key #3: idxfl=258,noff=0x66,ianum=3,lanum=4,danum=5,rootlev=6,idxbktsz=7,datbktsz=8,rootvbn=12345,"
    "flags=(dupkeys),datatype=dsgnword,segments=";

class KeyLineTest : public testing::TestWithParam<KeyLineCase> {};

TEST_P(KeyLineTest, ShowsEveryField) {
    Bytes d = key_descriptor_bytes();
    GetParam().change(d);
    CapturedConsole captured;
    print_key_line(d.data(), 3, captured.console());
    EXPECT_EQ(captured.err(), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, KeyLineTest,
    testing::Values(
        KeyLineCase{"ThreeSegments", [](Bytes& d) { d[18] = 3; },
                    kKeyLineHead + "3,nullchar=10,keysz=11,keyref=12,minrecsz=13,idxfill=14,datfill=15,"
                                   "position=(100,101,102),size=(20,21,22),keynam='NAME',ldvbn=-1,"
                                   "type=(string,99,unsgnword)\n"},
        KeyLineCase{"NoSegmentShowsTheFirst", [](Bytes& d) { d[18] = 0; },
                    kKeyLineHead + "0,nullchar=10,keysz=11,keyref=12,minrecsz=13,idxfill=14,datfill=15,"
                                   "position=(100),size=(20),keynam='NAME',ldvbn=-1,type=(string)\n"},
        KeyLineCase{"MoreThanEightShowsEight", [](Bytes& d) { d[18] = 200; },
                    kKeyLineHead + "200,nullchar=10,keysz=11,keyref=12,minrecsz=13,idxfill=14,datfill=15,"
                                   "position=(100,101,102,103,104,105,106,107),size=(20,21,22,23,24,25,26,27),"
                                   "keynam='NAME',ldvbn=-1,type=(string,99,unsgnword,sgnlong,unsgnlong,packed,"
                                   "sgnquad,unsgnquad)\n"},
        KeyLineCase{"CountedName",
                    [](Bytes& d) {
                        d[18] = 1;
                        d[52] = 4;
                    },
                    kKeyLineHead + "1,nullchar=10,keysz=11,keyref=12,minrecsz=13,idxfill=14,datfill=15,"
                                   "position=(100),size=(20),keynam='AME ',ldvbn=-1,type=(string)\n"},
        KeyLineCase{"NameWithoutBlankFillsTheField",
                    [](Bytes& d) {
                        d[18] = 1;
                        std::fill(d.begin() + 52, d.begin() + 84, 'N');
                    },
                    kKeyLineHead + "1,nullchar=10,keysz=11,keyref=12,minrecsz=13,idxfill=14,datfill=15,"
                                   "position=(100),size=(20),keynam='" + std::string(32, 'N') +
                                   "',ldvbn=-1,type=(string)\n"}),
    [](const testing::TestParamInfo<KeyLineCase>& info) { return std::string(info.param.name); });

TEST(AreaLine, ShowsEveryField) {
    Bytes d(64, 0);
    for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<unsigned char>(i + 1);
    CapturedConsole captured;
    print_area_line(d.data(), 9, captured.console());
    EXPECT_EQ(captured.err(),
              "area #9: flags=0x02,areaid=3,arbktsz=4,volume=1541,aln=0x07,aop=0x08,avail=202050057,"
              "cvbn=269422093,cnblk=336794129,used=404166165,nxtvbn=471538201,nxt=538910237,nxblk=606282273,"
              "deq=9765,loc=741026345,rfi=0x3231302f2e2d,total_alloc=909456435,check=0x403f\n");
}

}  // namespace
