// The tape and zip readers on archives the builder makes: several savesets
// on one tape, tape framing that disagrees, zips as zip -V makes them, and
// zips that lie.
#include <gtest/gtest.h>

#include "archive_reading.h"

namespace {

using archive::Bytes;

archive::SavesetLayout small_saveset(const std::string& name, const std::string& member, std::size_t size) {
    archive::SavesetLayout layout;
    layout.name = name;
    layout.block_size = 1024;
    layout.group_size = 2;
    layout.members = {{member, archive::sequential_fat(2, 2, 80, size), true, Bytes(size, 'm')},
                      {"[K]SECOND.TXT;1", archive::sequential_fat(2, 2, 80, 10), true, Bytes(10, 's')}};
    return layout;
}

std::vector<archive::TapeFile> two_savesets() {
    return {{"KIT.A", archive::saveset(small_saveset("KIT.A", "[K]ONE.TXT;1", 1500)), 1024},
            {"KIT.B", archive::saveset(small_saveset("KIT.B", "[K]ONE.TXT;1", 2500)), 1024}};
}

TEST(TapeReader, SeveralSavesetsEachATapeFile) {
    for (bool labelled : {true, false}) {
        SCOPED_TRACE(labelled);
        std::vector<archive::TapeFile> files = two_savesets();
        for (auto& file : files) file.labelled = labelled;
        const ReadArchive read = read_archive_bytes(archive::simh_tape(files));
        EXPECT_EQ(read.format, ArchiveFormat::kSimhTape);
        EXPECT_EQ(read.outcome.status, ArchiveStatus::kComplete) << read.outcome.message;
        ASSERT_EQ(read.members.size(), 4u);
        const std::pair<const char*, std::size_t> expected[] = {{"KIT.A", 1500}, {"KIT.A", 10}, {"KIT.B", 2500}, {"KIT.B", 10}};
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(read.members[i].header.saveset, expected[i].first);
            EXPECT_EQ(read.members[i].header.tape_file, i / 2 + 1);
            EXPECT_EQ(read.members[i].data.size(), expected[i].second);
            EXPECT_EQ(read.members[i].outcome.status, MemberStatus::kComplete);
        }
    }
}

// The first data record of the first tape file, found by its length word.
std::size_t first_block_record(const Bytes& tape) {
    std::size_t at = 0;
    while (!(tape[at] == 0 && tape[at + 1] == 4 && tape[at + 2] == 0 && tape[at + 3] == 0)) at += 4;
    return at;
}

TEST(TapeReader, FramingAndLabelsThatDisagree) {
    // A block's trailing length word that disagrees: the block is bad, and
    // its XOR group rebuilds it.
    Bytes tape = archive::simh_tape(two_savesets());
    const std::size_t record = first_block_record(tape) + 3 * (1024 + 8);  // block 4, a data block
    tape[record + 4 + 1024] ^= 0x01;
    ReadArchive read = read_archive_bytes(tape);
    ASSERT_EQ(read.members.size(), 4u);
    EXPECT_EQ(read.members[0].data, std::string(1500, 'm'));
    EXPECT_EQ(read.outcome.blocks_rebuilt, 1u);

    // EOF1 counting other blocks than the file holds.
    std::vector<archive::TapeFile> files = two_savesets();
    files[0].eof1_blocks = 99;
    read = read_archive_bytes(archive::simh_tape(files));
    EXPECT_EQ(read.members.size(), 4u);
    EXPECT_EQ(read.outcome.status, ArchiveStatus::kDamaged);
    EXPECT_EQ(read.outcome.message.substr(0, 40), "tape file 1: EOF1 counts 99 blocks, the ");

    // Cut inside the second saveset: the first whole, the cut member partial.
    const Bytes whole = archive::simh_tape(two_savesets());
    read = read_archive_bytes(rms::cut(whole, whole.size() - 2500));
    EXPECT_EQ(read.outcome.status, ArchiveStatus::kTruncated) << read.outcome.message;
    ASSERT_EQ(read.members.size(), 3u);
    EXPECT_EQ(read.members[1].outcome.status, MemberStatus::kComplete);
    EXPECT_EQ(read.members[2].outcome.status, MemberStatus::kTruncated);
    EXPECT_LT(read.members[2].data.size(), 2500u);
}

archive::ZipMember vms_member(const std::string& name, const Bytes& data, bool deflate, const archive::Fat& fat) {
    archive::ZipMember member{name, data, deflate};
    member.attributes = fat;
    return member;
}

