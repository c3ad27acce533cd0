// unrms-rescue on hostile trees: files that cannot be read, names that are
// not one line, symbolic links in loops and planted in OUTDIR, OUTDIR
// inside the tree, a disk that fills up. Whatever happens, nothing is
// written outside OUTDIR, no temporary file is left, and one file's
// trouble is its row, never the end of the run.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "rescue_support.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kTextAttr = "org=seq rfm=var rat=cr\n";

void expect_no_temporary(const std::map<std::string, std::string>& files) {
    for (const auto& [name, content] : files) {
        EXPECT_EQ(fs::path(name).filename().string().find(".unrms-rescue-"), std::string::npos) << name;
    }
}

TEST(RescueHostile, UnreadableFileInATree) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads a file of mode 000; UnreadableNamedFile covers the case for root";
    }
    TempDir dir;
    write_files(dir.path("src"), {{"A", text_file()}, {"A.attr", kTextAttr}, {"B", text_file()}});
    fs::permissions(dir.path("src/B"), fs::perms::none);
    const ToolResult r = run_unrms_rescue({"-q", "-o", dir.path("out"), dir.path("src")});
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["status"], "copied");
    EXPECT_EQ(rows[1]["status"], "failed");
    EXPECT_EQ(rows[1]["message"], "open: Permission denied");
    EXPECT_EQ(r.err, "unrms-rescue: " + dir.path("src/B") + ": open: Permission denied\n");
    EXPECT_EQ(r.status, 1);
}

// A file whose every read fails, for root too: the process's own memory at
// address 0. The files after it are still copied.
TEST(RescueHostile, UnreadableNamedFile) {
    TempDir dir;
    write_files(dir.path("src"), {{"A", text_file()}, {"A.attr", kTextAttr}});
    const ToolResult r = run_unrms_rescue({"-q", "-o", dir.path("out"), "/proc/self/mem", dir.path("src")});
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["source"], "/proc/self/mem");
    EXPECT_EQ(rows[0]["status"], "failed");
    EXPECT_EQ(rows[0]["message"], "read: Input/output error");
    EXPECT_EQ(rows[1]["status"], "copied");
    EXPECT_EQ(file_text(dir.path("out/A")), text_lines());
    EXPECT_FALSE(fs::exists(dir.path("out/mem")));
    EXPECT_EQ(r.status, 1);
}

// Names are bytes: a line feed, a control character, dots, a byte that is
// not UTF-8, a leading dash. Outputs take the same names; the manifest's
// JSON carries them (the invalid byte as U+FFFD); the plan and the lines
// on standard error show them escaped, one line each.
TEST(RescueHostile, NamesOfAnyBytes) {
    TempDir dir;
    const std::map<std::string, std::string> names = {
        {"a\nb", "a\\nb"}, {"..x", "..x"}, {"x..", "x.."}, {"...", "..."}, {"-n", "-n"}, {"back\\slash", "back\\\\slash"},
        {"bad\x01" "name", "bad\\x01name"}, {"\xff", "\\xFF"}, {"caf\xc3\xa9", "caf\xc3\xa9"}};
    std::map<std::string, std::string> files;
    for (const auto& [name, shown] : names) {
        files["d/" + name] = text_file();
        files["d/" + name + ".attr"] = name == "bad\x01" "name" ? "org=xyz" : kTextAttr;
    }
    write_files(dir.path("src"), files);
    const std::string src = dir.path("src");
    const ToolResult r = run_unrms_rescue({"-o", dir.path("out"), src});
    EXPECT_EQ(r.status, 1);
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    ASSERT_EQ(rows.size(), names.size());
    for (const auto& [name, shown] : names) {
        SCOPED_TRACE(shown);
        const std::string source = src + "/d/" + (name == "\xff" ? "\xef\xbf\xbd" : name);
        const json row = row_of(rows, source);
        EXPECT_EQ(row.contains("source_bytes"), name == "\xff");
        if (name == "\xff") {
            EXPECT_EQ(row["source_bytes"], src + "/d/\\xFF");
        }
        if (name == "bad\x01" "name") {
            EXPECT_EQ(row["status"], "failed");
            EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1),
                      "unrms-rescue: " + src + "/d/bad\\x01name: -e-opterr, unknown file organization org=xyz\n");
        } else {
            EXPECT_EQ(row["status"], "copied");
            EXPECT_EQ(file_text(dir.path("out/d/" + name)), text_lines());
        }
    }
    const ToolResult plan = run_unrms_rescue({"-n", "-o", dir.path("out"), src});
    std::string expected;
    for (const auto& [name, shown] : names) {
        expected += src + "/d/" + shown +
                    (name == "bad\x01" "name"
                         ? ": failed: -e-opterr, unknown file organization org=xyz\n"
                         : ": org=seq rfm=var rat=cr lrl=32767 (sidecar), skipped: the output exists (-f replaces it)\n");
    }
    EXPECT_EQ(plan.out, expected);
}

