// The command line: usage, version, the option rules, the operand checks and
// the hand-off of files that need no record processing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "copy_case.h"
#include "rms_builder.h"
#include "run_tool.h"

namespace {

const std::string kUsage =
    kVersionLine +
    "usage: unrms -a - | ATTRFILE [OPTION]... FILE\n"
    "     Copy records from an OpenVMS/ODS5 file according to its RMS structure,\n"
    "     determined by attributes, which are read from an attribute file\n"
    "          - : stdin contains assignments ...\n"
    "          attrfile : file contains assignments ...\n"
    "          ... for attributes org, rfm, rat, lrl, bks and fsz, if applicable\n"
    "          org keywords: seq, rel, idx\n"
    "          rfm keywords: fix, var, vfc, stm, stmlf, stmcr, udf\n"
    "          rat keywords: none, ftn, cr, prn, blk, msb (multiple assignments\n"
    "          possible)\n"
    "          lrl, bks, fsz values: 0..32767\n"
    "          example: org=seq rfm=var rat=cr lrl=28\n"
    "\n"
    "OPTIONS\n"
    "  -i      insert '\\n' after each record\n"
    "          (useful for rfm=var and rat=none)\n"
    "  -l      prefix each record with a two byte length\n"
    "          (useful for org=idx with variable length records - after\n"
    "          decompressing - and binary data, possibly having '\\n' as data)\n"
    "  -n      do not insert '\\n' after each record\n"
    "          (useful for rfm=fix and rat=cr)\n"
    "  -p      include/prefix the fixed control field (rfm=vfc, only)\n"
    "  -r      raw mode, preserve internal structure, but remove gaps\n"
    "          from record word alignment and rat=blk\n"
    "          (useful for org=seq rfm=var and binary data, possibly having '\\n'\n"
    "          as data)\n"
    "  -vL     verbose, level L=1...\n"
    "\n"
    "Limitations in current version\n"
    "  -       only popular RMS formats implemented\n"
    "  -       -l only implemented for index sequential files\n"
    "  -       -p only implemented for sequential files\n"
    "  -       -r only implemented for sequential files\n";

const std::string kScannerError = "get command line option: Invalid argument\n";

// A small variable-length text file and its attribute file.
struct Fixture {
    TempDir dir;
    std::string data = dir.write("DATA.DAT", rms::var_file({rms::bytes("abc"), rms::bytes("wxyz")}));
    std::string attrs = dir.write("attrs.txt", "org=seq rfm=var rat=cr\n");
};

struct DriverCase {
    const char* name;
    std::vector<std::string> args;  // "@data", "@attrs" and "@dir" stand for the fixture's files and folder
    std::string input;
    std::string out;
    std::string err;  // "@data" stands for the data file's path
    int status;
};

void PrintTo(const DriverCase& c, std::ostream* os) { *os << c.name; }

std::string expand(std::string text, const Fixture& f) {
    for (auto [token, value] :
         {std::pair{std::string("@data"), f.data}, {"@attrs", f.attrs}, {"@dir", f.dir.path("")}}) {
        for (std::size_t at; (at = text.find(token)) != std::string::npos;) {
            text.replace(at, token.size(), value);
        }
    }
    return text;
}

class DriverTest : public testing::TestWithParam<DriverCase> {};

TEST_P(DriverTest, FollowsTheCommandLine) {
    const DriverCase& c = GetParam();
    Fixture f;
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(expand(arg, f));
    ToolResult r = run_unrms(args, c.input);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, expand(c.err, f));
    EXPECT_EQ(r.status, c.status);
}

const std::string kListing = "org=seq rfm=var rat=cr lrl=32767\n";

