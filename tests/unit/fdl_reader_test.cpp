#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "attributes/attribute_listing.h"
#include "attributes/attribute_reader.h"
#include "attributes/attribute_rules.h"
#include "attributes/fdl_reader.h"
#include "attributes/fdl_writer.h"
#include "captured_console.h"
#include "platform/text_stream.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const unsigned char* bytes_of(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

std::string word16(std::size_t n) { return {static_cast<char>(n & 0xFF), static_cast<char>(n >> 8)}; }

// Text lines as VMS stores them: a length word, the line, a pad byte after an
// odd length. With marker_after, the records of the first block end after
// that many lines with 0xFFFF and the rest of the block is zero.
std::string as_records(const std::string& text, int marker_after = -1) {
    std::string out;
    std::size_t start = 0;
    int count = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (count++ == marker_after) {
            out += word16(0xFFFF);
            out.resize((out.size() / 512 + 1) * 512, '\0');
        }
        std::string line = text.substr(start, end - start);
        out += word16(line.size()) + line;
        if (line.size() % 2 != 0) out += '\0';
        start = end + 1;
    }
    return out;
}

// Every line of a chain or a text, then how it ended.
std::vector<std::string> all_lines(const std::string& data, bool records) {
    std::vector<std::string> lines;
    std::size_t offset = 0;
    std::string_view line;
    for (;;) {
        LineStep step = records ? next_variable_record(bytes_of(data), data.size(), offset, line)
                                : next_text_line(bytes_of(data), data.size(), offset, line);
        if (step != LineStep::kLine) {
            lines.push_back(step == LineStep::kEnd ? "<end>" : "<overrun at " + std::to_string(offset) + ">");
            return lines;
        }
        lines.emplace_back(line);
    }
}

using Lines = std::vector<std::string>;

