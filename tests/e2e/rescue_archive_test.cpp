// unrms-rescue on archives: the real kit savesets and the VMS zip, each
// member converted exactly as unrms -a converts its bytes with its true
// attributes; and builder-made archives for what the real ones lack: lost
// blocks, cut archives, several savesets on a tape, versions, hostile
// names, nesting.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "archive_builder.h"
#include "rescue_support.h"

namespace {

namespace fs = std::filesystem;
using archive::Bytes;
using nlohmann::json;

std::vector<std::vector<std::string>> tsv_rows(const fs::path& path) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(file_text(path.string()));
    std::string line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        if (line.back() == '\t') fields.emplace_back();
        rows.push_back(fields);
    }
    return rows;
}

// The row of a member: its archive's source ending in archive, its name,
// the members around it.
json member_row(const std::vector<json>& rows, const std::string& archive, const std::string& member,
                const std::vector<std::string>& inside = {}) {
    for (const json& row : rows) {
        const std::string source = row["source"];
        if (source.ends_with("/" + archive) && row["member"] == member &&
            (inside.empty() ? row["inside"].is_null() : row["inside"] == json(inside))) {
            return row;
        }
    }
    ADD_FAILURE() << "no row for " << archive << " " << member;
    return json::object();
}

// A member as the archive holds it (from --raw) and as converted: the
// converted output is what unrms -a with the true attributes makes of the
// bytes; a fixed-length member cut inside its last record is whole too.
void expect_converted(const json& converted, const json& raw, const std::string& attributes, std::size_t size,
                      const char* from) {
    EXPECT_EQ(converted["from"], from);
    EXPECT_EQ(raw["status"], "copied") << raw.dump();
    const std::string bytes = file_text(raw["output"].get<std::string>());
    EXPECT_EQ(bytes.size(), size);
    EXPECT_EQ(file_text(raw["output"].get<std::string>() + ".attr").empty(), false);
    const ToolResult unrms = run_unrms({"-a", "-", raw["output"].get<std::string>()}, attributes);
    const bool whole = unrms.status == 0 || unrms.err.find("last record only") != std::string::npos;
    ASSERT_TRUE(whole) << unrms.err;
    EXPECT_EQ(converted["status"], "copied") << converted.dump();
    EXPECT_TRUE(file_text(converted["output"].get<std::string>()) == unrms.out) << converted.dump();
}

TEST(RescueArchives, RealSavesetsAndZipConvertEveryMember) {
    const fs::path real = UNRMS_REALFILES_DIR;
    if (!fs::exists(real / "savesets") || !fs::exists(real / "zips")) {
        GTEST_SKIP() << "no real archives at " << UNRMS_REALFILES_DIR;
    }
    TempDir dir;
    const std::vector<std::string> paths = {(real / "savesets").string(), (real / "zips").string()};
    std::vector<std::string> convert = {"-q", "-o", dir.path("out")};
    std::vector<std::string> keep = {"-q", "--raw", "-o", dir.path("raw")};
    convert.insert(convert.end(), paths.begin(), paths.end());
    keep.insert(keep.end(), paths.begin(), paths.end());
    run_unrms_rescue(convert);
    run_unrms_rescue(keep);
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    const std::vector<json> raw_rows = manifest_rows(dir.path("raw"));
    std::size_t checked = 0;
    for (const auto& fields : tsv_rows(real / "savesets/MEMBERS.tsv")) {
        SCOPED_TRACE(fields[0] + " " + fields[1]);
        const bool indexed = fields[4].starts_with("org=idx") || fields[4].starts_with("org=rel");
        expect_converted(member_row(rows, fields[0], fields[1]), member_row(raw_rows, fields[0], fields[1]),
                         fields[4], std::stoul(indexed ? fields[3] : fields[2]), "saveset");
        ++checked;
    }
    EXPECT_EQ(checked, 116u);
    checked = 0;
    for (const auto& fields : tsv_rows(real / "zips/MEMBERS.tsv")) {
        const std::vector<std::string> inside = fields[0].empty() ? std::vector<std::string>{}
                                                                  : std::vector<std::string>{fields[0]};
        // A plain file for the probe, a directory, or an archive whose
        // members have the rows.
        if (fields[2] == "none" || fields[1].ends_with("/") || fields[1] == "zip/zip.zip") {
            continue;
        }
        SCOPED_TRACE(fields[0] + " " + fields[1]);
        expect_converted(member_row(rows, "FW80_ZIP.ZIP", fields[1], inside),
                         member_row(raw_rows, "FW80_ZIP.ZIP", fields[1], inside), fields[4], std::stoul(fields[3]),
                         "zip");
        ++checked;
    }
    EXPECT_EQ(checked, 54u);
    EXPECT_EQ(member_row(rows, "FW80_ZIP.ZIP", "acorn/", {"zip/zip.zip"})["reason"], "directory");
}

