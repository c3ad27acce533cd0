// unrms-rescue as a user runs it on a tree: the output tree byte for byte,
// the manifest's rows, standard error and the exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>

#include "rescue_support.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string summary(int copied, int unsure, int failed, int skipped) {
    return "unrms-rescue: " + std::to_string(copied + unsure + failed + skipped) + " files: " +
           std::to_string(copied) + " copied, " + std::to_string(unsure) + " unsure, " + std::to_string(failed) +
           " failed, " + std::to_string(skipped) + " skipped\n";
}

std::string fdl(const char* carriage_control, const char* size) {
    return std::string("IDENT\t\"test\"\n\nFILE\n\tORGANIZATION\tsequential\n\nRECORD\n\tCARRIAGE_CONTROL\t") +
           carriage_control + "\n\tFORMAT\tvariable\n\tSIZE\t" + size + "\n";
}

// Builder-made files of every kind, half of them with sidecars: each is
// copied to exactly its records when its attributes are given, and when the
// probe is sure; no temporary file is left; the manifest has one row per
// file, sorted by source.
TEST(Rescue, ConvertsAMixedTree) {
    TempDir dir;
    const std::vector<rms::MixedFile> files = write_mixed_tree(dir.path("src"), 48);
    const ToolResult r = run_unrms_rescue({"-j2", "-o", dir.path("out"), dir.path("src")});
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    ASSERT_EQ(rows.size(), files.size());
    int unsure = 0;
    for (const rms::MixedFile& file : files) {
        SCOPED_TRACE(file.name);
        const json row = row_of(rows, dir.path("src/" + file.name));
        EXPECT_EQ(row["output"], dir.path("out/" + file.name));
        EXPECT_EQ(row["bytes_in"], file.bytes.size());
        EXPECT_EQ(row["from"], file.sidecar ? "sidecar" : "probe");
        EXPECT_EQ(row["status"], !file.sidecar && !row["confident"].get<bool>() ? "unsure" : "copied");
        unsure += row["status"] == "unsure" ? 1 : 0;
        const std::string output = file_text(dir.path("out/" + file.name));
        EXPECT_EQ(row["bytes_out"], output.size());
        if (row["status"] == "copied") {
            EXPECT_EQ(output, file.records) << row.dump();
        }
    }
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_LT(rows[i - 1]["source"].get<std::string>(), rows[i]["source"].get<std::string>());
    }
    // The outputs and the manifest, nothing else.
    EXPECT_EQ(tree_files(dir.path("out")).size(), files.size() + 1);
    EXPECT_EQ(r.err, summary(static_cast<int>(files.size()) - unsure, unsure, 0, 0));
    EXPECT_EQ(r.status, unsure != 0 ? 2 : 0);
}

// However many workers, the same outputs and the same manifest.
TEST(Rescue, SameResultWhateverTheWorkers) {
    TempDir dir;
    write_mixed_tree(dir.path("src"), 40, 7);
    std::map<std::string, std::string> first;
    for (const char* workers : {"-j1", "-j2", "-j5"}) {
        SCOPED_TRACE(workers);
        const std::string out = dir.path(std::string("out") + workers);
        const ToolResult r = run_unrms_rescue({workers, "-q", "-o", out, dir.path("src")});
        EXPECT_EQ(r.err, "");
        std::map<std::string, std::string> files = tree_files(out);
        std::string& manifest = files["unrms-rescue.jsonl"];
        for (std::size_t at; (at = manifest.find(out)) != std::string::npos;) manifest.replace(at, out.size(), "OUT");
        if (first.empty()) {
            first = files;
        } else {
            EXPECT_TRUE(files == first);
        }
    }
}

// The attributes come from NAME.attr, else NAME.fdl, else NAME.FDL, else
// the probe; a sidecar is never converted itself.
struct SidecarCase {
    const char* name;
    std::map<std::string, std::string> sidecars;  // by suffix
    const char* from;
    const char* attributes;
    bool line_ends;
};

void PrintTo(const SidecarCase& c, std::ostream* os) { *os << c.name; }

