// Indexed files, built from the user records they hold: the copy must give
// back exactly those records, in ring order.
#include <gtest/gtest.h>

#include <random>

#include "copy_case.h"
#include "rms_builder.h"

namespace {

using rms::Bytes;
using rms::bytes;
using rms::patched;
using rms::IndexedEntry;
using rms::IndexedFileLayout;
using namespace std::string_view_literals;

// Key 0 of two segments out of position order: "id" at 4..7, "part" at 0..1.
rms::IndexedKeyLayout two_segment_key(std::uint8_t flags = 0) {
    rms::IndexedKeyLayout key;
    key.position = {4, 0};
    key.size = {4, 2};
    key.flags = flags;
    key.name = "PART_ID";
    return key;
}

IndexedFileLayout parts(std::uint8_t flags = 0) {
    IndexedFileLayout spec;
    spec.key = two_segment_key(flags);
    spec.buckets = {{rms::live(bytes("P1--0001 bolt")), rms::deleted(bytes("P1--0002 gone")), rms::rrv_entry(),
                     rms::live(bytes("P1--0003 nut"))},
                    {},
                    {rms::live(bytes("P2--0004 washer      spring")), rms::live(bytes("P2--0005"))}};
    return spec;
}

std::string lines(const std::vector<const char*>& records) {
    std::string out;
    for (const char* record : records) out += std::string(record) + "\n";
    return out;
}

const std::string kPartsOut = lines({"P1--0001 bolt", "P1--0003 nut", "P2--0004 washer      spring", "P2--0005"});

IndexedFileLayout with(IndexedFileLayout spec, void (*change)(IndexedFileLayout&)) {
    change(spec);
    return spec;
}


// Key 0 of one segment in front: stored records are user records, and
// compressed ones expand straight into the output.
rms::IndexedKeyLayout front_key(std::uint8_t flags = 0) {
    rms::IndexedKeyLayout key;
    key.position = {0};
    key.size = {8};
    key.flags = flags;
    return key;
}

// Records of 24 bytes of prolog 3 or of prolog 2 (key 0 of four bytes in
// front) over two buckets, with a deleted record and rrv entries between.
IndexedFileLayout fixed_parts(std::uint16_t ver_no, std::uint8_t flags = 0) {
    IndexedFileLayout spec;
    spec.ver_no = ver_no;
    spec.key = ver_no == 3 ? two_segment_key(flags) : front_key();
    spec.key.size.back() = ver_no == 3 ? spec.key.size.back() : 4;
    spec.fixed_entries = flags == 0;
    spec.buckets = {{rms::live(bytes("P1--0001 bolt    (steel)")), rms::deleted(bytes("P1--0002 gone    (brass)")),
                     rms::rrv_entry(), rms::rrv_entry(false), rms::live(bytes("P1--0003 nut            "))},
                    {rms::live(bytes("P2--0004 washer   spring"))}};
    return spec;
}

const std::string kFixedPartsOut =
    lines({"P1--0001 bolt    (steel)", "P1--0003 nut            ", "P2--0004 washer   spring"});

std::size_t bucket_at(const IndexedFileLayout& spec, std::size_t i) {
    return (rms::indexed_bucket_vbn(spec, i) - 1) * rms::kBlockSize;
}

const std::string kAttributes = "org=idx rfm=var rat=cr";
const std::string kListing = kVersionLine + "org=idx rfm=var rat=cr lrl=32767\n";

class IndexedTest : public testing::TestWithParam<CopyCase> {};
TEST_P(IndexedTest, CopiesLiveRecords) { expect_copy(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Files, IndexedTest,
    testing::Values(
        CopyCase{"LiveRecordsInUserOrder", rms::indexed_file(parts()), kAttributes, {"-v"}, kPartsOut,
                 kListing + "4 records copied\n", 0},
        CopyCase{"KeyCompressed", rms::indexed_file(parts(rms::kKeyCompression)), kAttributes, {}, kPartsOut, "", 0},
        CopyCase{"DataCompressed", rms::indexed_file(parts(rms::kDataCompression)), kAttributes, {}, kPartsOut, "",
                 0},
        CopyCase{"BothCompressed", rms::indexed_file(parts(rms::kKeyCompression | rms::kDataCompression)),
                 kAttributes, {}, kPartsOut, "", 0},
        CopyCase{"RingOutOfBlockOrder",
                 rms::indexed_file(with(parts(), [](IndexedFileLayout& s) { s.slots = {2, 0, 1}; })), kAttributes, {},
                 kPartsOut, "", 0},
        CopyCase{"NoLineEndsWithoutCr", rms::indexed_file(parts()), "org=idx rfm=var", {},
                 "P1--0001 boltP1--0003 nutP2--0004 washer      springP2--0005", "", 0},
        CopyCase{"ForcedNone", rms::indexed_file(parts()), kAttributes, {"-n"},
                 "P1--0001 boltP1--0003 nutP2--0004 washer      springP2--0005", "", 0},
        CopyCase{"LengthPrefixIsTheExpandedLength",
                 rms::indexed_file(with(parts(rms::kDataCompression),
                                        [](IndexedFileLayout& s) {
                                            s.datbktsz = 2;
                                            s.buckets = {{rms::live(bytes("K1--0001" + std::string(292, 'z')))}};
                                        })),
                 kAttributes, {"-l"}, "\x2c\x01K1--0001" + std::string(292, 'z') + "\n", "", 0},
        CopyCase{"LengthPrefixCannotCountTheRecord",
                 rms::indexed_file(with(parts(rms::kDataCompression),
                                        [](IndexedFileLayout& s) {
                                            s.datbktsz = 4;
                                            s.buckets = {{rms::live(bytes("K1--0001short")),
                                                          rms::live(bytes("K1--0002" + std::string(70000, 'z')))}};
                                        })),
                 kAttributes, {"-l"}, std::string("\x0d\x00", 2) + "K1--0001short\n",
                 "record at VBN 3, offset 41: its 70008 bytes are more than the two-byte prefix of -l can count\n", 1},
        CopyCase{"KeyInFrontExpandedWithLengthPrefix",
                 rms::indexed_file(with(parts(), [](IndexedFileLayout& s) {
                     s.key = front_key(rms::kKeyCompression | rms::kDataCompression);
                 })),
                 kAttributes, {"-l"},
                 std::string("\x0d\x00P1--0001 bolt\n\x0c\x00P1--0003 nut\n\x1b\x00P2--0004 washer      spring\n"
                             "\x08\x00P2--0005\n"sv),
                 "", 0},
        CopyCase{"FixedLength", rms::indexed_file(fixed_parts(3)), "org=idx rfm=fix rat=cr lrl=24", {"-v"},
                 kFixedPartsOut, kVersionLine + "org=idx rfm=fix rat=cr lrl=24\n3 records copied\n", 0},
        CopyCase{"Prolog2", rms::indexed_file(fixed_parts(2)), "org=idx rfm=fix rat=cr lrl=24", {}, kFixedPartsOut,
                 "", 0},
        CopyCase{"VfcNotHandled", rms::indexed_file(parts()), "org=idx rfm=vfc fsz=2", {}, "",
                 " - not yet implemented\n", 1},
        CopyCase{"PrologVersion4", patched(rms::indexed_file(parts()), rms::kIndexedPrologVersion, {4, 0}),
                 kAttributes, {"-v2"}, "",
                 kListing + "prolog: dbktsiz=1,flags=0,avbn=2,amax=1,dvbn=3,mrn=0,eof=6,ver_no=4,gbc=0,colvbn=0\n"
                            "prolog version 4 not supported\n",
                 1},
        CopyCase{"PrologVersion0", patched(rms::indexed_file(parts()), rms::kIndexedPrologVersion, {0, 0}),
                 kAttributes, {}, "", "prolog version 0 not supported\n", 1},
        // The flag says there is nothing to copy; records the ring holds
        // all the same are counted and named.
        CopyCase{"IndexNeverInitialised", patched(rms::indexed_file(parts()), rms::kKeyFlags, {0x10}), kAttributes,
                 {"-v"}, "",
                 kListing + "-w-idxinit, key 0 is flagged as never initialised, yet its data buckets from VBN 3 hold "
                            "4 records: not copied\n0 records copied\n",
                 0},
        CopyCase{"EmptyFileWithoutIndex", rms::indexed_file(with(parts(), [](IndexedFileLayout& s) { s.buckets = {}; })),
                 kAttributes, {"-v"}, "", kListing + "0 records copied\n", 0},
        CopyCase{"ShortVbn1", Bytes(300, 0), kAttributes, {}, "", "VBN 1: the file ends after 300 of its 512 bytes\n",
                 1}),
    copy_case_name);

// Damage: each is refused with a message naming where, after the records
// before it went out.
INSTANTIATE_TEST_SUITE_P(
    Damage, IndexedTest,
    testing::Values(
        CopyCase{"NxtbktZero", patched(rms::indexed_file(parts()), bucket_at(parts(), 2) + rms::kBucketNxtbkt, {0}),
                 kAttributes, {}, kPartsOut, "bucket VBN 5: nxtbkt 0 names no bucket\n", 1},
        CopyCase{"NxtbktBeyondTheFile",
                 patched(rms::indexed_file(parts()), bucket_at(parts(), 1) + rms::kBucketNxtbkt, {99}), kAttributes, {},
                 lines({"P1--0001 bolt", "P1--0003 nut"}), "bucket VBN 99 lies beyond the end of the file\n", 1},
        CopyCase{"RingLoopsBesideTheFirst",
                 patched(rms::indexed_file(parts()), bucket_at(parts(), 2) + rms::kBucketNxtbkt, {4}), kAttributes, {},
                 kPartsOut, "bucket VBN 4 is reached a second time: the ring does not lead back to ldvbn 3\n", 1},
        CopyCase{"FreespaceBeyondTheBucket",
                 patched(rms::indexed_file(parts()), bucket_at(parts(), 0) + rms::kBucketFreespace, {0x01, 0x02}),
                 kAttributes, {}, "", "bucket VBN 3: freespace 0x0201 lies beyond the 512-byte bucket\n", 1},
        CopyCase{"FreespaceBelowTheHeader",
                 patched(rms::indexed_file(parts()), bucket_at(parts(), 0) + rms::kBucketFreespace, {3, 0}),
                 kAttributes, {}, lines({"P2--0004 washer      spring", "P2--0005"}), "", 0},
        CopyCase{"EntryPastFreespace",
                 patched(rms::indexed_file(parts()), bucket_at(parts(), 0) + rms::kBucketFirstEntry + 9, {200, 0}),
                 kAttributes, {}, "", "entry at VBN 3, offset 14: rl 200 reaches past freespace 0x005e\n", 1},
        CopyCase{"RecordShorterThanItsKey",
                 patched(rms::indexed_file(parts()), bucket_at(parts(), 0) + rms::kBucketFirstEntry + 9, {5, 0}),
                 kAttributes, {}, "", "record at VBN 3, offset 14: 5 bytes are fewer than the 8 its key needs\n", 1},
        CopyCase{"NineSegments", patched(rms::indexed_file(parts()), rms::kKeySegments, {9}), kAttributes, {}, "",
                 "key 0: 9 segments, more than the 8 a key can have\n", 1},
        CopyCase{"DataBucketSizeZero", patched(rms::indexed_file(parts()), rms::kKeyDatbktsz, {0}), kAttributes, {},
                 "", "key 0: data bucket size 0\n", 1},
        CopyCase{"LdvbnZero", patched(rms::indexed_file(parts()), rms::kKeyLdvbn, {0}), kAttributes, {}, "",
                 "key 0: ldvbn 0 names no data bucket\n", 1},
        CopyCase{"FirstKeyRefersBack",
                 patched(rms::indexed_file(parts(rms::kKeyCompression)), bucket_at(parts(), 0) + rms::kBucketFirstEntry + 11,
                         {5, 1}),
                 kAttributes, {}, "",
                 "compressed key at VBN 3, offset 14: cnt 1 refers to a key before the first\n", 1},
        CopyCase{"FixedRecordOfAnotherLength",
                 rms::indexed_file(with(fixed_parts(3, rms::kDataCompression),
                                        [](IndexedFileLayout& s) {
                                            s.buckets[1] = {rms::live(bytes("P2--0004 washer  spring"))};
                                        })),
                 "org=idx rfm=fix rat=cr lrl=24", {}, lines({"P1--0001 bolt    (steel)", "P1--0003 nut            "}),
                 "record at VBN 4, offset 14: 23 bytes where lrl is 24\n", 1},
        CopyCase{"ShortHeadPastFreespace",
                 patched(rms::indexed_file(fixed_parts(2)), bucket_at(fixed_parts(2), 1) + rms::kBucketFreespace,
                         {14 + 4, 0}),
                 "org=idx rfm=fix rat=cr lrl=24", {}, lines({"P1--0001 bolt    (steel)", "P1--0003 nut            "}),
                 "entry at VBN 4, offset 14, reaches past freespace 0x0012\n", 1},
        CopyCase{"ShortEntryBodyPastFreespace",
                 patched(rms::indexed_file(fixed_parts(2)), bucket_at(fixed_parts(2), 1) + rms::kBucketFreespace,
                         {14 + 7 + 20, 0}),
                 "org=idx rfm=fix rat=cr lrl=24", {}, lines({"P1--0001 bolt    (steel)", "P1--0003 nut            "}),
                 "entry at VBN 4, offset 14: rl 24 reaches past freespace 0x0029\n", 1},
        CopyCase{"DataSegmentPastTheBody",
                 patched(rms::indexed_file(parts(rms::kDataCompression)),
                         bucket_at(parts(), 0) + rms::kBucketFirstEntry + 11 + 6, {40, 0}),
                 kAttributes, {}, "",
                 "compressed data at VBN 3, offset 14: the segment at body byte 0 reaches past the body\n", 1}),
    copy_case_name);

// Many records over many buckets, with runs and shared key prefixes that
// every compression form meets: each flag combination gives them all back.
TEST(Indexed, CompressionRoundTrip) {
    std::mt19937 random(7);
    std::vector<Bytes> records;
    for (int i = 0; i < 400; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "%04d", i / 3);
        Bytes record = bytes(std::string("R") + key + (i % 3 == 0 ? "AAAA" : "AB") + "--");
        const std::size_t length = 12 + random() % 300;
        while (record.size() < length) {
            record.insert(record.end(), 1 + random() % 40, static_cast<unsigned char>('a' + random() % 3));
        }
        records.push_back(record);
    }
    // A run longer than one count byte holds.
    records.push_back(bytes("R9999AB--" + std::string(700, 'q') + "end"));
    for (std::uint8_t flags : {0, 0x40, 0x80, 0xc0}) {
        SCOPED_TRACE(int(flags));
        IndexedFileLayout spec;
        spec.key.position = {9, 1};
        spec.key.size = {2, 8};
        spec.key.flags = flags;
        spec.datbktsz = 3;
        std::string expected;
        std::size_t used = 1536;
        for (const Bytes& record : records) {
            if (used + record.size() + 40 > 1536) {
                spec.buckets.emplace_back();
                used = 14;
            }
            spec.buckets.back().push_back(rms::live(record));
            used += record.size() + 11;
            expected += rms::text(record);
        }
        ToolResult r = run_on_file(rms::indexed_file(spec), "org=idx rfm=var", {"-v"});
        EXPECT_TRUE(r.out == expected);
        EXPECT_EQ(r.err, kVersionLine + "org=idx rfm=var rat=none lrl=32767\n401 records copied\n");
        EXPECT_EQ(r.status, 0);
    }
}

// Records over many buckets in every form a file stores them: prolog 3
// plain (fixed-length ones without rl), key or data compressed, with the
// key in front or not; prologs 1 and 2 whole, behind heads with rrv
// pointers of every size or none. Each gives them all back, with -l
// preceded by their lengths.
TEST(Indexed, EveryFormRoundTrip) {
    struct Form {
        const char* name;
        std::uint16_t ver_no;
        std::uint8_t flags;
        bool in_front;
        bool fixed;
        std::uint8_t pointer_code;
    };
    const Form forms[] = {
        {"FixedPlain", 3, 0, false, true, 2},
        {"FixedPlainInFront", 3, 0, true, true, 2},
        {"FixedKeyCompressed", 3, rms::kKeyCompression, false, true, 2},
        {"FixedDataCompressedInFront", 3, rms::kDataCompression, true, true, 2},
        {"FixedBothCompressed", 3, rms::kKeyCompression | rms::kDataCompression, false, true, 2},
        {"FixedBothCompressedInFront", 3, rms::kKeyCompression | rms::kDataCompression, true, true, 2},
        {"VarBothCompressedInFront", 3, rms::kKeyCompression | rms::kDataCompression, true, false, 2},
        {"Prolog2FixedShortPointers", 2, 0, true, true, 0},
        {"Prolog2FixedLongPointers", 2, 0, true, true, 3},
        {"Prolog2Var", 2, 0, true, false, 1},
        {"Prolog1Fixed", 1, 0, true, true, 2},
    };
    constexpr std::size_t kLength = 40;
    std::mt19937 random(13);
    for (const Form& form : forms) {
        for (const bool prefix : {false, true}) {
            SCOPED_TRACE(std::string(form.name) + (prefix ? " -l" : ""));
            IndexedFileLayout spec;
            spec.ver_no = form.ver_no;
            spec.key.position = form.in_front ? std::vector<std::uint16_t>{0} : std::vector<std::uint16_t>{10, 1};
            spec.key.size = form.in_front ? std::vector<std::uint8_t>{5} : std::vector<std::uint8_t>{4, 3};
            spec.key.flags = form.flags;
            spec.fixed_entries = form.fixed && form.flags == 0;
            spec.pointer_code = form.pointer_code;
            spec.datbktsz = 2;
            std::string expected;
            std::size_t used = spec.datbktsz * rms::kBlockSize;
            Bytes key;
            for (int i = 0; i < 300; ++i) {
                char number[16];
                std::snprintf(number, sizeof number, "R%04d", i / 2);
                Bytes record = bytes(number);
                const std::size_t length = form.fixed ? kLength : 5 + random() % 60;
                while (record.size() < length) {
                    record.insert(record.end(), 1 + random() % 9, static_cast<unsigned char>('a' + random() % 3));
                }
                record.resize(length);
                std::vector<IndexedEntry> entries = {i % 7 == 3 ? rms::deleted(record) : rms::live(record)};
                if (i % 11 == 0) {
                    entries.push_back(rms::rrv_entry(i % 22 == 0));
                }
                for (const IndexedEntry& entry : entries) {
                    const std::size_t size = rms::indexed_entry_size(spec, entry, key);
                    if (used + size > spec.datbktsz * rms::kBlockSize) {
                        spec.buckets.emplace_back();
                        used = rms::kBucketFirstEntry;
                    }
                    used += size;
                    spec.buckets.back().push_back(entry);
                }
                if (entries.front().kind == rms::EntryKind::kLive) {
                    expected += prefix ? std::string{static_cast<char>(length), 0} : "";
                    expected += rms::text(record);
                }
            }
            const std::string attributes = form.fixed ? "org=idx rfm=fix lrl=40" : "org=idx rfm=var";
            ToolResult r = run_on_file(rms::indexed_file(spec), attributes, prefix ? std::vector<std::string>{"-l"}
                                                                                   : std::vector<std::string>{});
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(r.status, 0);
            EXPECT_TRUE(r.out == expected);
        }
    }
}

TEST(Indexed, DumpsAtLevel2And3) {
    IndexedFileLayout spec;
    spec.key.position = {0};
    spec.key.size = {3};
    spec.key.flags = rms::kKeyCompression | rms::kDataCompression;
    spec.key.name = "CODE";
    spec.key.type = {33};
    spec.key.rootvbn = 9;
    rms::IndexedKeyLayout alternate;
    alternate.position = {3, 8};
    alternate.size = {2, 1};
    alternate.flags = 0x21;
    alternate.datatype = 8;
    alternate.type = {8, 50};
    alternate.name = "ALT";
    alternate.counted_name = true;
    spec.extra_keys = {alternate};
    spec.buckets = {{rms::live(bytes("ABCxxxxy")), rms::deleted(bytes("ABD")), rms::rrv_entry(),
                     rms::live(bytes("ABZ"))}};
    ToolResult r = run_on_file(rms::indexed_file(spec), kAttributes, {"-v3"});
    EXPECT_EQ(r.out, "ABCxxxxy\nABZ\n");
    EXPECT_EQ(r.err,
              kListing +
                  "prolog: dbktsiz=1,flags=192,avbn=3,amax=1,dvbn=4,mrn=0,eof=5,ver_no=3,gbc=0,colvbn=0\n"
                  "key #0: idxfl=2,noff=0x0,ianum=1,lanum=1,danum=0,rootlev=1,idxbktsz=1,datbktsz=1,rootvbn=9,"
                  "flags=(key_compr,rec_compr),datatype=string,segments=1,nullchar=0,keysz=3,keyref=0,minrecsz=3,"
                  "idxfill=512,datfill=512,position=(0),size=(3),keynam='CODE',ldvbn=4,type=(dsgnword)\n"
                  "key #1: idxfl=0,noff=0x0,ianum=1,lanum=1,danum=0,rootlev=1,idxbktsz=1,datbktsz=1,rootvbn=0,"
                  "flags=(dupkeys),datatype=collated,segments=2,nullchar=0,keysz=3,keyref=1,minrecsz=3,"
                  "idxfill=512,datfill=512,position=(3,8),size=(2,1),keynam='ALT',ldvbn=0,type=(collated,50)\n"
                  "area #0: flags=0x01,areaid=0,arbktsz=1,volume=0,aln=0x02,aop=0x20,avail=11,cvbn=12,cnblk=13,"
                  "used=14,nxtvbn=15,nxt=16,nxblk=17,deq=18,loc=19,rfi=0x011102220333,total_alloc=20,check=0xabcd\n"
                  "copy array with keys\ncp[0]=(0,3,0)\n"
                  "copy array with keys and data\ncp[0]=(0,3,0)\ncp[1]=(3,-1,3)\n"
                  "collapsed copy array (nyi)\ncp[0]=(0,3,0)\ncp[1]=(3,-1,3)\n"
                  "vbn #4: checkchar=0x04,indexno=0,adrsample=0x0004,freespace=0x004b,nxtrecid=5,nxtbkt=4,level=0,"
                  "bktcb=(lastbkt=1,rootbkt=0,ptr_sz=0)\n"
                  "dr ctrl=(ptr_sz=2,del=0,rrv=0),rid=1,rrv=0x000000040001,rl=13\n"
                  "compk, len=3, cnt=0\n"
                  "compd, rl=8, len=1, cnt=3, len=1, cnt=0, ulen=8\n"
                  "dr ctrl=(ptr_sz=2,del=1,rrv=0),rid=2,rrv=0x000000040002,rl=3\n"
                  "dr ctrl=(ptr_sz=2,del=0,rrv=1),rid=3,rrv=0x000000040003,rl=1026\n"
                  "dr ctrl=(ptr_sz=2,del=0,rrv=0),rid=4,rrv=0x000000040004,rl=3\n"
                  "compk, len=1, cnt=2\n"
                  "compd, rl=0, ulen=3\n"
                  "2 records copied\n");
    EXPECT_EQ(r.status, 0);
}

std::size_t count_of(const std::string& text, const std::string& piece) {
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
    return count;
}

// Entries without an rl field show rl=-; those of prologs 1 and 2 show
// their rrv pointer as (id,vbn), or - when they have none. These versions
// have no copy array to list at -v3.
TEST(Indexed, DumpsOfEntriesWithoutLengthField) {
    const std::string prolog2 =
        "vbn #3: checkchar=0x03,indexno=0,adrsample=0x0003,freespace=0x0074,nxtrecid=6,nxtbkt=4,level=0,"
        "bktcb=(lastbkt=0,rootbkt=0,ptr_sz=0)\n"
        "dr ctrl=(ptr_sz=2,del=0,rrv=0,noptr=0),rid=1,rrv=(id=1,vbn=3),rl=-\n"
        "dr ctrl=(ptr_sz=2,del=1,rrv=0,noptr=0),rid=2,rrv=(id=2,vbn=3),rl=-\n"
        "dr ctrl=(ptr_sz=2,del=0,rrv=1,noptr=0),rid=3,rrv=(id=3,vbn=3),rl=-\n"
        "dr ctrl=(ptr_sz=0,del=1,rrv=1,noptr=1),rid=4,rrv=-,rl=-\n"
        "dr ctrl=(ptr_sz=2,del=0,rrv=0,noptr=0),rid=5,rrv=(id=5,vbn=3),rl=-\n"
        "vbn #4: checkchar=0x04,indexno=0,adrsample=0x0004,freespace=0x002d,nxtrecid=2,nxtbkt=3,level=0,"
        "bktcb=(lastbkt=1,rootbkt=0,ptr_sz=0)\n"
        "dr ctrl=(ptr_sz=2,del=0,rrv=0,noptr=0),rid=1,rrv=(id=1,vbn=4),rl=-\n"
        "3 records copied\n";
    ToolResult r = run_on_file(rms::indexed_file(fixed_parts(2)), "org=idx rfm=fix rat=cr lrl=24", {"-v3"});
    EXPECT_EQ(r.out, kFixedPartsOut);
    ASSERT_GE(r.err.size(), prolog2.size());
    EXPECT_EQ(r.err.substr(r.err.size() - prolog2.size()), prolog2);
    EXPECT_EQ(r.err.find("copy array"), std::string::npos);

    IndexedFileLayout variable = fixed_parts(2);
    variable.fixed_entries = false;
    r = run_on_file(rms::indexed_file(variable), kAttributes, {"-v2"});
    EXPECT_NE(r.err.find("dr ctrl=(ptr_sz=2,del=1,rrv=0,noptr=0),rid=2,rrv=(id=2,vbn=3),rl=24\n"), std::string::npos);
    EXPECT_NE(r.err.find("dr ctrl=(ptr_sz=0,del=1,rrv=1,noptr=1),rid=4,rrv=-,rl=-\n"), std::string::npos);

    r = run_on_file(rms::indexed_file(fixed_parts(3)), "org=idx rfm=fix rat=cr lrl=24", {"-v2"});
    EXPECT_EQ(count_of(r.err, ",rl=-\n"), 6u);
    EXPECT_NE(r.err.find("dr ctrl=(ptr_sz=2,del=0,rrv=1),rid=3,rrv=0x000000030003,rl=-\n"), std::string::npos);
    EXPECT_EQ(r.status, 0);
}

// A damaged descriptor chain ends its dump with one message; the copy goes on.
TEST(Indexed, DescriptorDumpsSurviveDamage) {
    struct Case {
        const char* name;
        Bytes file;
        std::string message;
        std::size_t key_lines;
        std::size_t area_lines;
    };
    const Case cases[] = {
        {"DescriptorPastItsBlock", patched(rms::indexed_file(parts()), 0, {2, 0, 0, 0, 0xf0, 0x01}),
         "key #1: descriptor at noff 0x1f0 reaches past its block (VBN 2)\n", 2, 1},
        {"ChainLoopsInVbn1", patched(rms::indexed_file(parts()), 0, {1, 0, 0, 0, 0, 0}),
         "key descriptor chain does not end after 256 keys\n", 256, 1},
        {"AreasPastTheFile",
         patched(rms::indexed_file(with(parts(), [](IndexedFileLayout& s) { s.areas = 9; })), 103, {60}),
         "area descriptors: the file ends after 0 of the 512 bytes of VBN 7\n", 1, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ToolResult r = run_on_file(c.file, kAttributes, {"-v2"});
        EXPECT_EQ(r.out, kPartsOut);
        EXPECT_EQ(count_of(r.err, c.message), 1u);
        EXPECT_EQ(count_of(r.err, "key #"), c.key_lines);
        EXPECT_EQ(count_of(r.err, "area #"), c.area_lines);
        EXPECT_EQ(r.status, 0);
    }
}

// Nine areas take two blocks: area 8 is the first of the second.
TEST(Indexed, NineAreasReadTwoBlocks) {
    ToolResult r = run_on_file(rms::indexed_file(with(parts(), [](IndexedFileLayout& s) { s.areas = 9; })),
                               kAttributes, {"-v2"});
    EXPECT_NE(r.err.find("area #7: flags=0x01,areaid=7,"), std::string::npos);
    EXPECT_NE(r.err.find("area #8: flags=0x01,areaid=8,"), std::string::npos);
    EXPECT_EQ(r.status, 0);
}

TEST(Indexed, PipeIsRefused) {
    TempDir dir;
    const std::string attributes = dir.write("idx.attr", kAttributes);
    ToolResult r = run_unrms({"-a", attributes, "/dev/stdin"}, rms::text(rms::indexed_file(parts())));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "read: Illegal seek: an indexed file must be a file, not a pipe\n");
    EXPECT_EQ(r.status, 1);
}

// A dump shows only bytes the file supplied: an rrv entry has no length
// field, and where the file ends at freespace the two bytes behind it are not
// read.
TEST(Indexed, DumpOfACutBucketShowsOnlyWhatTheFileHolds) {
    IndexedFileLayout layout = parts();
    layout.buckets = {{rms::live(bytes("P1--0001 bolt")), rms::rrv_entry()}};
    const Bytes whole = rms::indexed_file(layout);
    const std::size_t freespace = rms::kBucketFirstEntry + 11 + 13 + 9;
    const std::string rrv_line = "dr ctrl=(ptr_sz=2,del=0,rrv=1),rid=2";
    for (const auto& [file, rl] : {std::pair{whole, std::string(",rl=50115\n")},
                                   {rms::cut(whole, bucket_at(layout, 0) + freespace), std::string(",rl=0\n")}}) {
        ToolResult r = run_on_file(file, kAttributes, {"-v2"});
        EXPECT_EQ(r.out, "P1--0001 bolt\n");
        EXPECT_EQ(r.status, 0) << r.err;
        const std::size_t line = r.err.find(rrv_line);
        ASSERT_NE(line, std::string::npos) << r.err;
        EXPECT_EQ(r.err.substr(r.err.find(",rl=", line), rl.size()), rl);
    }
}

}  // namespace
