// The bundled examples: examples/ holds exactly what the builder makes
// today, every example comes with its attribute file and expected output,
// and unrms still gives that output.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "run_tool.h"

namespace {

namespace fs = std::filesystem;

const fs::path kBundled = fs::path(UNRMS_SOURCE_DIR) / "examples";

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The files below directory, by their path relative to it.
std::set<std::string> file_names(const fs::path& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(directory)) {
        if (entry.is_regular_file()) {
            names.insert(fs::relative(entry.path(), directory).string());
        }
    }
    return names;
}

// The examples are the files that are neither attribute files nor expected
// outputs, the archives aside.
std::set<std::string> example_names(const std::set<std::string>& files) {
    std::set<std::string> names;
    std::copy_if(files.begin(), files.end(), std::inserter(names, names.end()), [](const std::string& name) {
        const fs::path extension = fs::path(name).extension();
        return extension != ".attr" && extension != ".expected" && !name.starts_with("archives/");
    });
    return names;
}

TEST(Examples, AreWhatTheBuilderMakes) {
    TempDir fresh;
    ToolRun make({fresh.path("")});
    make.program = MAKE_EXAMPLES_BINARY;
    ASSERT_EQ(run_tool(make).status, 0);

    const std::set<std::string> made = file_names(fresh.path(""));
    EXPECT_EQ(made, file_names(kBundled)) << "run build/tests/make_examples examples";
    for (const std::string& name : made) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(slurp(fs::path(fresh.path(name))) == slurp(kBundled / name))
            << "examples/" << name << " is stale: run build/tests/make_examples examples";
    }
}

TEST(Examples, EachCopiesToItsExpectedOutput) {
    const std::set<std::string> files = file_names(kBundled);
    const std::set<std::string> examples = example_names(files);
    EXPECT_FALSE(examples.empty());
    for (const std::string& name : examples) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(files.count(name + ".attr")) << "examples/" << name << " has no attribute file";
        ASSERT_TRUE(files.count(name + ".expected")) << "examples/" << name << " has no expected output";
        const fs::path data = kBundled / name;
        ToolResult r = run_unrms({"-a", data.string() + ".attr", data.string()});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(r.out == slurp(data.string() + ".expected"));
    }
}

// The archives of the rescue's worked example: each member, the saveset
// nested in the zip too, converts to its example's expected output.
TEST(Examples, ArchivesRescueToTheExamples) {
    TempDir dir;
    ToolRun rescue({"-q", "-o", dir.path("out"), (kBundled / "archives").string()});
    rescue.program = UNRMS_RESCUE_BINARY;
    ASSERT_EQ(run_tool(rescue).status, 0);
    const std::pair<const char*, const char*> members[] = {
        {"ACCTNG.A/ACCTNG/LOGIN.COM", "LOGIN.COM"},
        {"ACCTNG.A/ACCTNG/DATA/PRICES.DAT", "PRICES.DAT"},
        {"ACCTNG.A/ACCTNG/DATA/PARTS.IDX", "PARTS.IDX"},
        {"TOOLS.ZIP/tools/notes.txt", "NOTES.TXT"},
        {"TOOLS.ZIP/tools/staff.idx", "STAFF.IDX"},
        {"TOOLS.ZIP/tools/acctng.a/ACCTNG/LOGIN.COM", "LOGIN.COM"},
    };
    for (const auto& [output, example] : members) {
        SCOPED_TRACE(output);
        EXPECT_TRUE(slurp(dir.path(std::string("out/") + output)) == slurp(kBundled / (std::string(example) + ".expected")));
    }
}

}  // namespace