class RescueSidecarTest : public testing::TestWithParam<SidecarCase> {};

TEST_P(RescueSidecarTest, TakesTheFirstSource) {
    const SidecarCase& c = GetParam();
    TempDir dir;
    std::map<std::string, std::string> files{{"LOGIN.COM", text_file()}};
    for (const auto& [suffix, content] : c.sidecars) files["LOGIN.COM" + suffix] = content;
    write_files(dir.path("src"), files);
    const ToolResult r = run_unrms_rescue({"-o", dir.path("out"), dir.path("src")});
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["from"], c.from);
    EXPECT_EQ(rows[0]["attributes"], c.attributes);
    EXPECT_EQ(rows[0]["status"], "copied");
    std::string expected = text_lines();
    if (!c.line_ends) std::erase(expected, '\n');
    EXPECT_EQ(tree_files(dir.path("out")),
              (std::map<std::string, std::string>{{"LOGIN.COM", expected},
                                                  {"unrms-rescue.jsonl", file_text(dir.path("out/unrms-rescue.jsonl"))}}));
    EXPECT_EQ(r.status, 0) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Sources, RescueSidecarTest,
    testing::Values(
        SidecarCase{"AttrFirst",
                    {{".attr", "org=seq rfm=var rat=cr"}, {".fdl", fdl("none", "0")}, {".FDL", fdl("none", "80")}},
                    "sidecar", "org=seq rfm=var rat=cr lrl=32767", true},
        SidecarCase{"LowerFdlNext", {{".fdl", fdl("none", "0")}, {".FDL", fdl("carriage_return", "80")}}, "fdl",
                    "org=seq rfm=var rat=none lrl=32767", false},
        SidecarCase{"UpperFdl", {{".FDL", fdl("carriage_return", "80")}}, "fdl", "org=seq rfm=var rat=cr lrl=80",
                    true},
        SidecarCase{"ProbeWithoutSidecar", {}, "probe", "org=seq rfm=var rat=cr lrl=28", true}),
    [](const testing::TestParamInfo<SidecarCase>& info) { return std::string(info.param.name); });

// A sidecar without its file is a file like any other; so is one of
// another spelling (.ATTR), which is no sidecar.
TEST(Rescue, SidecarWithoutItsFileIsConverted) {
    TempDir dir;
    write_files(dir.path("src"), {{"ORPHAN.attr", "org=seq rfm=var\n"}, {"KIT.FDL", text_file()},
                                  {"KIT.FDL.attr", "org=seq rfm=var rat=cr\n"}, {"LOGIN.COM", text_file()},
                                  {"LOGIN.COM.ATTR", "org=seq rfm=var\n"}});
    const ToolResult r = run_unrms_rescue({"-q", "-o", dir.path("out"), dir.path("src")});
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0]["source"], dir.path("src/KIT.FDL"));
    EXPECT_EQ(rows[0]["from"], "sidecar");
    EXPECT_EQ(file_text(dir.path("out/KIT.FDL")), text_lines());
    EXPECT_EQ(rows[1]["source"], dir.path("src/LOGIN.COM"));
    EXPECT_EQ(rows[1]["from"], "probe");
    EXPECT_EQ(rows[2]["source"], dir.path("src/LOGIN.COM.ATTR"));
    EXPECT_EQ(rows[3]["source"], dir.path("src/ORPHAN.attr"));
    EXPECT_EQ(rows[3]["from"], "probe");
    EXPECT_EQ(r.err, "");
}