INSTANTIATE_TEST_SUITE_P(
    CommandLines, DriverTest,
    testing::Values(
        DriverCase{"NoArguments", {}, "", "", kUsage, 1},
        DriverCase{"VerboseAloneShowsVersionTwice", {"-v"}, "", "", kVersionLine + kUsage, 1},
        DriverCase{"NoOperand", {"-a", "@attrs"}, "", "", kUsage, 1},
        DriverCase{"UnknownOption", {"-x", "@data"}, "", "", kScannerError + kUsage, 1},
        DriverCase{"MissingAttributeArgument", {"-a"}, "", "", kScannerError + kUsage, 1},
        DriverCase{"ColonIsNoOption", {"-:", "@data"}, "", "", kScannerError + kUsage, 1},
        DriverCase{"ClusterThenError", {"-il", "-x", "@data"}, "", "", kScannerError + kUsage, 1},
        DriverCase{"Copies", {"-a", "@attrs", "@data"}, "", "abc\nwxyz\n", "", 0},
        DriverCase{"AttachedAttributeFile", {"-a@attrs", "@data"}, "", "abc\nwxyz\n", "", 0},
        DriverCase{"AttributesFromStdin", {"-a", "-", "@data"}, "org=seq rfm=var", "abcwxyz", "", 0},
        DriverCase{"AttributesFromStdinAttached", {"-a-", "@data"}, "rfm=var rat=cr", "abc\nwxyz\n", "", 0},
        DriverCase{"LoneDashIsNoOperand", {"-a", "@attrs", "-"}, "", "", kUsage, 1},
        DriverCase{"LaterNewlineOptionWinsIn", {"-ni", "-a", "@attrs", "@data"}, "", "abc\nwxyz\n", "", 0},
        DriverCase{"LaterNewlineOptionWinsNo", {"-in", "-a", "@attrs", "@data"}, "", "abcwxyz", "", 0},
        DriverCase{"VerboseOne", {"-v", "-a", "@attrs", "@data"}, "", "abc\nwxyz\n",
                   kVersionLine + kListing + "2 records copied\n", 0},
        DriverCase{"VerboseOctal", {"-v010", "-a", "@attrs", "@data"}, "", "abc\nwxyz\n",
                   kVersionLine + kListing + "rsize: 32767\nreclen: 3\nreclen: 4\n2 records copied\n", 0},
        DriverCase{"VerboseOctalStopsAt8", {"-v08", "-a", "@attrs", "@data"}, "", "abc\nwxyz\n", "", 0},
        DriverCase{"VerboseNegativeCountsAsOn", {"-v-1", "-a", "@attrs", "@data"}, "", "abc\nwxyz\n",
                   kVersionLine + kListing + "2 records copied\n", 0},
        DriverCase{"VerboseWithoutNumberKeepsLevel", {"-v2", "-vx", "-a", "@attrs", "@data"}, "",
                   "abc\nwxyz\n",
                   kVersionLine + kListing + "rsize: 32767\nreclen: 3\nreclen: 4\n2 records copied\n", 0},
        DriverCase{"OtherOperandsIgnored", {"-a", "@attrs", "@data", "/nonexistent"}, "", "abc\nwxyz\n",
                   "copy from @data, other filenames ignored\n", 0},
        DriverCase{"SeparateLevelIsAnOperand", {"-v", "2", "@data"}, "", "",
                   kVersionLine + "copy from 2, other filenames ignored\n2: No such file or directory\n", 1},
        DriverCase{"MissingInput", {"-a", "@attrs", "/nonexistent/DATA.DAT"}, "", "",
                   "/nonexistent/DATA.DAT: No such file or directory\n", 1},
        DriverCase{"InputOpenedBeforeAttributesAreRead", {"-a", "-", "/nonexistent"}, "bogus", "",
                   "/nonexistent: No such file or directory\n", 1},
        DriverCase{"EmptyOperand", {"-a", "@attrs", ""}, "", "", "No such file or directory\n", 1},
        DriverCase{"MissingAttributeFileStopsTheScan", {"-a", "/nonexistent/attrs", "-x", "@data"}, "", "",
                   "/nonexistent/attrs: No such file or directory\n", 1},
        DriverCase{"AttributeError", {"-a", "-", "@data"}, "org=seq rfm=VAR", "",
                   "-e-opterr, unknown record format rfm=VAR\n", 1},
        DriverCase{"FdlDescription", {"-a", "-", "@data"},
                   "! as VMS describes it\nFILE\n\tORGANIZATION\tsequential\nRECORD\n\tCARRIAGE_CONTROL\tnone\n", "abcwxyz",
                   "", 0},
        DriverCase{"FdlDescriptionInRecords", {"-a", "-", "@data"},
                   rms::text(rms::var_file({rms::bytes("RECORD"), rms::bytes("\tFORMAT variable")})), "abc\nwxyz\n",
                   "", 0},
        DriverCase{"FdlValueRefusedByLine", {"-a", "-", "@data"}, "RECORD\n\tFORMAT\tstreamx\n", "",
                   "-e-fdlval, line 2: unknown FORMAT value \"streamx\"\n", 1},
        DriverCase{"AttributeSourceThatCannotBeRead", {"-a", "@dir", "@data"}, "", "", "@dir: Is a directory\n", 1},
        DriverCase{"ValueBeyondItsField", {"-a", "-", "@data"}, "rfm=var lrl=65564", "",
                   "-e-opterr, lrl=65564 out of range: lrl takes 0..65535\n", 1},
        DriverCase{"NoAttributesHandsOff", {"-v3", "@data"}, "",
                   rms::text(rms::var_file({rms::bytes("abc"), rms::bytes("wxyz")})),
                   kVersionLine + "org=seq rfm=udf rat=none lrl=0\n", 0},
        DriverCase{"StreamLfHandsOff", {"-a", "-", "@data"}, "rfm=stmlf",
                   rms::text(rms::var_file({rms::bytes("abc"), rms::bytes("wxyz")})), "", 0},
        DriverCase{"FortranCarriageControlAddsLineEnds", {"-a", "-", "@data"}, "rfm=var rat=ftn",
                   "abc\nwxyz\n", "", 0},
        DriverCase{"CommandLineBeatsFortranRule", {"-n", "-a", "-", "@data"}, "rfm=var rat=ftn", "abcwxyz",
                   "", 0},
        DriverCase{"UnsupportedFormat", {"-i", "-v", "-a", "-", "@data"}, "rfm=stm", "",
                   kVersionLine + "org=seq rfm=stm rat=none lrl=0\nforced rat=cr\n - not yet implemented\n", 1}),
    [](const testing::TestParamInfo<DriverCase>& info) { return std::string(info.param.name); });

