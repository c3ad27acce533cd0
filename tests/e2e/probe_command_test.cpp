// unrms-probe as a user runs it: its output line, messages and exit status,
// and the rescue of a file by piping that line into unrms.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "rms_builder.h"
#include "run_tool.h"

namespace {

using rms::Bytes;
using rms::bytes;

std::vector<Bytes> lines() {
    std::vector<Bytes> out;
    for (int i = 0; i < 30; ++i) out.push_back(bytes("$ WRITE SYS$OUTPUT \"line " + std::to_string(i) + "\""));
    return out;
}

const std::string kVarLine = "org=seq rfm=var rat=cr lrl=28";

std::string fdl(const char* organization, const char* carriage_control, const char* format, const char* size) {
    return std::string("IDENT\t\"unrms record attributes\"\n\nFILE\n\tORGANIZATION            ") + organization +
           "\n\nRECORD\n\tBLOCK_SPAN              yes\n\tCARRIAGE_CONTROL        " + carriage_control +
           "\n\tFORMAT                  " + format + "\n\tSIZE                    " + size + "\n";
}

const std::string kVarFdl = fdl("sequential", "carriage_return", "variable", "28");
const std::string kZerosFdl = fdl("sequential", "none", "fixed", "512");

struct CommandCase {
    const char* name;
    std::vector<std::string> words;  // "@VAR", "@BIN", "@ZEROS", "@DIR", "@NONE" stand for paths
    std::string out;                 // with "@VAR" etc. replaced likewise
    std::string err;                 // a text stderr must contain; empty: stderr must be empty
    int status;
};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

std::string substitute(std::string text, const TempDir& dir) {
    for (const char* name : {"VAR", "BIN", "ZEROS", "DIR", "NONE"}) {
        const std::string token = std::string("@") + name;
        for (std::size_t at; (at = text.find(token)) != std::string::npos;) {
            text.replace(at, token.size(), dir.path(name));
        }
    }
    return text;
}

class ProbeCommandTest : public testing::TestWithParam<CommandCase> {};

TEST_P(ProbeCommandTest, PrintsAndExits) {
    const CommandCase& c = GetParam();
    TempDir dir;
    dir.write("VAR", rms::var_file(lines()));
    dir.write("ZEROS", Bytes(1024, 0));
    std::vector<Bytes> binary;
    for (int i = 0; i < 20; ++i) binary.push_back(Bytes{0x17, static_cast<unsigned char>(i), 0, 0x80, 0xFF, 0x01});
    dir.write("BIN", rms::var_file(binary));
    std::filesystem::create_directory(dir.path("DIR"));
    std::vector<std::string> words;
    for (const std::string& word : c.words) words.push_back(substitute(word, dir));
    const ToolResult r = run_unrms_probe(words);
    EXPECT_EQ(r.out, substitute(c.out, dir));
    if (c.err.empty()) {
        EXPECT_EQ(r.err, "");
    } else {
        EXPECT_NE(r.err.find(substitute(c.err, dir)), std::string::npos) << r.err;
    }
    EXPECT_EQ(r.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ProbeCommandTest,
    testing::Values(
        CommandCase{"OneFile", {"@VAR"}, kVarLine + "\n", "", 0},
        CommandCase{"SeveralFilesAreNamed", {"@VAR", "@VAR"}, "@VAR: " + kVarLine + "\n@VAR: " + kVarLine + "\n", "", 0},
        CommandCase{"VerboseGivesTheEvidence", {"-v", "@VAR"}, kVarLine + "\n",
                    "@VAR: " + kVarLine + " wins with score 90 against", 0},
        CommandCase{"VerboseListsEveryCandidate", {"-v", "@VAR"}, kVarLine + "\n",
                    "length-word chain parses to the end of the file: 30 records (0 empty), 0 block markers", 0},
        CommandCase{"WeakGuessNamesTheRunnerUp", {"@ZEROS"}, "org=seq rfm=fix rat=none lrl=512\n",
                    "unrms-probe: @ZEROS: weak guess (score 35); runner-up ", 2},
        // Binary records: sure of the records, not of their line ends.
        CommandCase{"LineEndsGuessed", {"@BIN"}, "org=seq rfm=var rat=cr lrl=6\n",
                    "unrms-probe: @BIN: line ends guessed (rat=cr, as most such files have): the records do not show "
                    "them\n",
                    0},
        CommandCase{"MissingFile", {"@NONE"}, "", "unrms-probe: @NONE: No such file or directory\n", 1},
        CommandCase{"ErrorOutranksWeak", {"@ZEROS", "@NONE", "@VAR"},
                    "@ZEROS: org=seq rfm=fix rat=none lrl=512\n@VAR: " + kVarLine + "\n", "No such file", 1},
        CommandCase{"Directory", {"@DIR"}, "", "unrms-probe: @DIR: not a regular file\n", 1},
        CommandCase{"DashesEndTheOptions", {"--", "@VAR"}, kVarLine + "\n", "", 0},
        CommandCase{"NoFile", {}, "", "usage: unrms-probe [-v] [--fdl] FILE...\n", 1},
        CommandCase{"FdlDescription", {"--fdl", "@VAR"}, kVarFdl, "", 0},
        CommandCase{"SeveralFdlDescriptionsAreNamed", {"--fdl", "@VAR", "@ZEROS"},
                    "! @VAR\n" + kVarFdl + "\n! @ZEROS\n" + kZerosFdl + "\n", "weak guess", 2},
        CommandCase{"UnknownOption", {"-x", "@VAR"}, "", "unrms-probe: unknown option -x\nusage:", 1}),
    [](const testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

// Both answers, the assignments and the FDL description, read back into
// the same attributes and rescue the file.
TEST(ProbeCommand, ItsAnswerRescuesTheFile) {
    TempDir dir;
    const std::string path = dir.write("LOGIN.COM", rms::var_file(lines()));
    std::string expected;
    for (const Bytes& line : lines()) expected += rms::text(line) + "\n";
    for (const std::vector<std::string>& words : {std::vector<std::string>{path}, {"--fdl", path}}) {
        const ToolResult probe = run_unrms_probe(words);
        ASSERT_EQ(probe.status, 0);
        const ToolResult copy = run_unrms({"-v", "-a", "-", path}, probe.out);
        EXPECT_EQ(copy.out, expected);
        EXPECT_NE(copy.err.find("org=seq rfm=var rat=cr lrl=28\n"), std::string::npos) << copy.err;
        EXPECT_EQ(copy.status, 0);
    }
}

// Real files whose attributes the probe recovers exactly: confidently for
// sequential files (saying so when the line ends of binary records are a
// guess); for indexed ones, whose carriage control is a guess, with a
// warning. Fixed-length indexed records are named as such, and a prolog
// whose buckets are not walked gets no confident record format. Binary
// stream-LF files are no records of one byte: they are copied unchanged.
TEST(ProbeCommand, RecoversRealFiles) {
    const std::filesystem::path root = UNRMS_REALFILES_DIR;
    if (!std::filesystem::exists(root)) {
        GTEST_SKIP() << "no real files at " << root;
    }
    struct RealCase {
        const char* name;
        const char* line;  // nullptr: the recorded attributes
        int status;
        bool guessed = false;  // a warning says the line ends are a guess
    };
    const RealCase cases[] = {
        {"fw80zip/link.com", nullptr, 0},
        {"fw80zip/zipnote.axp_obj", nullptr, 0, true},
        {"vaxkits/MTHRTL_TEST.OBJ", nullptr, 0, true},
        // One binary record whose length word counts the rest of the file.
        {"vaxkits/AAGDOPS.PRC", nullptr, 2, true},
        {"vaxkits/SRC.DIR", "org=seq rfm=var rat=blk lrl=26", 0, true},
        {"vaxkits/IAMFX528.RAM", "org=seq rfm=udf rat=none lrl=0", 2},
        {"vaxkits/UA2005L.DSK", "org=seq rfm=udf rat=none lrl=0", 2},
        {"vaxkits/MB$CVP.DAT", nullptr, 0},
        {"vaxkits/IGNORE-A-SIZE.PS", nullptr, 0},
        {"vaxkits/FILES_DATABASE.DAT", nullptr, 0},
        {"vaxkits/DECW$MOTIF_KITBLD.IDX", nullptr, 2, true},
        {"vaxkits/TITLE_SALARY.DAT", nullptr, 2, true},
        {"vaxkits/V60$CM$CART$BASE$CHANGES.DAT", nullptr, 2, true},
        {"vaxkits/EMPLOYEE.DAT", nullptr, 2, true},
        // Prolog 2, its records carrying mostly binary fields.
        {"vaxkits/PERHIST.DAT", nullptr, 2, true},
        // Two records of one length, compressed: fixed-length records.
        {"vaxkits/DDS_PERM_AIF.DAT", nullptr, 2, true},
        // CR LF text in fixed-length records, ended by Ctrl-Z: the lines
        // are named, never as sure.
        {"vaxkits/PROTOID.MAP", "org=seq rfm=stm rat=cr lrl=80", 2},
    };
    for (const RealCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (root / c.name).string();
        std::ifstream attributes(path + ".attr");
        std::string truth;
        std::getline(attributes, truth);
        const ToolResult r = run_unrms_probe({path});
        EXPECT_EQ(r.out, (c.line != nullptr ? std::string(c.line) : truth) + "\n");
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.err.find("weak guess") != std::string::npos, c.status != 0) << r.err;
        EXPECT_EQ(r.err.find("line ends guessed") != std::string::npos, c.guessed) << r.err;
    }
}

}  // namespace