// Links are never followed: a link to its own directory, to the parent, to
// itself are skipped rows, and the walk ends.
TEST(RescueHostile, SymbolicLinkLoops) {
    TempDir dir;
    write_files(dir.path("src"), {{"sub/F", text_file()}, {"sub/F.attr", kTextAttr}});
    fs::create_directory_symlink(".", dir.path("src/loop"));
    fs::create_directory_symlink("..", dir.path("src/sub/up"));
    fs::create_symlink("self", dir.path("src/self"));
    const ToolResult r = run_unrms_rescue({"-q", "-o", dir.path("out"), dir.path("src")});
    const std::vector<json> rows = manifest_rows(dir.path("out"));
    ASSERT_EQ(rows.size(), 4u);
    for (const char* link : {"src/loop", "src/self", "src/sub/up"}) {
        EXPECT_EQ(row_of(rows, dir.path(link))["message"], "a symbolic link, not followed");
    }
    EXPECT_EQ(tree_files(dir.path("out")).size(), 2u);
    EXPECT_EQ(r.status, 0);
}

// Links planted in OUTDIR that point outside: a directory, an output, the
// manifest. Nothing outside changes, with or without -f.
TEST(RescueHostile, LinksPlantedInOutdir) {
    TempDir dir;
    write_files(dir.path("src"),
                {{"sub/F", text_file()}, {"sub/F.attr", kTextAttr}, {"G", text_file()}, {"G.attr", kTextAttr}});
    write_files(dir.path("outside"), {{"victim", "keep"}});
    fs::create_directories(dir.path("out"));
    fs::create_directory_symlink(dir.path("outside"), dir.path("out/sub"));
    fs::create_symlink(dir.path("outside/victim"), dir.path("out/G"));
    fs::create_symlink(dir.path("outside/victim"), dir.path("out/unrms-rescue.jsonl"));
    const std::map<std::string, std::string> outside = tree_files(dir.path("outside"));

    const ToolResult kept = run_unrms_rescue({"-q", "-o", dir.path("out"), dir.path("src")});
    std::vector<json> rows = manifest_rows(dir.path("out"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["status"], "skipped");  // G: something has its name
    EXPECT_EQ(rows[1]["status"], "failed");
    EXPECT_EQ(rows[1]["message"], dir.path("out/sub") + ": a symbolic link, not followed");
    EXPECT_FALSE(fs::is_symlink(dir.path("out/unrms-rescue.jsonl")));
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(tree_files(dir.path("outside")), outside);

    const ToolResult forced = run_unrms_rescue({"-q", "-f", "-o", dir.path("out"), dir.path("src")});
    rows = manifest_rows(dir.path("out"));
    EXPECT_EQ(rows[0]["status"], "copied");
    EXPECT_FALSE(fs::is_symlink(dir.path("out/G")));
    EXPECT_EQ(file_text(dir.path("out/G")), text_lines());
    EXPECT_EQ(forced.status, 1);
    EXPECT_EQ(tree_files(dir.path("outside")), outside);
    expect_no_temporary(tree_files(dir.path("out")));
}

// OUTDIR inside the tree is a skipped row; the walk never descends into it,
// on the first run (made by the run) or later.
TEST(RescueHostile, OutdirInsideThePath) {
    TempDir dir;
    write_files(dir.path("src"), {{"F", text_file()}, {"F.attr", kTextAttr}});
    for (const char* force : {"-q", "-f"}) {
        SCOPED_TRACE(force);
        const ToolResult r = run_unrms_rescue({"-q", force, "-o", dir.path("src/out/"), dir.path("src")});
        const std::vector<json> rows = manifest_rows(dir.path("src/out"));
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0]["status"], "copied");
        EXPECT_EQ(rows[1]["source"], dir.path("src/out"));
        EXPECT_EQ(rows[1]["message"], "the output directory, not walked");
        EXPECT_EQ(tree_files(dir.path("src/out")).size(), 2u);
        EXPECT_EQ(r.status, 0);
    }
}