TEST(Driver, DirectoryWithoutAttributesIsRefused) {
    TempDir dir;
    ToolResult r = run_unrms({dir.path("")});
    EXPECT_EQ(r.err, dir.path("") + ": not a regular ODS5 file\n");
    EXPECT_EQ(r.status, 1);
}

TEST(Driver, DeviceIsAcceptedWithAttributes) {
    ToolResult r = run_unrms({"-v", "-a", "-", "/dev/null"}, "rfm=var");
    EXPECT_EQ(r.err, kVersionLine + "org=seq rfm=var rat=none lrl=32767\n0 records copied\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(run_unrms({"/dev/null"}).err, "/dev/null: not a regular ODS5 file\n");
}

TEST(Driver, DoubleDashLetsAnOperandBeginWithADash) {
    TempDir dir;
    std::string name = dir.path("-odd");
    dir.write("-odd", rms::var_file({rms::bytes("x")}));
    EXPECT_EQ(run_unrms({"-a", "-", "--", name}, "rfm=var rat=cr").out, "x\n");
}

TEST(Driver, HandOffCopiesAnyNameAndEveryByte) {
    TempDir dir;
    const char raw[] = "\x00\x0d\x0a\x1a quote\" $(touch pwned) `x`";
    std::string content(raw, sizeof raw - 1);
    std::string name = dir.write("a \"b\" $(touch pwned) 'c'.txt", content);
    ToolResult r = run_unrms({name});
    EXPECT_EQ(r.out, content);
    EXPECT_EQ(r.status, 0);
    struct stat ignored;
    EXPECT_NE(::stat("pwned", &ignored), 0);
    EXPECT_NE(::stat(dir.path("pwned").c_str(), &ignored), 0);
}

// The copy reads the descriptor it opened: a name may stand for another
// file by the time it is read again, and a pipe cannot be opened twice.
TEST(Driver, HandOffReadsTheFileItOpened) {
    TempDir dir;
    const std::string fifo = dir.path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string content = "bytes through a pipe\n";
    std::thread writer([&] {
        std::ofstream out(fifo, std::ios::binary);
        out << content;
    });
    ToolResult r = run_unrms({"-a", "-", fifo}, "rfm=udf");
    writer.join();
    EXPECT_EQ(r.out, content);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST(Driver, FailedWriteIsAFailure) {
    Fixture f;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-a", f.attrs, f.data}, std::vector<std::string>{f.data}}) {
        ToolRun run(args);
        run.stdout_path = "/dev/full";
        ToolResult r = run_tool(run);
        EXPECT_EQ(r.err, "write: No space left on device\n");
        EXPECT_EQ(r.status, 1);
    }
}

}  // namespace