TEST(FdlLines, RecordChains) {
    const std::string block_tail = "\x02\x00" "ab" "\xff\xff"s + std::string(506, 'x') + "\x01\x00" "c"s;
    struct Case {
        const char* name;
        std::string data;
        Lines lines;
    } cases[] = {
        {"Empty", "", {"<end>"}},
        {"EvenAndOddWithPad", "\x02\x00" "ab" "\x03\x00" "cde\x00" "\x01\x00" "f"s,
         {"ab", "cde", "f", "<end>"}},
        {"EmptyRecordsAndTrailingZeros", "\x00\x00" "\x01\x00" "a\x00" "\x00\x00\x00"s,
         {"", "a", "", "<end>"}},
        {"MarkerSkipsToTheNextBlock", block_tail, {"ab", "c", "<end>"}},
        {"MarkerInTheLastBlock", "\x02\x00" "ab" "\xff\xff" "junk"s, {"ab", "<end>"}},
        {"Overrun", "\x01\x00" "a\x00" "\x09\x00" "abc"s, {"a", "<overrun at 4>"}},
        {"LengthWordCutShort", "\x01\x00" "a\x00" "\x05"s, {"a", "<end>"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(all_lines(c.data, true), c.lines);
    }
}

TEST(FdlLines, TextLines) {
    struct Case {
        const char* name;
        std::string data;
        Lines lines;
    } cases[] = {
        {"Empty", "", {"<end>"}},
        {"LastLineWithoutLineFeed", "A\n\nB", {"A", "", "B", "<end>"}},
        {"CarriageReturnsStayForTheSplitter", "A\r\nB\r\n", {"A\r", "B\r", "<end>"}},
        {"CtrlZEndsMidLine", "A\nB\x1a" "C\nD", {"A", "B", "<end>"}},
        {"CtrlZAtALineStart", "A\n\x1a" "B", {"A", "<end>"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(all_lines(c.data, false), c.lines);
    }
}

TEST(FdlLines, FormIsToldByTheFirstRecord) {
    struct Case {
        const char* name;
        std::string data;
        FdlForm form;
    } cases[] = {
        {"Text", "FILE\n\tORGANIZATION indexed\n", FdlForm::kText},
        {"Records", as_records("FILE\n\tORGANIZATION\tindexed"), FdlForm::kRecords},
        {"EmptyFirstRecord", as_records("\nFILE"), FdlForm::kRecords},
        {"FirstRecordOverruns", "\x09\x00" "FILE"s, FdlForm::kText},
        {"FirstRecordHoldsALineFeed", "\x04\x00" "A\nB"s, FdlForm::kText},
        {"MarkerFirst", "\xff\xff", FdlForm::kText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fdl_form(bytes_of(c.data), c.data.size()), c.form);
    }
}

TEST(FdlLines, WordsCommentsAndQuotes) {
    struct Case {
        const char* line;
        std::size_t count;
        Lines kept;
    } cases[] = {
        {"", 0, {}},
        {" \t\r", 0, {}},
        {"\tFORMAT\t\t\tfixed\r", 2, {"FORMAT", "fixed"}},
        {"FORMAT fixed ! the records of the kit", 2, {"FORMAT", "fixed"}},
        {"FORMAT fixed!glued", 2, {"FORMAT", "fixed"}},
        {"! a comment line", 0, {}},
        {"NAME \"A!B C\" ! real", 2, {"NAME", "\"A!B C\""}},
        {"NAME 'it''s!' x", 3, {"NAME", "'it''s!'", "x"}},
        {"NAME a\"b c\"d e", 3, {"NAME", "a\"b c\"d", "e"}},
        {"NAME \"unclosed ! still quoted", 2, {"NAME", "\"unclosed ! still quoted"}},
        {"PROTECTION (system:RWED, owner:RWED, group:, world:)", 5,
         {"PROTECTION", "(system:RWED,", "owner:RWED,"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        FdlWords words = split_fdl_line(c.line);
        EXPECT_EQ(words.count, c.count);
        Lines kept(words.word, words.word + std::min(words.count, kFdlWordsKept));
        EXPECT_EQ(kept, c.kept);
    }
}

TEST(FdlNames, MatchInAnyCaseInFullOrByAUniqueBeginning) {
    constexpr FdlName kNames[] = {{"stream", 0}, {"stream_LF", 1}, {"stream_CR", 2}, {"VFC", 3}, {"variable", 4}};
    struct Case {
        const char* word;
        bool abbreviations;
        NameMatch match;
        std::size_t position;  // when found
    } cases[] = {
        {"stream", true, NameMatch::kFound, 0},      {"STREAM_lf", false, NameMatch::kFound, 1},
        {"vfc", false, NameMatch::kFound, 3},        {"stream_", true, NameMatch::kAmbiguous, 0},
        {"str", true, NameMatch::kAmbiguous, 0},     {"v", true, NameMatch::kAmbiguous, 0},
        {"va", true, NameMatch::kFound, 4},          {"va", false, NameMatch::kNone, 0},
        {"streamx", true, NameMatch::kNone, 0},      {"", true, NameMatch::kNone, 0},
        {"stream_LFX", true, NameMatch::kNone, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        std::size_t position = 99;
        EXPECT_EQ(match_fdl_name(c.word, kNames, c.abbreviations, &position), c.match);
        if (c.match == NameMatch::kFound) {
            EXPECT_EQ(position, c.position);
        }
    }
}

TEST(FdlSource, IsRecognisedByItsFirstWord) {
    struct Case {
        const char* name;
        std::string data;
        bool fdl;
    } cases[] = {
        {"Ident", "IDENT\t\"17-SEP-1987 10:54:28   VAX-11 FDL Editor\"\n", true},
        {"CommentsFirst", "!\n! Copyright\n\n  file\n", true},
        {"AreaWithItsNumber", "area 0\n", true},
        {"CrLf", "\r\nRECORD\r\n", true},
        {"Records", as_records("SYSTEM\n\tSOURCE VAX/VMS"), true},
        {"RecordsAfterAMarker", as_records("\n\nTITLE \"x\"", 1), true},
        {"Assignments", "org=seq rfm=var rat=cr lrl=28\n", false},
        {"AssignmentsInRecords", as_records("org=idx rfm=fix lrl=52"), false},
        {"AttributeWithoutSection", "ORGANIZATION indexed\n", false},
        {"AbbreviatedSection", "REC\n", false},
        {"LongerWord", "FILES\n", false},
        {"CommentsOnly", "! FILE\n", false},
        {"Binary", "\x07\x00\x00\x00\x90\x12"s, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(is_fdl_source(bytes_of(c.data), c.data.size()), c.fdl);
    }
}

struct ReadOutcome {
    bool accepted;
    std::string listing;
    std::string messages;
};

ReadOutcome read_from(const std::string& source) {
    FileAttributes attributes;
    set_lrl(attributes, 4242);  // must stay when the source is refused
    CapturedConsole captured;
    bool accepted = read_fdl(bytes_of(source), source.size(), attributes, captured.console());
    if (!accepted) {
        EXPECT_EQ(lrl_of(attributes), 4242);
    }
    return {accepted, attribute_listing(attributes), captured.err()};
}

struct ReadCase {
    const char* name;
    std::string source;
    const char* listing;  // nullptr when refused
    const char* messages;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class FdlReadTest : public testing::TestWithParam<ReadCase> {};

// Each source is read as text, with CR LF lines, and as VMS stores it (once
// with a block's records ended early): all four give the same answer and
// the same message, line number included.
TEST_P(FdlReadTest, ReadsTheSameInEveryForm) {
    const ReadCase& c = GetParam();
    std::string crlf;
    for (char ch : c.source) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    const std::string forms[] = {c.source, crlf, as_records(c.source), as_records(c.source, 2)};
    for (const std::string& form : forms) {
        ReadOutcome outcome = read_from(form);
        EXPECT_EQ(outcome.accepted, c.listing != nullptr);
        EXPECT_EQ(outcome.messages, c.messages);
        if (c.listing != nullptr) {
            EXPECT_EQ(outcome.listing, c.listing);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, FdlReadTest,
    testing::Values(
        ReadCase{"Defaults", "IDENT \"x\"\n", "org=seq rfm=var rat=cr lrl=32767\n", ""},
        ReadCase{"IndexedFixed",
                 "FILE\n\tORGANIZATION\tindexed\n\nRECORD\n\tBLOCK_SPAN\tyes\n"
                 "\tCARRIAGE_CONTROL\tcarriage_return\n\tFORMAT\tfixed\n\tSIZE\t639\n",
                 "org=idx rfm=fix rat=cr lrl=639\n", ""},
        ReadCase{"AnyCase",
                 "file\n organization RELATIVE\n bucket_size 2\nrecord\n format Fixed\n size 10\n"
                 " carriage_control FORTRAN\n Block_Span FALSE\n",
                 "org=rel rfm=fix rat=ftn rat=blk lrl=10 bks=2\n", ""},
        ReadCase{"RelativeTakesTheFileBucketSize",
                 "FILE\nBUCKET_SIZE 3\nORGANIZATION relative\nAREA 0\nBUCKET_SIZE 9\n"
                 "RECORD\nFORMAT variable\nSIZE 0\n",
                 "org=rel rfm=var rat=cr lrl=1536 bks=3\n", ""},
        ReadCase{"IndexedAndSequentialIgnoreIt",
                 "FILE\nBUCKET_SIZE 9\nORGANIZATION indexed\nRECORD\nSIZE 80\n",
                 "org=idx rfm=var rat=cr lrl=80\n", ""},
        ReadCase{"VfcPrint",
                 "RECORD\nCARRIAGE_CONTROL print\nCONTROL_FIELD_SIZE 2\nFORMAT VFC\nSIZE 132\n",
                 "org=seq rfm=vfc rat=prn lrl=132 fsz=2\n", ""},
        ReadCase{"VfcWithoutAControlFieldGetsTwo", "RECORD\nFORMAT vfc\n",
                 "org=seq rfm=vfc rat=cr lrl=32767 fsz=2\n", ""},
        ReadCase{"ControlFieldOfOtherFormatsIgnored", "RECORD\nCONTROL_FIELD_SIZE 9\nFORMAT fixed\nSIZE 2\n",
                 "org=seq rfm=fix rat=cr lrl=2\n", ""},
        ReadCase{"FormatsAndCarriageControls",
                 "RECORD\nFORMAT undefined\nCARRIAGE_CONTROL fortran\nBLOCK_SPAN no\n",
                 "org=seq rfm=udf rat=ftn rat=blk lrl=0\n", ""},
        ReadCase{"LaterLinesWin",
                 "RECORD\nBLOCK_SPAN no\nBLOCK_SPAN true\nFORMAT stream\nCARRIAGE_CONTROL print\n"
                 "CARRIAGE_CONTROL none\n",
                 "org=seq rfm=stm rat=none lrl=0\n", ""},
        ReadCase{"Abbreviations", "FILE\n OR ind\nRECORD\n F fix\n S 10\n CA n\n B n\n",
                 "org=idx rfm=fix rat=blk lrl=10\n", ""},
        ReadCase{"CommentsAndQuotes",
                 "! FILE ORGANIZATION relative\nFILE\n NAME \"A!B\" ! ORGANIZATION relative\n"
                 " ORGANIZATION indexed ! was relative\nRECORD\n FORMAT fixed\t! was var\n SIZE 7 !\n",
                 "org=idx rfm=fix rat=cr lrl=7\n", ""},
        ReadCase{"OtherSectionsIgnored",
                 "SYSTEM\n SOURCE VAX/VMS\nKEY 0\n PROLOGUE 3\n SIZE 1\n FORMAT junk\n"
                 "ANALYSIS_OF_KEY 0\n DATA_FILL 93\nRECORD\n PROLOG 3\n FORMAT fixed\n SIZE 512\n",
                 "org=seq rfm=fix rat=cr lrl=512\n", ""},
        ReadCase{"LargestSizes", "FILE\nORG relative\nBUCKET_SIZE 0255\nRECORD\nFORMAT VFC\nSIZE 65535\n"
                 "CONTROL_FIELD_SIZE 255\n",
                 "org=rel rfm=vfc rat=cr lrl=65535 bks=255 fsz=255\n", ""},
        ReadCase{"UnknownValue", "RECORD\n\n\tFORMAT streamx\n", nullptr,
                 "-e-fdlval, line 3: unknown FORMAT value \"streamx\"\n"},
        ReadCase{"AmbiguousValue", "FILE\nORGANIZATION indexed\nRECORD\nFORMAT str\n", nullptr,
                 "-e-fdlval, line 4: ambiguous FORMAT value \"str\"\n"},
        ReadCase{"UnknownCarriageControl", "RECORD\nCARR lf\n", nullptr,
                 "-e-fdlval, line 2: unknown CARRIAGE_CONTROL value \"lf\"\n"},
        ReadCase{"SizeTooLarge", "RECORD\nSIZE 70000\n", nullptr,
                 "-e-fdlsiz, line 2: SIZE 70000 does not fit lrl (0..65535)\n"},
        ReadCase{"HugeSize", "RECORD\nSIZE 99999999999999999999999\n", nullptr,
                 "-e-fdlsiz, line 2: SIZE 99999999999999999999999 does not fit lrl (0..65535)\n"},
        ReadCase{"BucketTooLarge", "FILE\nBUCKET_SIZE 300\nORGANIZATION indexed\n", nullptr,
                 "-e-fdlsiz, line 2: BUCKET_SIZE 300 does not fit bks (0..255)\n"},
        ReadCase{"NegativeSize", "RECORD\nSIZE -1\n", nullptr,
                 "-e-fdlval, line 2: SIZE value \"-1\" is not a decimal number\n"},
        ReadCase{"NoValue", "RECORD\nFORMAT ! none\n", nullptr, "-e-fdlval, line 2: no value for FORMAT\n"},
        ReadCase{"TwoValues", "RECORD\nSIZE 1 024\n", nullptr,
                 "-e-fdlval, line 2: more than one value for SIZE\n"},
        ReadCase{"AmbiguousAttribute", "RECORD\nC none\n", nullptr,
                 "-e-fdlkey, line 2: ambiguous attribute \"C\" in RECORD\n"},
        ReadCase{"AmbiguousUnmappedAttributeIgnored", "FILE\nMT 1\nORGANIZATION indexed\n",
                 "org=idx rfm=var rat=cr lrl=32767\n", ""},
        ReadCase{"FirstErrorOnly", "RECORD\nFORMAT bad\nSIZE bad\n", nullptr,
                 "-e-fdlval, line 2: unknown FORMAT value \"bad\"\n"},
        ReadCase{"RulesRunLast", "RECORD\nFORMAT fixed\n", nullptr,
                 "-e-lrlatr, lrl must be non-zero for fixed record size\n"},
        ReadCase{"RelativeWithoutBucketSize", "FILE\nORGANIZATION relative\n", nullptr,
                 "-e-relbks, bks must be non-zero for relative files\n"}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST(FdlRead, LongWordsAreQuotedShort) {
    const std::string source = "RECORD\nFORMAT " + std::string(100000, 'x') + "\n";
    ReadOutcome outcome = read_from(source);
    EXPECT_FALSE(outcome.accepted);
    EXPECT_EQ(outcome.messages, "-e-fdlval, line 2: unknown FORMAT value \"" + std::string(64, 'x') + "\"\n");
}

TEST(FdlRead, BrokenChainIsRefusedAtItsLine) {
    const std::string source = as_records("RECORD\nFORMAT fixed\nSIZE 10") + word16(900) + "RECORD";
    ReadOutcome outcome = read_from(source);
    EXPECT_FALSE(outcome.accepted);
    EXPECT_EQ(outcome.messages, "-e-fdlrec, line 4: record length 900 at offset " +
                                    std::to_string(source.size() - 8) + " runs past the end of the file\n");
}

// Every record the rules accept, written and read back.
TEST(FdlWriter, RoundTripsEveryAcceptedRecord) {
    const std::uint8_t carriage[] = {0, kRatFortran, kRatCarriageReturn, kRatPrint};
    const std::uint16_t sizes[] = {0, 1, 28, 32767, 65535};
    int accepted = 0;
    for (std::uint8_t org : {kOrgSequential, kOrgRelative, kOrgIndexed}) {
        for (std::uint8_t rfm = kRfmUndefined; rfm <= kRfmStreamCr; ++rfm) {
            for (std::uint8_t cc : carriage) {
                for (std::uint8_t blk : {std::uint8_t{0}, std::uint8_t{kRatNoSpan}}) {
                    for (std::uint16_t lrl : sizes) {
                        for (std::uint8_t fsz : {0, 1, 2, 255}) {
                            for (std::uint8_t bks : {0, 1, 255}) {
                                // fsz belongs to vfc records and bks to relative files alone.
                                if ((fsz != 0 && rfm != kRfmVfc) || (bks != 0 && org != kOrgRelative)) {
                                    continue;
                                }
                                FileAttributes attributes;
                                set_org(attributes, org);
                                set_rfm(attributes, rfm);
                                set_rat(attributes, static_cast<std::uint8_t>(cc | blk));
                                set_lrl(attributes, lrl);
                                set_fsz(attributes, fsz);
                                set_bks(attributes, bks);
                                CapturedConsole rules;
                                if (!check_attributes(attributes, rules.console()) || !rules.err().empty()) {
                                    continue;
                                }
                                const std::string text = fdl_description(attributes);
                                SCOPED_TRACE(text);
                                ASSERT_TRUE(is_fdl_source(bytes_of(text), text.size()));
                                for (const std::string& form : {text, as_records(text)}) {
                                    ReadOutcome outcome = read_from(form);
                                    ASSERT_EQ(outcome.messages, "");
                                    ASSERT_EQ(outcome.listing, attribute_listing(attributes));
                                }
                                ++accepted;
                            }
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(accepted, 700);
}

TEST(FdlWriter, LaysTheTextOutAsVmsDoes) {
    FileAttributes attributes;
    set_org(attributes, kOrgRelative);
    set_rfm(attributes, kRfmVfc);
    set_rat(attributes, kRatPrint | kRatNoSpan);
    set_lrl(attributes, 132);
    set_fsz(attributes, 2);
    set_bks(attributes, 3);
    EXPECT_EQ(fdl_description(attributes),
              "IDENT\t\"unrms record attributes\"\n"
              "\n"
              "FILE\n"
              "\tBUCKET_SIZE             3\n"
              "\tORGANIZATION            relative\n"
              "\n"
              "RECORD\n"
              "\tBLOCK_SPAN              no\n"
              "\tCARRIAGE_CONTROL        print\n"
              "\tCONTROL_FIELD_SIZE      2\n"
              "\tFORMAT                  VFC\n"
              "\tSIZE                    132\n");
}

std::string file_contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The FDL files of real kits, as they came off VMS.
TEST(FdlRealFiles, EveryOneIsRecognisedAndRead) {
    const fs::path folder = fs::path(UNRMS_REALFILES_DIR) / "fdl";
    if (!fs::exists(folder)) {
        GTEST_SKIP() << "no real files at " << folder;
    }
    const std::pair<const char*, const char*> files[] = {
        {"BCC$ELEMENT_FILE_V32FLIP.FDL", "org=idx rfm=var rat=cr lrl=2792\n"},
        {"CM$CART$BASE$CHANGES.FDL", "org=idx rfm=fix rat=cr lrl=639\n"},
        {"CM$CART$CONFLICT$ELEMENTS.FDL", "org=idx rfm=fix rat=cr lrl=384\n"},
        {"CM$ETYPES.FDL", "org=idx rfm=fix rat=cr lrl=2953\n"},
        {"DDS$PERM_AIF.FDL", "org=idx rfm=fix rat=cr lrl=52\n"},
        {"MUAS$WPLDEF.FDL", "org=seq rfm=fix rat=none lrl=512\n"},
        {"SEQUENTIAL.FDL", "org=seq rfm=var rat=cr lrl=32767\n"},
        {"TMR$SA_LOG_FILE.FDL", "org=seq rfm=var rat=cr lrl=148\n"},
        {"UCX$CONVERT.FDL", "org=seq rfm=stmlf rat=cr lrl=0\n"},
        {"XMR$RMSFILE.FDL", "org=seq rfm=stm rat=none lrl=0\n"},
    };
    std::size_t present = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        present += entry.path().extension() == ".FDL";
    }
    EXPECT_EQ(present, std::size(files));
    for (const auto& [name, listing] : files) {
        SCOPED_TRACE(name);
        const std::string data = file_contents(folder / name);
        ASSERT_FALSE(data.empty());
        EXPECT_EQ(fdl_form(bytes_of(data), data.size()), FdlForm::kRecords);
        EXPECT_TRUE(is_fdl_source(bytes_of(data), data.size()));
        ReadOutcome outcome = read_from(data);
        EXPECT_EQ(outcome.messages, "");
        EXPECT_EQ(outcome.listing, listing);
    }
}

// Three of them describe data files of the kits, whose own attributes are known.
TEST(FdlRealFiles, DescribeTheDataFilesOfTheirKits) {
    const fs::path root = UNRMS_REALFILES_DIR;
    if (!fs::exists(root / "fdl") || !fs::exists(root / "vaxkits")) {
        GTEST_SKIP() << "no real files at " << root;
    }
    const std::pair<const char*, const char*> pairs[] = {
        {"CM$CART$BASE$CHANGES.FDL", "V60$CM$CART$BASE$CHANGES.DAT"},
        {"DDS$PERM_AIF.FDL", "DDS_PERM_AIF.DAT"},
        {"CM$ETYPES.FDL", "CM$ETYPES_CART.DAT"},
    };
    for (const auto& [fdl, data] : pairs) {
        SCOPED_TRACE(fdl);
        TextStream stream;
        text_stream_from_text(stream, file_contents(root / "vaxkits" / (std::string(data) + ".attr")));
        FileAttributes expected;
        CapturedConsole captured;
        ASSERT_TRUE(read_attributes(stream, data, expected, captured.console()));
        ReadOutcome outcome = read_from(file_contents(root / "fdl" / fdl));
        EXPECT_EQ(outcome.messages, "");
        EXPECT_EQ(outcome.listing, attribute_listing(expected));
    }
}

}  // namespace