// One file per case, and what becomes of it.
struct StatusCase {
    const char* name;
    std::function<void(const std::string& src)> make;  // writes src/F and its company
    const char* status;
    const char* reason;   // "" for none
    const char* message;  // contained in the row's message; "" for none
    std::map<std::string, std::string> outputs;  // the output tree less the manifest
    int exit_status;
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class RescueStatusTest : public testing::TestWithParam<StatusCase> {};

TEST_P(RescueStatusTest, RowAndOutputs) {
    const StatusCase& c = GetParam();
    TempDir dir;
    fs::create_directories(dir.path("src"));
    c.make(dir.path("src"));
    const ToolResult r = run_unrms_rescue({"-o", dir.path("out"), dir.path("src")});
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    ASSERT_EQ(rows.size(), 1u);
    const json& row = rows[0];
    EXPECT_EQ(row["source"], dir.path("src/F"));
    EXPECT_EQ(row["status"], c.status);
    EXPECT_EQ(row["reason"], *c.reason == '\0' ? json() : json(c.reason));
    if (*c.message == '\0') {
        EXPECT_TRUE(row["message"].is_null()) << row.dump();
    } else {
        EXPECT_NE(row["message"].get<std::string>().find(c.message), std::string::npos) << row.dump();
    }
    std::map<std::string, std::string> outputs = tree_files(dir.path("out"));
    outputs.erase("unrms-rescue.jsonl");
    EXPECT_EQ(outputs, c.outputs);
    if (std::string(c.status) == "failed") {
        // The records counted are those kept, one line each.
        const std::string kept = outputs.count("F.partial") != 0 ? outputs["F.partial"] : "";
        EXPECT_EQ(row["records"], std::count(kept.begin(), kept.end(), '\n')) << row.dump();
        // One line on standard error names the file, before the summary.
        EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1),
                  "unrms-rescue: " + dir.path("src/F") + ": " + row["message"].get<std::string>() + "\n");
    }
    EXPECT_EQ(r.status, c.exit_status);
}

void write(const std::string& path, const std::string& content) { std::ofstream(path, std::ios::binary) << content; }

const std::string kTextAttr = "org=seq rfm=var rat=cr\n";