// A PATH at or below OUTDIR is refused before anything is written: its
// files would be replaced by their outputs (-f -o . DATA.DAT), or read after
// they were.
TEST(RescueHostile, SourcesInsideOutdirAreRefused) {
    TempDir dir;
    write_files(dir.path("out"), {{"DATA.DAT", text_file()}, {"DATA.DAT.attr", kTextAttr}, {"a/F", text_file()}});
    const std::map<std::string, std::string> before = tree_files(dir.path("out"));
    const std::vector<std::vector<std::string>> runs = {
        {"-f", "-o", dir.path("out"), dir.path("out/DATA.DAT")},
        {"-f", "-o", dir.path("out"), dir.path("out/a")},
        {"-f", "-o", dir.path("out/a/.."), dir.path("out")},
        {"-n", "-o", dir.path("out"), dir.path("out/a/F")}};
    for (const std::vector<std::string>& words : runs) {
        SCOPED_TRACE(words.back());
        const ToolResult r = run_unrms_rescue(words);
        EXPECT_EQ(r.err, "unrms-rescue: " + words.back() + " lies inside the output directory " + words[words.size() - 2] +
                             ": refused\n");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(tree_files(dir.path("out")), before);
    }
}

// An output name that is a source of the run (a hard link) is never
// replaced, with -f too.
TEST(RescueHostile, OutputThatIsASourceIsKept) {
    TempDir dir;
    write_files(dir.path("src"), {{"F", text_file()}, {"F.attr", kTextAttr}});
    fs::create_directories(dir.path("out"));
    fs::create_hard_link(dir.path("src/F"), dir.path("out/F"));
    const ToolResult r = run_unrms_rescue({"-q", "-f", "-o", dir.path("out"), dir.path("src")});
    const json row = manifest_rows(dir.path("out"))[0];
    EXPECT_EQ(row["status"], "failed");
    EXPECT_EQ(row["reason"], "output_is_source");
    EXPECT_EQ(row["message"], dir.path("out/F") + " is a source of this run: not replaced");
    EXPECT_EQ(file_text(dir.path("src/F")), text_file());
    EXPECT_EQ(r.status, 1);
}

// Every name a run writes is claimed before the first file is converted:
// a source named NAME.partial keeps its output, and NAME's damage keeps
// nothing; a file and a directory of one output name from two PATHs: the
// first PATH's wins. The same whatever the workers.
TEST(RescueHostile, ClaimedNamesClashTheSameWayWhateverTheWorkers) {
    TempDir dir;
    write_files(dir.path("a"), {{"F", text_file().substr(0, 100)}, {"F.attr", kTextAttr}, {"F.partial", text_file()},
                                {"F.partial.attr", kTextAttr}, {"x", text_file()}, {"x.attr", kTextAttr}});
    write_files(dir.path("b"), {{"x/y", text_file()}, {"x/y.attr", kTextAttr}});
    for (const char* workers : {"-j1", "-j3"}) {
        SCOPED_TRACE(workers);
        const std::string out = dir.path(std::string("out") + workers);
        const ToolResult r = run_unrms_rescue({workers, "-q", "-o", out, dir.path("a"), dir.path("b")});
        const std::vector<json> rows = manifest_rows(out);
        const json damaged = row_of(rows, dir.path("a/F"));
        EXPECT_EQ(damaged["status"], "failed");
        EXPECT_NE(damaged["message"].get<std::string>().find(
                      out + "/F.partial is the output of " + dir.path("a/F.partial") +
                      ": the records before the damage are not kept"),
                  std::string::npos)
            << damaged.dump();
        const json in_the_way = row_of(rows, dir.path("b/x/y"));
        EXPECT_EQ(in_the_way["status"], "skipped");
        EXPECT_EQ(in_the_way["reason"], "output_in_the_way");
        EXPECT_EQ(in_the_way["message"], "its output needs a directory where " + dir.path("a/x") + " has its output");
        std::map<std::string, std::string> files = tree_files(out);
        files.erase("unrms-rescue.jsonl");
        EXPECT_EQ(files, (std::map<std::string, std::string>{{"F.partial", text_lines()}, {"x", text_lines()}}));
        EXPECT_EQ(r.status, 1);
    }
}