TEST(ZipReader, MembersAsZipOnVmsStoresThem) {
    const Bytes text = rms::var_file({rms::bytes("one line"), rms::bytes("two")});
    Bytes allocation = text;
    allocation.resize(1024, 0xEE);  // zip -VV: the whole allocation
    archive::ZipMember im = vms_member("kit/im.dat", Bytes(700, 'i'), true, archive::fat(2, 1, 0, 70, 2, 2, 0, 1));
    im.vms = false;
    im.im = true;
    im.im_method = 1;
    archive::ZipMember plain{"kit/plain.c", rms::bytes("int x;\n"), true, false};
    archive::ZipMember bad_crc = vms_member("kit/crc.txt", text, false, archive::sequential_fat(2, 2, 8, text.size()));
    bad_crc.bad_vms_crc = true;
    const std::vector<archive::ZipMember> members = {
        vms_member("kit/", {}, false, archive::sequential_fat(2, 8, 512, 0, 1)),
        vms_member("kit/stored.txt", text, false, archive::sequential_fat(2, 2, 8, text.size())),
        vms_member("kit/deflated.txt", Bytes(5000, 'x'), true, archive::sequential_fat(1, 0, 100, 5000)),
        vms_member("kit/whole.txt", allocation, true, archive::sequential_fat(2, 2, 8, text.size(), 2)),
        im, plain, bad_crc};
    for (const archive::ZipOptions& options : {archive::ZipOptions{}, archive::ZipOptions{300, false},
                                               archive::ZipOptions{0, true}}) {
        const ReadArchive read = read_archive_bytes(archive::zip_archive(members, options), 333);
        EXPECT_EQ(read.format, ArchiveFormat::kZip);
        EXPECT_EQ(read.outcome.status, ArchiveStatus::kComplete) << read.outcome.message;
        ASSERT_EQ(read.members.size(), members.size());
        for (std::size_t i = 0; i < members.size(); ++i) {
            const ReadMember& member = read.members[i];
            SCOPED_TRACE(member.header.name);
            EXPECT_EQ(member.outcome.status, MemberStatus::kComplete) << member.outcome.message;
            const bool attributes = (members[i].vms && !members[i].bad_vms_crc) || members[i].im;
            EXPECT_EQ(member.header.has_attributes, attributes);
            if (attributes) {
                EXPECT_EQ(member.header.attributes.bytes, members[i].attributes);
            }
            const std::string expected = rms::text(members[i].data);
            EXPECT_EQ(member.data, i == 3 ? expected.substr(0, text.size()) : expected);
        }
        EXPECT_TRUE(read.members[0].header.directory);
        EXPECT_EQ(read.members[6].header.note, "its VMS extra field fails its CRC: no attributes are taken from it");
    }
}

TEST(ZipReader, LiesAreDamageNotCrashes) {
    const Bytes data(3000, 'z');
    auto member = [&](const std::string& name, bool deflate) {
        return vms_member(name, data, deflate, archive::sequential_fat(1, 0, 100, data.size()));
    };
    struct Case {
        const char* what;
        std::vector<archive::ZipMember> members;
        MemberStatus status;  // of the last member
        std::string message;
    };
    auto lying = [&](bool deflate, long long size) {
        archive::ZipMember m = member("b", deflate);
        m.stated_size = size;
        return m;
    };
    archive::ZipMember overlap = member("b", true);
    overlap.data_of = 0;
    const Case cases[] = {
        {"deflated, more stated", {member("a", true), lying(true, 5000)}, MemberStatus::kDamaged,
         "zip member data come to 3000 bytes where its header says 5000"},
        {"deflated, less stated", {member("a", true), lying(true, 100)}, MemberStatus::kDamaged,
         "zip member data inflate past the 100 bytes its header says"},
        {"stored, two sizes", {member("a", true), lying(false, 10)}, MemberStatus::kDamaged,
         "zip member stored with 3000 bytes says it has 10"},
        {"two members on one's data", {member("a", true), overlap}, MemberStatus::kDamaged,
         "zip member's data overlap another member's: the directory lies"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ReadArchive read = read_archive_bytes(archive::zip_archive(c.members));
        ASSERT_EQ(read.members.size(), c.members.size());
        EXPECT_EQ(read.members[0].outcome.status, MemberStatus::kComplete);
        EXPECT_EQ(read.members.back().outcome.status, c.status);
        EXPECT_EQ(read.members.back().outcome.message, c.message);
        EXPECT_LE(read.members.back().data.size(), data.size());
    }

    // A changed data byte fails the CRC; an unknown method is not read.
    Bytes zip = archive::zip_archive({member("a", false)});
    zip[30 + 1 + 4 + 127 + 10] ^= 1;
    EXPECT_EQ(read_archive_bytes(zip).members[0].outcome.message.substr(0, 23), "zip member data CRC-32 ");
    zip = archive::zip_archive({member("a", false)});
    zip[8] = 12;
    zip[zip.size() - 22 - (46 + 1 + 4 + 127) + 10] = 12;
    EXPECT_EQ(read_archive_bytes(zip).members[0].outcome.status, MemberStatus::kUnsupported);
}

// A zip cut before its directory: its members are found from their local
// headers, those before the cut whole, the cut one truncated.
TEST(ZipReader, ACutZipIsReadFromItsLocalHeaders) {
    const auto fat = archive::sequential_fat(1, 0, 100, 4000);
    const Bytes zip = archive::zip_archive(
        {vms_member("one", Bytes(4000, '1'), false, fat), vms_member("two", Bytes(4000, '2'), false, fat)});
    const ReadArchive read = read_archive_bytes(rms::cut(zip, 30 + 3 + 4 + 127 + 4000 + 1000));
    EXPECT_EQ(read.format, ArchiveFormat::kZip);
    EXPECT_EQ(read.outcome.status, ArchiveStatus::kTruncated);
    ASSERT_EQ(read.members.size(), 2u);
    EXPECT_EQ(read.members[0].outcome.status, MemberStatus::kComplete);
    EXPECT_TRUE(read.members[0].header.has_attributes);
    EXPECT_EQ(read.members[1].outcome.status, MemberStatus::kTruncated);
    EXPECT_EQ(read.members[1].data, std::string(read.members[1].data.size(), '2'));
}

}  // namespace