// A small kit: variable-length text over several blocks, an indexed-like
// file kept whole, a stream file, a directory, two versions of one name.
archive::SavesetLayout kit(std::size_t group_size = 4) {
    archive::SavesetLayout layout;
    layout.name = "KIT.A";
    layout.block_size = 2048;
    layout.group_size = static_cast<std::uint16_t>(group_size);
    const Bytes text = rms::var_file({rms::bytes("first"), Bytes(3000, 't'), rms::bytes("last")});
    layout.members = {
        {"[KIT]TEXT.COM;2", archive::sequential_fat(2, 2, 3000, text.size(), 10), true, text},
        {"[KIT]TEXT.COM;1", archive::sequential_fat(5, 2, 0, 4), true, rms::bytes("old\n")},
        {"[KIT]SUB.DIR;1", archive::sequential_fat(2, 8, 512, 512), true, Bytes(512, 0), true},
        {"[KIT.SUB]NOTE.TXT;1", archive::sequential_fat(5, 2, 0, 700), true, Bytes(700, 'n')},
    };
    return layout;
}

const std::string kTextLines = "first\n" + std::string(3000, 't') + "\nlast\n";

// Outputs below OUTDIR, the manifest aside.
std::map<std::string, std::string> outputs(const std::string& outdir) {
    std::map<std::string, std::string> files = tree_files(outdir);
    files.erase("unrms-rescue.jsonl");
    return files;
}

TEST(RescueArchives, MembersGoBelowAFolderNamedAsTheArchive) {
    TempDir dir;
    write_files(dir.path("src"), {{"kits/KIT.A", rms::text(archive::saveset(kit()))}});
    // Left by an interrupted run among the members' outputs.
    write_files(dir.path("out"), {{"kits/KIT.A/KIT/SUB/.unrms-rescue-9.tmp", "x"}});
    const ToolResult r = run_unrms_rescue({"-q", "-o", dir.path("out"), dir.path("src")});
    EXPECT_EQ(outputs(dir.path("out")),
              (std::map<std::string, std::string>{{"kits/KIT.A/KIT/TEXT.COM", kTextLines},
                                                  {"kits/KIT.A/KIT/TEXT.COM;1", "old\n"},
                                                  {"kits/KIT.A/KIT/SUB/NOTE.TXT", std::string(700, 'n')}}));
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0]["member"], "[KIT]TEXT.COM;2");  // in archive order
    EXPECT_EQ(rows[0]["source"], dir.path("src/kits/KIT.A"));
    EXPECT_EQ(rows[0]["from"], "saveset");
    EXPECT_EQ(rows[0]["attributes"], "org=seq rfm=var rat=cr lrl=3000");
    EXPECT_EQ(rows[0]["records"], 3);
    EXPECT_EQ(rows[2]["reason"], "directory");
    EXPECT_EQ(r.status, 0) << r.err;

    // The plan lists the members, their attributes and sizes; nothing is
    // written.
    const ToolResult plan = run_unrms_rescue({"-n", "-o", dir.path("none"), dir.path("src")});
    const std::string kit_a = dir.path("src/kits/KIT.A");
    EXPECT_EQ(plan.out, kit_a + " [[KIT]TEXT.COM;2]: org=seq rfm=var rat=cr lrl=3000 (saveset), 3016 bytes\n" + kit_a +
                            " [[KIT]TEXT.COM;1]: org=seq rfm=stmlf rat=cr lrl=0 (saveset), 4 bytes\n" + kit_a +
                            " [[KIT]SUB.DIR;1]: 512 bytes, skipped: a directory\n" + kit_a +
                            " [[KIT.SUB]NOTE.TXT;1]: org=seq rfm=stmlf rat=cr lrl=0 (saveset), 700 bytes\n");
    EXPECT_FALSE(fs::exists(dir.path("none")));

    // Raw: the bytes as stored, the attributes beside them, which a later
    // rescue converts to the same records.
    run_unrms_rescue({"-q", "--raw", "-o", dir.path("raw"), dir.path("src")});
    EXPECT_EQ(file_text(dir.path("raw/kits/KIT.A/KIT/TEXT.COM.attr")), "org=seq rfm=var rat=cr lrl=3000\n");
    run_unrms_rescue({"-q", "-o", dir.path("again"), dir.path("raw")});
    EXPECT_EQ(file_text(dir.path("again/kits/KIT.A/KIT/TEXT.COM")), kTextLines);
}

