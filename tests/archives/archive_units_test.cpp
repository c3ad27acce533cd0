// The archive readers' decoders on byte buffers: block checks and their
// repair, attribute lists, the member size rule, tape framing, zip VMS
// fields.
#include <gtest/gtest.h>

#include "archive_builder.h"
#include "archives/saveset.h"
#include "archives/simh_tape.h"
#include "archives/zip.h"
#include "formats/saveset_layout.h"
#include "platform/raw_io.h"
#include "run_tool.h"

namespace {

using archive::Bytes;

TEST(BlockChecks, Crc16ArcCheckValue) {
    const Bytes text = rms::bytes("123456789");
    EXPECT_EQ(crc16_arc(0, text.data(), text.size()), 0xBB3D);
}

// Block 2 of a small saveset, as BACKUP writes it.
Bytes second_block(bool no_crc = false) {
    archive::SavesetLayout layout;
    layout.block_size = 1024;
    layout.no_crc = no_crc;
    layout.members = {{"[A]B.C;1", archive::sequential_fat(2, 2, 80, 1500), true, Bytes(1500, 'b')}};
    const Bytes saveset = archive::saveset(layout);
    return Bytes(saveset.begin() + 1024, saveset.begin() + 2048);
}

TEST(BlockChecks, EachFaultIsNamed) {
    struct Case {
        const char* what;
        std::size_t at;  // the byte changed; past the block: none
        std::size_t length;
        std::uint32_t position;
        BlockProblem problem;
    };
    const Case cases[] = {
        {"as written", 4096, 1024, 2, BlockProblem::kGood},
        {"a record tape-cut", 4096, 1000, 2, BlockProblem::kWrongLength},
        {"a body byte", 700, 1024, 2, BlockProblem::kCrc},
        {"a header byte", 100, 1024, 2, BlockProblem::kHeaderChecksum},
        {"the header size", 0, 1024, 2, BlockProblem::kNoHeader},
        {"read at another place", 4096, 1024, 3, BlockProblem::kMisplaced},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes block = second_block();
        if (c.at < block.size()) block[c.at] ^= 0x10;
        EXPECT_EQ(check_saveset_block(block.data(), c.length, c.position, 1024), c.problem);
    }
    // Without a CRC only the header is checked.
    Bytes unchecked = second_block(true);
    EXPECT_EQ(rms::text(Bytes(unchecked.begin() + 36, unchecked.begin() + 40)), std::string(4, '\0'));
    unchecked[700] ^= 0x10;
    EXPECT_EQ(check_saveset_block(unchecked.data(), 1024, 2, 1024), BlockProblem::kGood);
    // A sealed block that claims another block size, or kind.
    for (auto [offset, problem] : {std::pair{40, BlockProblem::kWrongSize}, std::pair{6, BlockProblem::kUnknownKind}}) {
        Bytes block = second_block();
        block[static_cast<std::size_t>(offset)] ^= 0x04;
        seal_saveset_block(block.data(), block.size());
        EXPECT_EQ(check_saveset_block(block.data(), 1024, 2, 1024), problem);
    }
}

TEST(BlockRepair, EachDataBlockOfAGroupRebuildsByteForByte) {
    archive::SavesetLayout layout;
    layout.block_size = 1024;
    layout.group_size = 3;
    layout.members = {{"[A]B.C;1", archive::sequential_fat(2, 2, 80, 2000), true, Bytes(2000, 'q')}};
    const Bytes saveset = archive::saveset(layout);
    auto block = [&](std::size_t position) { return saveset.data() + (position - 1) * 1024; };
    for (std::uint32_t lost = 1; lost <= 3; ++lost) {
        std::vector<const unsigned char*> others;
        for (std::uint32_t p = 1; p <= 3; ++p) {
            if (p != lost) others.push_back(block(p));
        }
        Bytes rebuilt(1024, 0xCC);
        rebuild_saveset_block(rebuilt.data(), others, block(4), 1024, lost);
        EXPECT_EQ(rebuilt, Bytes(block(lost), block(lost) + 1024)) << lost;
    }
}

Bytes attribute_list(const std::vector<std::pair<std::uint16_t, Bytes>>& entries, bool terminated) {
    Bytes body = {1, 1};
    for (const auto& [type, value] : entries) {
        rms::put_le16(body, static_cast<std::uint16_t>(value.size()));
        rms::put_le16(body, type);
        body.insert(body.end(), value.begin(), value.end());
    }
    if (terminated) rms::put_le32(body, 0);
    return body;
}

TEST(AttributeLists, FileRecordsEndAtTheirTerminatorOrTheirBody) {
    const archive::Fat f = archive::fat(2, 1, 0, 24, 3, 4, 0, 1);
    const Bytes recattr(f.begin(), f.end());
    const Bytes name = rms::bytes("[A]IDX.DAT;1");
    for (bool terminated : {true, false}) {
        const Bytes body = attribute_list({{42, name}, {51, {0, 0x20, 0, 0}}, {52, recattr}}, terminated);
        const FileRecord file = decode_file_record(body.data(), body.size());
        EXPECT_EQ(file.name, "[A]IDX.DAT;1");
        EXPECT_TRUE(file.has_attributes);
        EXPECT_EQ(file.attributes.bytes, f);
        EXPECT_EQ(file.characteristics, 0x2000u);
        EXPECT_EQ(file.problem, "");
    }
    // An entry longer than what is left of the record; a RECATTR not of 32 bytes.
    Bytes overrun = attribute_list({{42, name}}, false);
    overrun.insert(overrun.end(), {40, 0, 52, 0, 1, 2, 3});
    const FileRecord cut = decode_file_record(overrun.data(), overrun.size());
    EXPECT_EQ(cut.name, "[A]IDX.DAT;1");
    EXPECT_EQ(cut.problem, "the FILE record's attribute 52 of 40 bytes runs past the record's 25 bytes");
    const Bytes short_fat = attribute_list({{52, Bytes(30, 1)}}, true);
    EXPECT_FALSE(decode_file_record(short_fat.data(), short_fat.size()).has_attributes);

    const Bytes summary = attribute_list({{1, rms::bytes("KIT.A")}, {13, {0, 0x24, 0, 0}}, {14, {25, 0}}}, true);
    const SavesetSummary decoded = decode_summary(summary.data(), summary.size());
    EXPECT_EQ(decoded.name, "KIT.A");
    EXPECT_EQ(decoded.block_size, 9216u);
    EXPECT_EQ(decoded.group_size, 25u);
}

TEST(MemberSize, SequentialToEndOfFileOthersTheirAllocation) {
    struct Case {
        unsigned org;
        std::uint32_t hiblk, efblk;
        unsigned ffb;
        std::uint64_t size;
    };
    const Case cases[] = {
        {0, 4, 4, 446, 3 * 512 + 446},  // the end of file inside block 4
        {0, 4, 3, 0, 2 * 512},          // on a block boundary
        {0, 18, 19, 0, 18 * 512},       // exactly full
        {0, 1, 1, 0, 0},                // empty
        {0, 9, 0, 0, 9 * 512},          // no end of file recorded: the allocation
        {2, 288, 285, 0, 288 * 512},    // indexed: every block
        {1, 6, 2, 100, 6 * 512},        // relative: every block
        {0, 0x12345, 0x10001, 1, 0x10000ull * 512 + 1},  // high words first
    };
    for (const Case& c : cases) {
        FileAttributes attributes;
        const archive::Fat f = archive::fat(c.org, 1, 0, 512, c.hiblk, c.efblk, c.ffb);
        std::copy(f.begin(), f.end(), attributes.bytes.begin());
        EXPECT_EQ(member_data_size(attributes), c.size) << c.hiblk << " " << c.efblk;
        MemberHeader header;
        header.attributes = attributes;
        decode_attribute_words(header);
        EXPECT_EQ(header.hiblk, c.hiblk);
        EXPECT_EQ(header.efblk, c.efblk);
    }
}

TEST(ZipVmsFields, PkwareFieldCheckedByItsCrc) {
    const archive::Fat f = archive::fat(0, 2, 2, 71, 1, 1, 494);
    Bytes data = archive::vms_field_data(f);
    EXPECT_EQ(data.size(), 127u);
    VmsFieldContent field = decode_vms_field(data.data(), data.size());
    EXPECT_TRUE(field.crc_ok);
    EXPECT_TRUE(field.has_attributes);
    EXPECT_EQ(field.attributes.bytes, f);
    data[20] ^= 1;
    EXPECT_FALSE(decode_vms_field(data.data(), data.size()).crc_ok);
    data.resize(30);
    EXPECT_NE(decode_vms_field(data.data(), data.size()).problem, "");
}

TEST(ZipVmsFields, InfoZipFieldsInEachCompression) {
    const archive::Fat f = archive::fat(2, 1, 0x04, 639, 0x10002, 285, 17, 3, 2);
    for (unsigned method : {0u, 1u, 2u}) {
        SCOPED_TRACE(method);
        const Bytes fields = archive::im_fields(f, method);
        FileAttributes attributes;
        std::string problem;
        ASSERT_TRUE(decode_im_fields(fields.data(), fields.size(), attributes, problem)) << problem;
        EXPECT_EQ(problem, "");
        EXPECT_EQ(attributes.bytes, f);
    }
    // The bit stream ends before the structure does.
    std::vector<unsigned char> out;
    const unsigned char bits[] = {0xFF};
    EXPECT_FALSE(expand_im_structure(1, bits, 1, 4, out));
    EXPECT_TRUE(expand_im_structure(1, bits, 0, 0, out));
}

TEST(TapeFraming, RecordsMarkersAndFaults) {
    struct Case {
        const char* what;
        Bytes image;
        TapeStep step;
        std::uint32_t length;
        bool error;
    };
    Bytes odd;
    archive::add_tape_record(odd, rms::bytes("abc"));
    Bytes e11 = {3, 0, 0, 0, 'a', 'b', 'c', 3, 0, 0, 0};
    // A half gap: the image goes on 2 bytes in, inside erase-gap filler.
    Bytes gaps = {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF};
    gaps.insert(gaps.end(), odd.begin(), odd.end());
    Bytes bad = odd;
    bad[3] = 0x80;
    bad[11] = 0x80;
    Bytes disagree = odd;
    disagree[8] = 4;
    Bytes private_record = {2, 0, 0, 0x10, 'x', 'y', 2, 0, 0, 0x10};
    private_record.insert(private_record.end(), odd.begin(), odd.end());
    const Case cases[] = {
        {"odd length, padded", odd, TapeStep::kData, 3, false},
        {"odd length, not padded", e11, TapeStep::kData, 3, false},
        {"after an erase gap and a half gap", gaps, TapeStep::kData, 3, false},
        {"read with an error", bad, TapeStep::kData, 3, true},
        {"private record skipped", private_record, TapeStep::kData, 3, false},
        {"lengths disagree", disagree, TapeStep::kBroken, 3, false},
        {"cut inside the data", Bytes(odd.begin(), odd.begin() + 6), TapeStep::kCut, 0, false},
        {"cut inside a word", Bytes{1, 0}, TapeStep::kCut, 0, false},
        {"tape mark", Bytes{0, 0, 0, 0}, TapeStep::kMark, 0, false},
        {"end of medium", Bytes{0xFF, 0xFF, 0xFF, 0xFF}, TapeStep::kEnd, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.write("tape", c.image);
        TapeReader reader;
        ASSERT_TRUE(open_raw_input(path.c_str(), &reader.fd));
        reader.size = c.image.size();
        std::vector<unsigned char> data;
        TapeRecord record;
        EXPECT_EQ(read_tape_step(reader, data, 100, record), c.step);
        EXPECT_EQ(record.length, c.length);
        EXPECT_EQ(record.read_with_error, c.error);
        if (c.step == TapeStep::kData) {
            EXPECT_EQ(rms::text(data), "abc");
        }
        close_descriptor(reader.fd);
    }
}

}  // namespace
