// Table-driven end-to-end cases: a built file, its attributes, the options,
// and exactly what unrms must write and exit with.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "run_tool.h"
#include "unrms_version.h"

struct CopyCase {
    const char* name;
    std::vector<unsigned char> file;
    std::string attributes;  // given on standard input
    std::vector<std::string> options;
    std::string out;
    std::string err;
    int status;
};

inline void PrintTo(const CopyCase& c, std::ostream* os) { *os << c.name; }

inline std::string copy_case_name(const testing::TestParamInfo<CopyCase>& info) { return info.param.name; }

inline void expect_copy(const CopyCase& c) {
    ToolResult r = run_on_file(c.file, c.attributes, c.options);
    EXPECT_TRUE(r.out == c.out) << "stdout:\n" << testing::PrintToString(r.out) << "\nexpected:\n"
                                << testing::PrintToString(c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, c.status);
}

inline const std::string kVersionLine = std::string("unrms, version ") + kUnrmsVersion + "\n";