// Damage: one bad block of a group is rebuilt and nothing is lost; two in
// one group damage the members they touch (kept up to the damage, the
// block named) and the rest are converted; a cut saveset keeps the members
// before the cut.
struct DamageCase {
    const char* name;
    std::function<Bytes(const Bytes& saveset)> damage;
    const char* text_status;  // of TEXT.COM;2, the member over blocks 1 to 3
    const char* message;
    bool note_copied;         // NOTE.TXT, the last member
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

class RescueArchiveDamageTest : public testing::TestWithParam<DamageCase> {};

TEST_P(RescueArchiveDamageTest, KeepsWhatTheArchiveHolds) {
    const DamageCase& c = GetParam();
    TempDir dir;
    write_files(dir.path("src"), {{"KIT.A", rms::text(c.damage(archive::saveset(kit(10))))}});
    const ToolResult r = run_unrms_rescue({"-q", "-o", dir.path("out"), dir.path("src")});
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    const json text = member_row(rows, "KIT.A", "[KIT]TEXT.COM;2");
    EXPECT_EQ(text["status"], c.text_status) << text.dump();
    if (*c.message != '\0') {
        EXPECT_NE(text["message"].get<std::string>().find(c.message), std::string::npos) << json(rows).dump();
        EXPECT_EQ(text["reason"], "damaged");
        EXPECT_FALSE(fs::exists(dir.path("out/KIT.A/KIT/TEXT.COM")));
        EXPECT_EQ(file_text(dir.path("out/KIT.A/KIT/TEXT.COM.partial")), "first\n");
        // The archive's own damage has a row of its own.
        EXPECT_EQ(rows[0]["member"], nullptr);
        EXPECT_EQ(rows[0]["reason"], "archive_damaged");
    } else {
        EXPECT_EQ(file_text(dir.path("out/KIT.A/KIT/TEXT.COM")), kTextLines);
    }
    const std::map<std::string, std::string> files = outputs(dir.path("out"));
    EXPECT_EQ(files.count("KIT.A/KIT/SUB/NOTE.TXT") != 0, c.note_copied) << json(rows).dump();
    EXPECT_EQ(r.status, std::string(c.text_status) == "copied" && c.note_copied ? 0 : 1) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Damage, RescueArchiveDamageTest,
    testing::Values(
        DamageCase{"OneBadBlockRebuilt", [](const Bytes& s) { return archive::with_bad_block(s, 2048, 2); }, "copied",
                   "", true},
        DamageCase{"TwoBadBlocksInAGroup",
                   [](const Bytes& s) {
                       return archive::with_bad_block(archive::with_bad_block(s, 2048, 2), 2048, 3);
                   },
                   "failed", "saveset block 2", false},
        DamageCase{"CutInsideAMember", [](const Bytes& s) { return rms::cut(s, 2048 + 700); }, "failed",
                   "the saveset is cut short inside it", false}),
    [](const testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

// Several savesets on one tape: a folder each, the saveset in inside.
TEST(RescueArchives, TapeImageOfTwoSavesets) {
    TempDir dir;
    archive::SavesetLayout a = kit();
    archive::SavesetLayout b = kit();
    b.name = "KIT.B";
    const Bytes tape = archive::simh_tape({{"KIT.A", archive::saveset(a), 2048}, {"KIT.B", archive::saveset(b), 2048}});
    write_files(dir.path("src"), {{"KITS.TAP", rms::text(tape)}});
    const ToolResult r = run_unrms_rescue({"-q", "-o", dir.path("out"), dir.path("src/KITS.TAP")});
    EXPECT_EQ(file_text(dir.path("out/KITS.TAP/KIT.A/KIT/TEXT.COM")), kTextLines);
    EXPECT_EQ(file_text(dir.path("out/KITS.TAP/KIT.B/KIT/SUB/NOTE.TXT")), std::string(700, 'n'));
    const json row = member_row(manifest_rows(dir.path("out")), "KITS.TAP", "[KIT]TEXT.COM;1", {"KIT.B"});
    EXPECT_EQ(row["output"], dir.path("out/KITS.TAP/KIT.B/KIT/TEXT.COM;1"));
    EXPECT_EQ(r.status, 0) << r.err;
}

// Names are data: a zip member that would leave OUTDIR is refused, one
// that cannot stand is made safe; a saveset inside a zip is opened in turn;
// a zip without any VMS field is a file like others.
TEST(RescueArchives, ZipsOfHostileNamesAndNestedSavesets) {
    TempDir dir;
    const archive::Fat text_fat = archive::sequential_fat(5, 2, 0, 3);
    const std::vector<archive::ZipMember> members = {
        {"../escape.txt", rms::bytes("no\n"), true, true, false, 0, text_fat},
        {"/abs/root.txt", rms::bytes("abs"), false, true, false, 0, text_fat},
        {"kit/KIT.A", archive::saveset(kit()), true, true, false, 0, archive::fat(0, 1, 0, 512, 10, 10, 0)},
        {"plain.txt", rms::bytes("plain text\n"), true, false},
    };
    write_files(dir.path("src"), {{"FREEWARE.ZIP", rms::text(archive::zip_archive(members))},
                                  {"PC.ZIP", rms::text(archive::zip_archive({{"x.txt", rms::bytes("pc\n"), true,
                                                                              false}}))}});
    const ToolResult r = run_unrms_rescue({"-q", "-o", dir.path("out"), dir.path("src")});
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    const json escape = member_row(rows, "FREEWARE.ZIP", "../escape.txt");
    EXPECT_EQ(escape["status"], "failed");
    EXPECT_EQ(escape["reason"], "unsafe_name");
    EXPECT_FALSE(fs::exists(dir.path("escape.txt")));
    EXPECT_EQ(member_row(rows, "FREEWARE.ZIP", "/abs/root.txt")["output"], dir.path("out/FREEWARE.ZIP/abs/root.txt"));
    EXPECT_EQ(file_text(dir.path("out/FREEWARE.ZIP/kit/KIT.A/KIT/TEXT.COM")), kTextLines);
    EXPECT_EQ(member_row(rows, "FREEWARE.ZIP", "[KIT]TEXT.COM;2", {"kit/KIT.A"})["from"], "saveset");
    EXPECT_EQ(member_row(rows, "FREEWARE.ZIP", "plain.txt")["from"], "probe");
    EXPECT_EQ(row_of(rows, dir.path("src/PC.ZIP"))["member"], nullptr);
    EXPECT_EQ(r.status, 1);
}

}  // namespace
