// The real savesets and zips, when the collection is present beside the
// project: every member yields exactly the size and attributes its
// MEMBERS.tsv lists, every block checks, and the bytes delivered are what
// unrms copies with those attributes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "archive_reading.h"
#include "attributes/attribute_listing.h"

namespace {

namespace fs = std::filesystem;

const fs::path kRealFiles = UNRMS_REALFILES_DIR;

// The rows of a MEMBERS.tsv, each field by the name its header line gives.
std::vector<std::map<std::string, std::string>> tsv_rows(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::vector<std::string> names;
    std::vector<std::map<std::string, std::string>> rows;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        if (names.empty()) {
            names = fields;
            continue;
        }
        std::map<std::string, std::string>& row = rows.emplace_back();
        for (std::size_t i = 0; i < names.size() && i < fields.size(); ++i) row[names[i]] = fields[i];
    }
    return rows;
}

std::string listing(const MemberHeader& header) {
    std::string line = attribute_listing(header.attributes);
    line.pop_back();
    return line;
}

TEST(RealSavesets, EveryMemberHasItsSizeAndAttributes) {
    const fs::path tsv = kRealFiles / "savesets" / "MEMBERS.tsv";
    if (!fs::exists(tsv)) {
        GTEST_SKIP() << "no real savesets at " << tsv;
    }
    std::map<std::string, std::vector<std::map<std::string, std::string>>> by_saveset;
    for (auto& row : tsv_rows(tsv)) by_saveset[row["saveset"]].push_back(row);
    ASSERT_EQ(by_saveset.size(), 6u);
    std::size_t checked = 0;
    for (const auto& [name, rows] : by_saveset) {
        SCOPED_TRACE(name);
        const ReadArchive saveset = read_archive_file((kRealFiles / "savesets" / name).string(), 1000);
        ASSERT_EQ(saveset.format, ArchiveFormat::kSaveset);
        EXPECT_EQ(saveset.outcome.status, ArchiveStatus::kComplete) << saveset.outcome.message;
        EXPECT_EQ(saveset.outcome.blocks_rebuilt, 0u);
        std::map<std::string, const ReadMember*> members;
        for (const ReadMember& member : saveset.members) members[member.header.name] = &member;
        for (const auto& row : rows) {
            SCOPED_TRACE(row.at("member"));
            ASSERT_EQ(members.count(row.at("member")), 1u);
            const ReadMember& member = *members[row.at("member")];
            const bool indexed = row.at("attributes").find("org=idx") != std::string::npos;
            EXPECT_EQ(member.outcome.status, MemberStatus::kComplete) << member.outcome.message;
            EXPECT_EQ(member.data.size(), std::stoull(row.at(indexed ? "bytes_stored" : "bytes_to_eof")));
            EXPECT_EQ(member.header.size, member.data.size());
            ASSERT_TRUE(member.header.has_attributes);
            EXPECT_EQ(listing(member.header), row.at("attributes"));
            EXPECT_EQ(member.header.efblk, std::stoul(row.at("efblk")));
            EXPECT_EQ(member.header.ffb, std::stoul(row.at("ffb")));
            EXPECT_EQ(member.header.hiblk, std::stoul(row.at("hiblk")));
            EXPECT_EQ(member.header.attributes.bytes[16] | member.header.attributes.bytes[17] << 8,
                      std::stoi(row.at("mrs")));
            ++checked;
        }
    }
    EXPECT_EQ(checked, 116u);
}

