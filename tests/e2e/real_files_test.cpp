// Real OpenVMS files, when the collection is present beside the project:
// each must be copied or refused with a message, never crash or hang.
#include <gtest/gtest.h>

#include <algorithm>
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

bool is_text_output(unsigned char c) {
    return c == '\n' || c == '\t' || c == '\f' || (c >= 0x20 && c != 0x7f && (c < 0x80 || c >= 0xa0));
}

// Text files copy to text: no control character but tab, form feed and line
// end (bytes from 0xA0 are the DEC multinational set: letters and signs).
// Files of rat=cr whose records are binary (procedure libraries) are told
// by their content: a quarter of their bytes and more are no text, where a
// copy of text that let length words through would show a few in a line.
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
        const auto other = std::count_if(r.out.begin(), r.out.end(), [](char c) { return !is_text_output(c); });
        if (other * 4 >= static_cast<std::ptrdiff_t>(r.out.size())) continue;
        for (unsigned char c : r.out) {
            ASSERT_TRUE(is_text_output(c)) << int(c);
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

// Every indexed file walks its whole bucket ring: each gives exactly the
// records its data buckets hold, of variable or fixed length, whether its
// keys and data are compressed or not, of prolog version 2 or 3.
TEST(RealFiles, IndexedFilesCopyEveryRecord) {
    const fs::path kits = fs::path(UNRMS_REALFILES_DIR) / "vaxkits";
    if (!fs::exists(kits)) {
        GTEST_SKIP() << "no real files at " << UNRMS_REALFILES_DIR;
    }
    struct Expected {
        const char* name;
        const char* last_line;
    };
    const Expected files[] = {
        {"ACMSAAF.DAT", "2 records copied\n"},              // key and data compressed
        {"BCC$BRI_MSG.DAT", "19 records copied\n"},         // plain
        {"BSTR_CLI_CAT.CAT", "200 records copied\n"},       // fixed, 17-block buckets
        {"CM$ETYPES_CART.DAT", "28 records copied\n"},      // fixed, a key of three segments
        {"DDS_PERM_AIF.DAT", "2 records copied\n"},         // fixed, key compressed only
        {"DECSET$MENU.VUE$DAT", "4 records copied\n"},
        {"DECW$MOTIF_KITBLD.IDX", "1424 records copied\n"}, // buckets out of block order
        {"DEPPRIV.DAT", "5 records copied\n"},
        {"EMPLOYEE.DAT", "4 records copied\n"},             // prolog 2
        {"FORTRAN$MSGHLP.MSGHLP$DATA", "2756 records copied\n"},
        {"MB$CNFDB_IVP.DAT", "303 records copied\n"},
        {"NOTES$SAMPLE.NOTE", "74 records copied\n"},       // data compressed only
        {"PERHIST.DAT", "13 records copied\n"},             // prolog 2, rrv entries with and without pointers
        {"TITLE_SALARY.DAT", "5 records copied\n"},
        {"TMRA1$PROFILE.DAT", "0 records copied\n"},        // index never initialised
        {"V60$CM$CART$BASE$CHANGES.DAT", "74 records copied\n"},
        {"WPSFNATT.DAT", "8 records copied\n"},             // fixed, data compressed only
    };
    for (const Expected& file : files) {
        SCOPED_TRACE(file.name);
        const std::string data = (kits / file.name).string();
        ToolResult r = run_unrms({"-v", "-a", data + ".attr", data});
        EXPECT_EQ(r.status, 0);
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

// The indexed files of fixed-length records, as their bytes read by hand
// say: how many live records the ring holds, every one lrl bytes long, and
// how some of them begin (keys expanded from their compk forms, blank and
// zero runs from their compd forms).
TEST(RealFiles, FixedLengthIndexedFilesHoldWhatTheirBytesSay) {
    const fs::path kits = fs::path(UNRMS_REALFILES_DIR) / "vaxkits";
    if (!fs::exists(kits)) {
        GTEST_SKIP() << "no real files at " << UNRMS_REALFILES_DIR;
    }
    struct Start {
        std::size_t record;  // its place in the ring, from 0
        std::string_view bytes;
    };
    struct Expected {
        const char* name;
        std::size_t lrl;
        std::size_t records;
        std::vector<Start> starts;
    };
    const std::string blanks(40, ' ');
    const auto pad = [&](std::string_view text, std::size_t width) {
        return std::string(text) + blanks.substr(0, width - text.size());
    };
    const std::string deppriv_beth = pad("BETH", 20) + pad("111", 10);
    const std::string deppriv_blitz = pad("BLITZ", 20) + pad("ABC", 10);
    const std::string deppriv_blum = pad("BLUM", 20) + pad("999", 10);
    const std::string etypes = pad("CM$MORE$SCROLL$KEYS$INDEX", 39) + pad("FRM", 5) + pad("ENGLISH", 15) +
                               pad("FRM", 30) + "FMS form";
    const std::string wps_normal = "1 " + pad("NORMAL", 25) + pad("No special highlighting", 50);
    const std::string wps_super = "2 " + pad("SUPER", 25) + pad("Character(s) superscripted", 50);
    const std::string v60 = pad("ABOUT", 39) + pad("FRM", 5) + pad("ENGLISH", 15) + "0001C   ";
    const Expected files[] = {
        {"BSTR_CLI_CAT.CAT", 8213, 200,
         {{0, "         2-         1S-BSTR_S_CLI_CORRECT: Command executed \0ject %s created \0\0ed \0"sv}}},
        {"CM$ETYPES_CART.DAT", 2953, 28, {{0, etypes}}},
        {"DDS_PERM_AIF.DAT", 52, 2, {{0, "'(\n\x80\x03(\n\0\x01\0\0\0"sv}}},
        {"DEPPRIV.DAT", 30, 5, {{0, deppriv_beth}, {1, deppriv_blitz}, {2, deppriv_blum}}},
        {"EMPLOYEE.DAT", 88, 4,
         {{0, "\xe9\x03\0\0Benjamin     FPinkerton           1905 Butterfly Way  San Francisco  CA94108M01DEC49"sv},
          {3, "\xec\x03\0\0George       HRuth                219 Emery Street    Baltimore      MD21204M05FEB95"sv}}},
        {"PERHIST.DAT", 194, 13, {{0, "\x02\0\0\0\0\0\0\0\0\0\0\0 00001912   \0"sv}, {1, "\xe9\x03\0\0\0@/("sv}}},
        {"TITLE_SALARY.DAT", 29, 5,
         {{0, "CONSULTANT     40789005678920"}, {1, "SWS I          15456332248920"},
          {2, "SWS II         22000002876640"}}},
        {"V60$CM$CART$BASE$CHANGES.DAT", 639, 74, {{0, v60}}},
        {"WPSFNATT.DAT", 77, 8, {{0, wps_normal}, {1, wps_super}}},
    };
    for (const Expected& file : files) {
        SCOPED_TRACE(file.name);
        const std::string data = (kits / file.name).string();
        ToolResult r = run_unrms({"-l", "-n", "-a", data + ".attr", data});
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<std::string> records;
        for (std::size_t at = 0; at + 2 <= r.out.size();) {
            const std::size_t length =
                static_cast<unsigned char>(r.out[at]) | static_cast<unsigned char>(r.out[at + 1]) << 8;
            ASSERT_EQ(length, file.lrl) << "record " << records.size();
            ASSERT_LE(at + 2 + length, r.out.size());
            records.push_back(r.out.substr(at + 2, length));
            at += 2 + length;
        }
        EXPECT_EQ(records.size(), file.records);
        for (const Start& start : file.starts) {
            ASSERT_LT(start.record, records.size());
            EXPECT_EQ(records[start.record].substr(0, start.bytes.size()), start.bytes) << "record " << start.record;
        }
    }
}

}  // namespace
