// The bundled examples: they are what the builder makes today, and unrms
// still gives their expected output.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "run_tool.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

TEST(Examples, MatchTheBuilderAndTheirExpectedOutput) {
    const fs::path bundled = fs::path(UNRMS_SOURCE_DIR) / "examples";
    TempDir fresh;
    ToolRun make({fresh.path("")});
    make.program = MAKE_EXAMPLES_BINARY;
    ASSERT_EQ(run_tool(make).status, 0);

    int examples = 0;
    for (const auto& entry : fs::directory_iterator(fresh.path(""))) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        EXPECT_TRUE(slurp(entry.path()) == slurp(bundled / name))
            << "examples/" << name << " is stale: run build/tests/make_examples examples";
        if (entry.path().extension() != ".attr") continue;
        fs::path data = bundled / name;
        data.replace_extension();
        ToolResult r = run_unrms({"-a", (bundled / name).string(), data.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.out == slurp(data.string() + ".expected"));
        ++examples;
    }
    EXPECT_GT(examples, 0);
}

}  // namespace
