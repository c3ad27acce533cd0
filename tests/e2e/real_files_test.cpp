// Real OpenVMS files, when the collection is present beside the project:
// each must be copied or refused with a message, never crash or hang.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "run_tool.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_view_literals;

std::vector<fs::path> real_files() {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(UNRMS_REALFILES_DIR, error)) {
        if (entry.path().extension() == ".attr") {
            fs::path data = entry.path();
            data.replace_extension();
            files.push_back(data);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(RealFiles, EachIsCopiedOrRefusedWithAMessage) {
    std::vector<fs::path> files = real_files();
    if (files.empty()) {
        GTEST_SKIP() << "no real files at " << UNRMS_REALFILES_DIR;
    }
    for (const fs::path& data : files) {
        SCOPED_TRACE(data.string());
        ToolResult r = run_unrms({"-v3", "-a", data.string() + ".attr", data.string()});
        ASSERT_TRUE(r.status == 0 || r.status == 1) << r.err;
        if (r.status == 1) {
            ASSERT_FALSE(r.err.empty());
            std::string last_line = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
            EXPECT_EQ(last_line.find("Success"), std::string::npos) << last_line;
        }
    }
}

// Text files copy to text: no control character but tab, form feed and line
// end (bytes from 0xA0 are the DEC multinational set: letters and signs).
TEST(RealFiles, VariableTextFilesCopyToText) {
    std::vector<fs::path> files = real_files();
    if (files.empty()) {
        GTEST_SKIP() << "no real files at " << UNRMS_REALFILES_DIR;
    }
    int checked = 0;
    for (const fs::path& data : files) {
        std::ifstream attr(data.string() + ".attr");
        std::string line;
        std::getline(attr, line);
        if (line.find("org=seq rfm=var rat=cr") == std::string::npos) continue;
        SCOPED_TRACE(data.string());
        ToolResult r = run_unrms({"-a", data.string() + ".attr", data.string()});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        for (unsigned char c : r.out) {
            ASSERT_TRUE(c == '\n' || c == '\t' || c == '\f' || (c >= 0x20 && c != 0x7f && (c < 0x80 || c >= 0xa0)))
                << int(c);
        }
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

std::string file_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Stream files: a text procedure of CR LF lines with Spanish letters of the
// DEC multinational set, and PostScript of CR lines with a tab and an empty
// line. Each gives its lines, the terminators turned into line ends; with
// -r, its bytes unchanged.
TEST(RealFiles, StreamFilesCopyTheirLines) {
    const fs::path kits = fs::path(UNRMS_REALFILES_DIR) / "vaxkits";
    if (!fs::exists(kits)) {
        GTEST_SKIP() << "no real files at " << UNRMS_REALFILES_DIR;
    }
    struct Expected {
        const char* name;
        const char* count;
        std::string_view first_lines;
        std::string_view inside;
        std::string_view last_lines;
    };
    const Expected files[] = {
        {"CBIEDTMSG.SCP", "11 records copied\n",
         "!  Called by TR option on WP and EMC when default editor is not WPS-PLUS or WPS\n\n"
         ".box F1, 15, 4, 74, 8, 1, \" 1 / 1 \"\n"sv,
         "desde este men\xfa. S\xf3lo se puede\nacceder a \xe9l cuando"sv, "\n.end_box\n\n.delete_box *\n.exit\n"sv},
        {"IGNORE-A-SIZE.PS", "60 records copied\n", "%!\n%  IGNORE-A-SIZE.PS\n%  B. Harish Kamath\t01-Oct-1998\n%\n"sv,
         "%  This module, when submitted along with print jobs, discards selection of\n"sv,
         "ifelse\n\n% End of module\n"sv},
    };
    for (const Expected& file : files) {
        SCOPED_TRACE(file.name);
        const fs::path data = kits / file.name;
        ToolResult r = run_unrms({"-v", "-a", data.string() + ".attr", data.string()});
        EXPECT_EQ(r.status, 0);
        ASSERT_GE(r.err.size(), std::strlen(file.count));
        EXPECT_EQ(r.err.substr(r.err.size() - std::strlen(file.count)), file.count);
        EXPECT_EQ(r.out.find('\r'), std::string::npos);
        EXPECT_EQ(r.out.substr(0, file.first_lines.size()), file.first_lines);
        EXPECT_NE(r.out.find(file.inside), std::string::npos);
        ASSERT_GE(r.out.size(), file.last_lines.size());
        EXPECT_EQ(r.out.substr(r.out.size() - file.last_lines.size()), file.last_lines);
        EXPECT_EQ(run_unrms({"-r", "-a", data.string() + ".attr", data.string()}).out, file_bytes(data));
    }
}

// Indexed files of variable-length records walk their whole bucket ring:
// each gives exactly the records its data buckets hold, whether its keys
// and data are compressed or not. Fixed-length ones are not handled yet.
TEST(RealFiles, IndexedFilesCopyEveryRecord) {
    const fs::path kits = fs::path(UNRMS_REALFILES_DIR) / "vaxkits";
    if (!fs::exists(kits)) {
        GTEST_SKIP() << "no real files at " << UNRMS_REALFILES_DIR;
    }
    struct Expected {
        const char* name;
        const char* last_line;
        int status;
    };
    const Expected files[] = {
        {"ACMSAAF.DAT", "2 records copied\n", 0},              // key and data compressed
        {"BCC$BRI_MSG.DAT", "19 records copied\n", 0},         // plain
        {"DECW$MOTIF_KITBLD.IDX", "1424 records copied\n", 0}, // buckets out of block order
        {"FORTRAN$MSGHLP.MSGHLP$DATA", "2756 records copied\n", 0},
        {"NOTES$SAMPLE.NOTE", "74 records copied\n", 0},        // data compressed only
        {"TMRA1$PROFILE.DAT", "0 records copied\n", 0},        // index never initialised
        {"EMPLOYEE.DAT", " - not yet implemented\n", 1},
    };
    for (const Expected& file : files) {
        SCOPED_TRACE(file.name);
        const std::string data = (kits / file.name).string();
        ToolResult r = run_unrms({"-v", "-a", data + ".attr", data});
        EXPECT_EQ(r.status, file.status);
        ASSERT_GE(r.err.size(), std::strlen(file.last_line));
        EXPECT_EQ(r.err.substr(r.err.size() - std::strlen(file.last_line)), file.last_line);
    }
    // A kit build list: the key (an action) in front, file names behind it,
    // both expanded from compressed forms.
    const std::string kitbld = (kits / "DECW$MOTIF_KITBLD.IDX").string();
    ToolResult r = run_unrms({"-a", kitbld + ".attr", kitbld});
    EXPECT_EQ(r.out.substr(0, 10), "AINST  PMT");
    EXPECT_NE(r.out.find("AINST  DFT\n\0\0\x04\0[KIT.OBJ]DECW$SETPARAMS.COM\n"sv), std::string::npos);
}

}  // namespace
