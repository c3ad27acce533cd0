// The saveset reader on savesets the builder makes: what the real ones
// lack (lost blocks, two in a group, cut savesets, lying records).
#include <gtest/gtest.h>

#include "archive_reading.h"

namespace {

using archive::Bytes;

// A text file over several blocks, an indexed file with blocks past its
// end of file, an empty file, a directory, and a last small file.
archive::SavesetLayout kit() {
    archive::SavesetLayout layout;
    layout.block_size = 2048;
    layout.group_size = 4;
    const Bytes text = rms::var_file({rms::bytes("first"), Bytes(3000, 't'), rms::bytes("last")});
    Bytes indexed(6 * 512, 'i');
    indexed[5 * 512] = 'z';
    layout.members = {
        {"[KIT]TEXT.COM;2", archive::sequential_fat(2, 2, 3000, text.size(), 10), true, text},
        {"[KIT]DATA.IDX;1", archive::fat(2, 1, 0, 40, 6, 3, 0, 2), true, indexed},
        {"[KIT]EMPTY.DAT;1", archive::sequential_fat(1, 0, 80, 0), true, {}},
        {"[KIT]SUB.DIR;1", archive::sequential_fat(2, 8, 512, 512), true, Bytes(512, 0), true},
        {"[KIT.SUB]NOTE.TXT;1", archive::sequential_fat(5, 2, 0, 700), true, Bytes(700, 'n')},
    };
    return layout;
}

void expect_members(const ReadArchive& read, const archive::SavesetLayout& layout) {
    ASSERT_EQ(read.members.size(), layout.members.size());
    for (std::size_t i = 0; i < read.members.size(); ++i) {
        const ReadMember& member = read.members[i];
        SCOPED_TRACE(member.header.name);
        EXPECT_EQ(member.header.name, layout.members[i].name);
        EXPECT_EQ(member.outcome.status, MemberStatus::kComplete) << member.outcome.message;
        EXPECT_EQ(member.data, rms::text(layout.members[i].data));
        EXPECT_EQ(member.header.size, member.data.size());
        EXPECT_EQ(member.header.attributes.bytes, layout.members[i].attributes);
        EXPECT_EQ(member.header.directory, layout.members[i].directory);
    }
}

TEST(SavesetReader, MembersCutAtTheirEndOfFileInAnyPieces) {
    for (bool no_crc : {false, true}) {
        for (std::size_t piece : {1, 7, 512, 100000}) {
            SCOPED_TRACE(piece);
            archive::SavesetLayout layout = kit();
            layout.no_crc = no_crc;
            layout.blocks_per_record = piece == 7 ? 1 : 0;
            const ReadArchive read = read_archive_bytes(archive::saveset(layout), piece);
            EXPECT_EQ(read.format, ArchiveFormat::kSaveset);
            EXPECT_EQ(read.outcome.status, ArchiveStatus::kComplete) << read.outcome.message;
            expect_members(read, layout);
        }
    }
}

// Every block, data or XOR, may be lost: each data block comes back from
// its group, block 1 (the summary) too, when the group size must come from
// the first good XOR block.
TEST(SavesetReader, AnyOneBadBlockOfAGroupIsRebuilt) {
    const archive::SavesetLayout layout = kit();
    const Bytes saveset = archive::saveset(layout);
    const std::size_t blocks = saveset.size() / layout.block_size;
    ASSERT_EQ(blocks, 7u);  // two groups, the second of one data block
    for (std::uint32_t bad = 1; bad <= blocks; ++bad) {
        SCOPED_TRACE(bad);
        const ReadArchive read = read_archive_bytes(archive::with_bad_block(saveset, layout.block_size, bad));
        ASSERT_EQ(read.format, ArchiveFormat::kSaveset);
        expect_members(read, layout);
        EXPECT_EQ(read.outcome.status, ArchiveStatus::kComplete);
        EXPECT_EQ(read.outcome.blocks_rebuilt, bad % 5 == 0 || bad == blocks ? 0u : 1u);
    }
}

TEST(SavesetReader, TwoBadBlocksInAGroupDamageTheirMembersOnly) {
    archive::SavesetLayout layout = kit();
    layout.group_size = 10;
    layout.members.push_back({"[KIT]AFTER.TXT;1", archive::sequential_fat(2, 2, 10, 3000), true, Bytes(3000, 'a')});
    Bytes saveset = archive::saveset(layout);
    saveset = archive::with_bad_block(archive::with_bad_block(saveset, 2048, 2), 2048, 4);
    const ReadArchive read = read_archive_bytes(saveset);
    ASSERT_GE(read.members.size(), 3u);
    const ReadMember& text = read.members[0];
    EXPECT_EQ(text.outcome.status, MemberStatus::kDamaged);
    EXPECT_EQ(text.outcome.block, 2u);
    EXPECT_EQ(text.outcome.message, "saveset block 2: CRC mismatch, not repairable (2 bad blocks in its XOR group)");
    EXPECT_EQ(text.data, rms::text(layout.members[0].data).substr(0, text.data.size()));
    EXPECT_EQ(read.outcome.status, ArchiveStatus::kDamaged);
    // The members past the damage are still read whole.
    const ReadMember& after = read.members.back();
    EXPECT_EQ(after.header.name, "[KIT]AFTER.TXT;1");
    EXPECT_EQ(after.outcome.status, MemberStatus::kComplete);
    EXPECT_EQ(after.data, std::string(3000, 'a'));
}

// A block lost with the FILE record of a member: the member is still
// reported, under the name the next block's header gives.
TEST(SavesetReader, AMemberWhoseFileRecordIsLostIsReported) {
    archive::SavesetLayout layout;
    layout.block_size = 1024;
    layout.group_size = 0;
    layout.members = {{"[A]FIRST.TXT;1", archive::sequential_fat(2, 2, 10, 200), true, Bytes(200, 'f')},
                      {"[A]SECOND.TXT;1", archive::sequential_fat(2, 2, 10, 3000), true, Bytes(3000, 's')},
                      {"[A]THIRD.TXT;1", archive::sequential_fat(2, 2, 10, 100), true, Bytes(100, 't')}};
    const ReadArchive read = read_archive_bytes(archive::with_bad_block(archive::saveset(layout), 1024, 2));
    ASSERT_EQ(read.members.size(), 3u);
    EXPECT_EQ(read.members[0].outcome.status, MemberStatus::kComplete);
    EXPECT_EQ(read.members[1].header.name, "[A]SECOND.TXT;1");
    EXPECT_FALSE(read.members[1].header.has_attributes);
    EXPECT_EQ(read.members[1].outcome.status, MemberStatus::kDamaged);
    EXPECT_EQ(read.members[1].outcome.message,
              "saveset block 2: lost, and with it the member's FILE record; its data are skipped");
    EXPECT_EQ(read.members[2].outcome.status, MemberStatus::kComplete);
    EXPECT_EQ(read.outcome.message,
              "saveset block 2: CRC mismatch, not repairable (the saveset has no XOR blocks); the records it held "
              "are lost");
}

// Cut anywhere: the members before the cut whole, the cut one partial,
// never more than the saveset holds.
TEST(SavesetReader, ACutSavesetGivesTheMembersBeforeTheCut) {
    const archive::SavesetLayout layout = kit();
    const Bytes saveset = archive::saveset(layout);
    for (std::size_t size = 2048; size < saveset.size(); size += 1000) {
        SCOPED_TRACE(size);
        const ReadArchive read = read_archive_bytes(rms::cut(saveset, size));
        EXPECT_EQ(read.outcome.status, ArchiveStatus::kTruncated) << read.outcome.message;
        for (std::size_t i = 0; i < read.members.size(); ++i) {
            const ReadMember& member = read.members[i];
            const std::string whole = rms::text(layout.members[i].data);
            EXPECT_EQ(member.data, whole.substr(0, member.data.size()));
            if (member.outcome.status != MemberStatus::kComplete) {
                EXPECT_EQ(member.outcome.status, MemberStatus::kTruncated) << member.outcome.message;
                EXPECT_EQ(i + 1, read.members.size());
            }
        }
    }
}

// Records that lie end their member's delivery with a message naming the
// block; the saveset goes on.
TEST(SavesetReader, LyingRecordsEndTheirMember) {
    struct Case {
        const char* what;
        archive::SavesetMember member;
        std::string message;
        std::size_t delivered;
    };
    const Bytes data(1500, 'd');
    auto with = [&](auto change) {
        archive::SavesetMember member{"[A]LIAR.DAT;1", archive::sequential_fat(1, 0, 512, data.size()), true, data};
        change(member);
        return member;
    };
    const Case cases[] = {
        {"VBN 0", with([](auto& m) { m.first_vbn = 0; }), "saveset block 1: VBN 0 where VBN 1 should follow", 0},
        {"a gap", with([](auto& m) { m.first_vbn = 3; }), "saveset block 1: VBN 3 follows VBN 0: blocks are missing", 0},
        {"past the allocation", with([](auto& m) { m.attributes = archive::fat(0, 1, 0, 512, 2, 3, 476); }),
         "saveset block 1: VBNs 1 to 3 lie past the file's allocation of 2 blocks", 0},
        {"an attribute past its record", with([](auto& m) { m.attribute_overrun = true; }),
         "saveset block 1: the FILE record's attribute 79 of 64 bytes runs past the record's 96 bytes", 0},
        {"an end of file past what is held", with([](auto& m) { m.attributes = archive::sequential_fat(1, 0, 512, 4000); }),
         "the saveset holds 1536 of the member's 4000 bytes", 1536},
        {"an absurd size claimed", with([](auto& m) { m.attributes = archive::fat(2, 1, 0, 512, 0xFFFFFFFF, 1, 0); }),
         "the saveset holds 1536 of the member's 2199023255040 bytes", 1536},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        archive::SavesetLayout layout;
        layout.block_size = 4096;
        layout.members = {c.member, {"[A]NEXT.TXT;1", archive::sequential_fat(2, 2, 10, 10), true, Bytes(10, 'n')}};
        const ReadArchive read = read_archive_bytes(archive::saveset(layout));
        ASSERT_EQ(read.members.size(), 2u);
        const MemberOutcome& outcome = read.members[0].outcome;
        EXPECT_EQ(outcome.status, MemberStatus::kDamaged);
        EXPECT_EQ(outcome.message, c.message);
        EXPECT_EQ(outcome.delivered, c.delivered);
        EXPECT_EQ(read.members[1].outcome.status, MemberStatus::kComplete);
        EXPECT_EQ(read.members[1].data, std::string(10, 'n'));
    }
}

}  // namespace