INSTANTIATE_TEST_SUITE_P(
    Statuses, RescueStatusTest,
    testing::Values(
        StatusCase{"CopiedWithSidecar",
                   [](const std::string& src) {
                       write(src + "/F", text_file());
                       write(src + "/F.attr", kTextAttr);
                   },
                   "copied", "", "", {{"F", text_lines()}}, 0},
        StatusCase{"UnsureProbe", [](const std::string& src) { write(src + "/F", std::string(1024, '\0')); },
                   // Zeros in whole blocks: records of one block each.
                   "unsure", "", "", {{"F", std::string(1024, '\0')}}, 2},
        // The records before the damage are kept under NAME.partial.
        StatusCase{"DamagedKeepsPartial",
                   [](const std::string& src) {
                       write(src + "/F", text_file().substr(0, 100));
                       write(src + "/F.attr", kTextAttr);
                   },
                   "failed", "damaged", "end of file inside the",
                   {{"F.partial", "$ WRITE SYS$OUTPUT \"line 0\"\n$ WRITE SYS$OUTPUT \"line 1\"\n"
                                  "$ WRITE SYS$OUTPUT \"line 2\"\n"}},
                   1},
        StatusCase{"DamagedAtOnceKeepsNothing",
                   [](const std::string& src) {
                       write(src + "/F", "\xff\x7f");
                       write(src + "/F.attr", kTextAttr);
                   },
                   "failed", "damaged", "end of file inside the 32767-byte record", {}, 1},
        StatusCase{"RefusedSidecar",
                   [](const std::string& src) {
                       write(src + "/F", text_file());
                       write(src + "/F.attr", "org=xyz\n");
                   },
                   "failed", "attributes", "-e-opterr", {}, 1},
        StatusCase{"SymbolicLink",
                   [](const std::string& src) {
                       write(src + "/../target", text_file());
                       fs::create_symlink("../target", src + "/F");
                   },
                   "skipped", "symlink", "a symbolic link, not followed", {}, 0},
        StatusCase{"Fifo", [](const std::string& src) { ASSERT_EQ(::mkfifo((src + "/F").c_str(), 0600), 0); },
                   "skipped", "not_regular", "not a regular file", {}, 0},
        // A fixed-length file that ends inside its last record is whole:
        // every byte is in the output, under its own name.
        StatusCase{"ShortLastRecordIsCopied",
                   [](const std::string& src) {
                       write(src + "/F", rms::text(rms::fix_file({rms::bytes("abcd"), rms::bytes("efgh")}, 4)) + "xy");
                       write(src + "/F.attr", "org=seq rfm=fix lrl=4 rat=cr\n");
                   },
                   "copied", "short_last_record", "last record only 2 bytes", {{"F", "abcd\nefgh\nxy"}}, 0},
        // Records the file's own pointers leave out are named, and the
        // copy is not taken for the whole file.
        StatusCase{"RecordsPastEofMakeItUnsure",
                   [](const std::string& src) {
                       rms::RelativeFileLayout layout;
                       layout.buckets = {{rms::present_cell(rms::bytes("kept"))},
                                         {rms::present_cell(rms::bytes("left"))}};
                       layout.eof = 3;
                       write(src + "/F", rms::text(rms::relative_file(layout)));
                       write(src + "/F.attr", "org=rel rfm=var rat=cr bks=1 lrl=20\n");
                   },
                   "unsure", "data_left_behind", "-w-releof", {{"F", "kept\n"}}, 2}),
    [](const testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

// Binary variable-length records are sure, their line ends not: the row
// stays copied and says the line ends are a guess.
TEST(Rescue, GuessedLineEndsAreSaid) {
    TempDir dir;
    std::vector<rms::Bytes> records;
    for (int i = 0; i < 40; ++i) records.push_back(rms::Bytes{0, 1, static_cast<unsigned char>(i), 0xff, 0x80, 7});
    write_files(dir.path("src"), {{"F", rms::text(rms::var_file(records))}});
    const ToolResult r = run_unrms_rescue({"-q", "-o", dir.path("out"), dir.path("src")});
    const json row = manifest_rows(dir.path("out"))[0];
    EXPECT_EQ(row["status"], "copied") << row.dump();
    EXPECT_EQ(row["line_ends"], "guessed");
    EXPECT_EQ(r.status, 0);
}

// An existing output is kept without -f (the row still names the
// attributes) and replaced with it; so is a kept partial copy.
TEST(Rescue, ExistingOutputsNeedForce) {
    TempDir dir;
    write_files(dir.path("src"), {{"F", text_file()}, {"F.attr", kTextAttr}, {"G", text_file().substr(0, 100)},
                                  {"G.attr", kTextAttr}});
    write_files(dir.path("out"), {{"F", "old"}, {"G.partial", "old"}});
    const ToolResult kept = run_unrms_rescue({"-q", "-o", dir.path("out"), dir.path("src")});
    std::vector<json> rows = manifest_rows(dir.path("out"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["status"], "skipped");
    EXPECT_EQ(rows[0]["message"], "the output exists (-f replaces it)");
    EXPECT_EQ(rows[0]["attributes"], "org=seq rfm=var rat=cr lrl=32767");
    EXPECT_EQ(rows[0]["output"], dir.path("out/F"));
    EXPECT_EQ(rows[1]["status"], "failed");
    EXPECT_NE(rows[1]["message"].get<std::string>().find("G.partial exists"), std::string::npos);
    EXPECT_EQ(file_text(dir.path("out/F")), "old");
    EXPECT_EQ(file_text(dir.path("out/G.partial")), "old");
    EXPECT_EQ(kept.status, 1);

    const ToolResult replaced = run_unrms_rescue({"-q", "-f", "-o", dir.path("out"), dir.path("src")});
    rows = manifest_rows(dir.path("out"));
    EXPECT_EQ(rows[0]["status"], "copied");
    EXPECT_EQ(file_text(dir.path("out/F")), text_lines());
    EXPECT_EQ(rows[1]["output"], dir.path("out/G.partial"));
    EXPECT_NE(file_text(dir.path("out/G.partial")), "old");
    EXPECT_EQ(replaced.status, 1);
}

// -n prints the plan and writes nothing, not even OUTDIR.
TEST(Rescue, PlanWritesNothing) {
    TempDir dir;
    write_files(dir.path("src"), {{"A.COM", text_file()}, {"A.COM.attr", kTextAttr}, {"B.DAT", std::string(1024, '\0')},
                                  {"C.COM", text_file()}, {"C.COM.attr", "org=xyz"}});
    fs::create_symlink("A.COM", dir.path("src/L"));
    const std::string src = dir.path("src");
    const ToolResult r = run_unrms_rescue({"-n", "-o", dir.path("out"), src});
    const std::string b = r.out.substr(r.out.find(src + "/B.DAT"));
    EXPECT_EQ(r.out, src + "/A.COM: org=seq rfm=var rat=cr lrl=32767 (sidecar)\n" +
                         b.substr(0, b.find('\n') + 1) +
                         src + "/C.COM: failed: -e-opterr, unknown file organization org=xyz\n" +
                         src + "/L: skipped: a symbolic link, not followed\n");
    EXPECT_EQ(b.substr(0, b.find('(')), src + "/B.DAT: org=seq rfm=fix rat=none lrl=512 ");
    EXPECT_NE(b.find("(probe, unsure: score "), std::string::npos) << b;
    EXPECT_EQ(r.err, summary(1, 1, 1, 1));
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir.path("out")));
}

// A PATH that is a file goes to OUTDIR under its base name, with its
// sidecar; two sources of one output name: the first PATH's wins.
TEST(Rescue, PathsOfFiles) {
    TempDir dir;
    write_files(dir.path("a"), {{"LOGIN.COM", text_file()}, {"LOGIN.COM.attr", kTextAttr}});
    write_files(dir.path("b"), {{"LOGIN.COM", "other"}});
    const ToolResult r = run_unrms_rescue(
        {"-q", "-o", dir.path("out"), dir.path("a/LOGIN.COM"), dir.path("b/"), dir.path("a/LOGIN.COM.attr")});
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0]["source"], dir.path("a/LOGIN.COM"));
    EXPECT_EQ(rows[0]["from"], "sidecar");
    EXPECT_EQ(rows[1]["source"], dir.path("a/LOGIN.COM.attr"));
    EXPECT_EQ(rows[1]["message"], "the attributes of the file beside it");
    EXPECT_EQ(rows[2]["source"], dir.path("b/LOGIN.COM"));
    EXPECT_EQ(rows[2]["message"], "the same output as " + dir.path("a/LOGIN.COM"));
    EXPECT_EQ(file_text(dir.path("out/LOGIN.COM")), text_lines());
    EXPECT_EQ(r.status, 0);
}