// Temporary files of an interrupted run are removed by the next one, and
// only those: names of the rescue's own form. A -f run that completes a
// file removes its partial copy of an earlier run.
TEST(RescueHostile, LeftoversOfEarlierRunsAreCleared) {
    TempDir dir;
    write_files(dir.path("src"), {{"sub/F", text_file().substr(0, 100)}, {"sub/F.attr", kTextAttr}});
    write_files(dir.path("out"), {{".unrms-rescue-manifest.tmp", "x"}, {"sub/.unrms-rescue-17.tmp", "x"},
                                  {"sub/.unrms-rescue-notes", "keep"}});
    run_unrms_rescue({"-q", "-o", dir.path("out"), dir.path("src")});
    EXPECT_EQ(tree_files(dir.path("out")).count("sub/F.partial"), 1u);
    write_files(dir.path("src"), {{"sub/F", text_file()}});
    const ToolResult r = run_unrms_rescue({"-q", "-f", "-o", dir.path("out"), dir.path("src")});
    std::map<std::string, std::string> files = tree_files(dir.path("out"));
    files.erase("unrms-rescue.jsonl");
    EXPECT_EQ(files, (std::map<std::string, std::string>{{"sub/.unrms-rescue-notes", "keep"}, {"sub/F", text_lines()}}));
    EXPECT_EQ(r.status, 0);
}

// A disk that fills up, as a file-size limit makes it: the file that does
// not fit is a failed row with nothing under its name, the others are
// copied; a manifest that does not fit fails the run.
struct FullDiskCase {
    const char* name;
    const char* blocks;  // ulimit -f
    const char* err;     // contained in standard error
    bool small_copied;
};

void PrintTo(const FullDiskCase& c, std::ostream* os) { *os << c.name; }

class RescueFullDiskTest : public testing::TestWithParam<FullDiskCase> {};

TEST_P(RescueFullDiskTest, FailsTheFileThatDoesNotFit) {
    const FullDiskCase& c = GetParam();
    TempDir dir;
    std::vector<rms::Bytes> records(40000, rms::bytes(std::string(50, 'x')));
    write_files(dir.path("src"), {{"BIG", rms::text(rms::fix_file(records, 50))},
                                  {"BIG.attr", "org=seq rfm=fix lrl=50 rat=cr\n"},
                                  {"SMALL", text_file()},
                                  {"SMALL.attr", kTextAttr}});
    ToolRun run({"-c", std::string("ulimit -f ") + c.blocks + "; exec \"$0\" \"$@\"", UNRMS_RESCUE_BINARY, "-q", "-o",
                 dir.path("out"), dir.path("src")});
    run.program = "/bin/sh";
    const ToolResult r = run_tool(run);
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(r.status, 1);
    const std::map<std::string, std::string> files = tree_files(dir.path("out"));
    expect_no_temporary(files);
    EXPECT_EQ(files.count("BIG"), 0u);
    EXPECT_EQ(files.count("BIG.partial"), 0u);
    EXPECT_EQ(files.count("SMALL") != 0 && files.at("SMALL") == text_lines(), c.small_copied);
}

INSTANTIATE_TEST_SUITE_P(
    FullDisk, RescueFullDiskTest,
    testing::Values(FullDiskCase{"OutputDoesNotFit", "1000", ": write: File too large\n", true},
                    FullDiskCase{"ManifestDoesNotFit", "1", "unrms-rescue.jsonl: write: File too large\n", false}),
    [](const testing::TestParamInfo<FullDiskCase>& info) { return std::string(info.param.name); });

}  // namespace