// A delivered member is what unrms copies with its attributes: text,
// print, stream, fixed-length and indexed files copy cleanly; a fixed-length
// file whose end of file cuts its last record is refused for it, as its
// extracted copy is.
TEST(RealSavesets, DeliveredMembersCopyWithTheirAttributes) {
    const fs::path savesets = kRealFiles / "savesets";
    if (!fs::exists(savesets)) {
        GTEST_SKIP() << "no real savesets at " << savesets;
    }
    struct Case {
        const char* saveset;
        const char* member;
        int status;
    };
    const Case cases[] = {
        {"ACMSDIA031.A", "[ACMSDI_DEV.BLD_V31.BRANDING_RELEASE.FIRST]KITINSTAL.COM;1", 0},
        {"A1LUS061.M", "[A1MIST$KITS470.LM]A1061LANGUAGEM.REV_470;1", 0},
        {"A1LUS061.M", "[A1MIST$KITS470.LM]V60$CM$CART$BASE$CHANGES.DAT;2", 0},
        {"TDMSDEV019.A", "[TDMS.TDMSDEVD.TDMS.DEVKIT.SAVEA]ACMSAAF.DAT;1", 0},
        {"PASCAL058.D", "[PASCAL.KITBUILD.ALPHA_VMS.V52KIT.SAVESET_D_FILES]INTERFACE_MODULE.PEN;1", 0},
        {"TDMSDEV019.A", "[TDMS.TDMSDEVD.TDMS.DEVKIT.SAVEA]TDMSRDU.ENV;21", 1},
        {"DCPSVAX022.C", "[BUILD.V22.HP.VAX_C]IGNORE-A-SIZE.PS;1", 0},
    };
    TempDir dir;
    for (const auto& [saveset, member_name, status] : cases) {
        SCOPED_TRACE(member_name);
        const ReadArchive archive = read_archive_file((savesets / saveset).string());
        const ReadMember* found = nullptr;
        for (const ReadMember& member : archive.members) {
            if (member.header.name == member_name) found = &member;
        }
        ASSERT_NE(found, nullptr);
        const std::string data = dir.write("member", found->data);
        const std::string attributes = dir.write("member.attr", listing(found->header) + "\n");
        const ToolResult copied = run_unrms({"-a", attributes, data});
        EXPECT_EQ(copied.status, status) << copied.err;
        EXPECT_FALSE(copied.out.empty());
    }
}

void check_zip_members(const ReadArchive& zip, const std::vector<std::map<std::string, std::string>>& rows,
                       const std::string& inside) {
    std::map<std::string, const ReadMember*> members;
    for (const ReadMember& member : zip.members) members[member.header.name] = &member;
    std::size_t listed = 0;
    for (const auto& row : rows) {
        if (row.at("inside") != inside) continue;
        ++listed;
        SCOPED_TRACE(row.at("member"));
        ASSERT_EQ(members.count(row.at("member")), 1u);
        const ReadMember& member = *members[row.at("member")];
        EXPECT_EQ(member.outcome.status, MemberStatus::kComplete) << member.outcome.message;
        EXPECT_EQ(member.data.size(), std::stoull(row.at("bytes_to_eof")));
        EXPECT_EQ(member.header.size, member.data.size());
        EXPECT_EQ(member.header.directory, row.at("member").back() == '/');
        const bool vms = row.at("vms_field") != "none";
        ASSERT_EQ(member.header.has_attributes, vms);
        if (vms) {
            EXPECT_EQ(listing(member.header), row.at("attributes"));
        }
    }
    EXPECT_EQ(listed, zip.members.size());
}

TEST(RealZips, EveryMemberOfTheKitAndItsNestedZip) {
    const fs::path zips = kRealFiles / "zips";
    if (!fs::exists(zips / "MEMBERS.tsv")) {
        GTEST_SKIP() << "no real zips at " << zips;
    }
    const auto rows = tsv_rows(zips / "MEMBERS.tsv");
    const ReadArchive outer = read_archive_file((zips / "FW80_ZIP.ZIP").string(), 777);
    ASSERT_EQ(outer.format, ArchiveFormat::kZip);
    EXPECT_EQ(outer.outcome.status, ArchiveStatus::kComplete) << outer.outcome.message;
    EXPECT_EQ(outer.members.size(), 17u);
    check_zip_members(outer, rows, "");

    const ReadMember* nested = nullptr;
    for (const ReadMember& member : outer.members) {
        if (member.header.name == "zip/zip.zip") nested = &member;
    }
    ASSERT_NE(nested, nullptr);
    TempDir dir;
    const ReadArchive inner = read_archive_file(dir.write("zip.zip", nested->data));
    ASSERT_EQ(inner.format, ArchiveFormat::kZip);
    EXPECT_EQ(inner.outcome.status, ArchiveStatus::kComplete) << inner.outcome.message;
    EXPECT_EQ(inner.members.size(), 399u);
    check_zip_members(inner, rows, "zip/zip.zip");
}

}  // namespace