struct UsageCase {
    const char* name;
    std::vector<std::string> words;
    const char* err;  // before the usage line
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }

class RescueUsageTest : public testing::TestWithParam<UsageCase> {};

TEST_P(RescueUsageTest, PrintsUsage) {
    const UsageCase& c = GetParam();
    const ToolResult r = run_unrms_rescue(c.words);
    EXPECT_EQ(r.err, std::string(c.err) + "usage: unrms-rescue [-j N] [-f] [-n] [-q] [--raw] -o OUTDIR PATH...\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Usage, RescueUsageTest,
    testing::Values(UsageCase{"NoOutdir", {"src"}, ""}, UsageCase{"NoPath", {"-o", "out"}, ""},
                    UsageCase{"UnknownOption", {"-x", "-o", "out", "src"},
                              "get command line option: Invalid argument\n"},
                    UsageCase{"ZeroWorkers", {"-j", "0", "-o", "out", "src"},
                              "unrms-rescue: -j takes a number of workers from 1 to 256\n"},
                    UsageCase{"WorkersNotANumber", {"-j2x", "-o", "out", "src"},
                              "unrms-rescue: -j takes a number of workers from 1 to 256\n"},
                    UsageCase{"MissingWorkerCount", {"-o", "out", "-j"},
                              "get command line option: Invalid argument\n"}),
    [](const testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The real files with their recorded attributes: NAME beside NAME.attr.
std::vector<fs::path> real_data_files() {
    std::vector<fs::path> files;
    std::error_code error;
    const fs::path root = fs::canonical(UNRMS_REALFILES_DIR, error);
    for (const auto& entry : fs::recursive_directory_iterator(root, error)) {
        if (entry.path().extension() == ".attr") files.push_back(fs::path(entry.path()).replace_extension());
    }
    return files;
}

// Each real file is converted with the attributes of its sidecar to what
// unrms -a NAME.attr NAME writes: a complete copy, or the records before
// the damage as NAME.partial with unrms's message, or a refusal.
TEST(RescueRealFiles, SidecarsGiveTheAttributes) {
    const std::vector<fs::path> files = real_data_files();
    if (files.empty()) GTEST_SKIP() << "no real files at " << UNRMS_REALFILES_DIR;
    TempDir dir;
    const std::string root = fs::canonical(UNRMS_REALFILES_DIR).string();
    const ToolResult r = run_unrms_rescue({"-q", "-o", dir.path("out"), root});
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    bool any_failed = false;
    for (const fs::path& data : files) {
        SCOPED_TRACE(data.string());
        const std::string relative = fs::relative(data, root).string();
        const json row = row_of(rows, data.string());
        EXPECT_EQ(row["from"], "sidecar");
        const ToolResult unrms = run_unrms({"-a", data.string() + ".attr", data.string()});
        // A file that ends inside its last fixed-length record is all there.
        const bool short_last = unrms.err.find("last record only") != std::string::npos;
        if (unrms.status == 0 || short_last) {
            EXPECT_EQ(row["status"], "copied") << row.dump();
            EXPECT_EQ(row["reason"], short_last ? json("short_last_record") : json()) << row.dump();
            EXPECT_TRUE(file_text(dir.path("out/" + relative)) == unrms.out);
            continue;
        }
        any_failed = true;
        EXPECT_EQ(row["status"], "failed");
        // unrms's last message line, without its leading blanks and line end.
        std::string last = unrms.err.substr(unrms.err.rfind('\n', unrms.err.size() - 2) + 1);
        last = last.substr(last.find_first_not_of(' '));
        last.pop_back();
        const std::string message = row["message"].get<std::string>();
        EXPECT_NE(message.find(last), std::string::npos) << message;
        EXPECT_FALSE(fs::exists(dir.path("out/" + relative)));
        if (!unrms.out.empty()) {
            EXPECT_TRUE(file_text(dir.path("out/" + relative + ".partial")) == unrms.out);
        }
    }
    const bool any_row_failed =
        std::any_of(rows.begin(), rows.end(), [](const json& row) { return row["status"] == "failed"; });
    const bool any_row_unsure =
        std::any_of(rows.begin(), rows.end(), [](const json& row) { return row["status"] == "unsure"; });
    EXPECT_TRUE(any_row_failed || !any_failed);
    EXPECT_EQ(r.status, any_row_failed ? 1 : any_row_unsure ? 2 : 0) << r.err;
}

// With the sidecars hidden every answer is the probe's, and its confidence
// decides between copied and unsure.
TEST(RescueRealFiles, WithoutSidecarsTheProbeAnswers) {
    const std::vector<fs::path> files = real_data_files();
    if (files.empty()) GTEST_SKIP() << "no real files at " << UNRMS_REALFILES_DIR;
    TempDir dir;
    for (const fs::path& data : files) {
        const fs::path copy = dir.path("src/" + fs::relative(data, fs::canonical(UNRMS_REALFILES_DIR)).string());
        fs::create_directories(copy.parent_path());
        fs::copy_file(data, copy);
    }
    const ToolResult r = run_unrms_rescue({"-q", "-o", dir.path("out"), dir.path("src")});
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    ASSERT_EQ(rows.size(), files.size());
    int unsure = 0, failed = 0;
    for (const json& row : rows) {
        SCOPED_TRACE(row.dump());
        EXPECT_EQ(row["from"], "probe");
        EXPECT_TRUE(row["confident"].is_boolean());
        if (row["status"] == "failed") {
            ++failed;
        } else {
            EXPECT_EQ(row["status"], row["confident"].get<bool>() ? "copied" : "unsure");
            unsure += row["status"] == "unsure" ? 1 : 0;
        }
    }
    EXPECT_GT(unsure, 0);  // the indexed files' carriage control is always a guess
    EXPECT_EQ(r.status, failed != 0 ? 1 : 2);
}

}  // namespace
