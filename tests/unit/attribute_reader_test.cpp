#include <gtest/gtest.h>

#include <string>

#include "attributes/attribute_listing.h"
#include "attributes/attribute_reader.h"
#include "attributes/attribute_source.h"
#include "captured_console.h"
#include "platform/raw_io.h"
#include "platform/text_stream.h"

namespace {

struct ReadOutcome {
    bool result;
    std::string listing;  // after the reader and its rules
    std::string messages;
};

ReadOutcome read_from(const std::string& source) {
    TextStream stream;
    text_stream_from_text(stream, source);
    FileAttributes attributes;
    CapturedConsole captured;
    bool result = read_attributes(stream, "attrs", attributes, captured.console());
    return {result, attribute_listing(attributes), captured.err()};
}

struct ReaderCase {
    const char* name;
    std::string source;
    bool result;
    const char* listing;
    const char* messages;
};

void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }

class AttributeReaderTest : public testing::TestWithParam<ReaderCase> {};

TEST_P(AttributeReaderTest, EntersAssignments) {
    const ReaderCase& c = GetParam();
    ReadOutcome outcome = read_from(c.source);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.messages, c.messages);
    if (c.listing != nullptr) {
        EXPECT_EQ(outcome.listing, c.listing);
    }
}

const std::string kLongValue = std::string(120, '0') + "28";  // "lrl=" + 122 characters = 126

INSTANTIATE_TEST_SUITE_P(
    Sources, AttributeReaderTest,
    testing::Values(
        ReaderCase{"Empty", "", 1, "org=seq rfm=udf rat=none lrl=0\n", ""},
        ReaderCase{"SeparatorsOnly", " \t\n\n ", 1, "org=seq rfm=udf rat=none lrl=0\n", ""},
        ReaderCase{"OneLine", "org=seq rfm=var rat=cr lrl=28\n", 1, "org=seq rfm=var rat=cr lrl=28\n", ""},
        ReaderCase{"SpreadOverLines", "\torg=seq\n\n  rfm=var\t rat=cr\nlrl=28", 1,
                   "org=seq rfm=var rat=cr lrl=28\n", ""},
        ReaderCase{"CrLfLines", "org=seq\r\nrfm=var\r\nrat=cr\r\nlrl=28\r\n", 1,
                   "org=seq rfm=var rat=cr lrl=28\n", ""},
        ReaderCase{"CtrlZEndsTheText", "org=idx rfm=var\x1a rfm=bogus", 1,
                   "org=idx rfm=var rat=none lrl=32767\n", ""},
        ReaderCase{"RatNoneClears", "rat=cr rat=none rat=ftn", 1, "org=seq rfm=udf rat=ftn lrl=0\n", ""},
        ReaderCase{"RatAccumulates", "rat=cr rat=blk", 1, "org=seq rfm=udf rat=cr rat=blk lrl=0\n", ""},
        ReaderCase{"LastOrgWins", "org=seq org=idx rfm=var", 1, "org=idx rfm=var rat=none lrl=32767\n", ""},
        ReaderCase{"OrgKeepsRfm", "rfm=fix org=rel bks=1 lrl=10", 1,
                   "org=rel rfm=fix rat=none lrl=10 bks=1\n", ""},
        ReaderCase{"LrlLargest", "rfm=var lrl=65535", 1, "org=seq rfm=var rat=none lrl=65535\n", ""},
        ReaderCase{"LrlAboveItsField", "rfm=var lrl=65564", 0, nullptr,
                   "-e-opterr, lrl=65564 out of range: lrl takes 0..65535\n"},
        ReaderCase{"LrlNegative", "rfm=var lrl=-1", 0, nullptr, "-e-opterr, lrl=-1 out of range: lrl takes 0..65535\n"},
        ReaderCase{"LrlBeyond64Bits", "lrl=18446744073709551617", 0, nullptr,
                   "-e-opterr, lrl=18446744073709551617 out of range: lrl takes 0..65535\n"},
        ReaderCase{"MinusZeroIsZero", "rfm=var lrl=-0", 1, "org=seq rfm=var rat=none lrl=32767\n", ""},
        ReaderCase{"TrailingJunkIgnored", "rfm=var lrl=28abc", 1, "org=seq rfm=var rat=none lrl=28\n", ""},
        ReaderCase{"EmptyNumberIsZero", "rfm=var lrl=", 1, "org=seq rfm=var rat=none lrl=32767\n", ""},
        ReaderCase{"BksLargest", "org=rel rfm=var bks=255", 1, "org=rel rfm=var rat=none lrl=65535 bks=255\n", ""},
        ReaderCase{"BksAboveItsField", "org=rel rfm=var bks=300", 0, nullptr,
                   "-e-opterr, bks=300 out of range: bks takes 0..255\n"},
        ReaderCase{"BksNegativeWithJunk", "bks=-2x", 0, nullptr, "-e-opterr, bks=-2x out of range: bks takes 0..255\n"},
        ReaderCase{"LongestToken", "lrl=" + kLongValue, 1, nullptr, ""},
        ReaderCase{"TokenTooLong", "lrl=" + kLongValue + "9", 0, nullptr,
                   "-e-opterr, input line too long\n"},
        ReaderCase{"UpperCaseKeyword", "ORG=seq", 0, nullptr, "-e-opterr, unknown attribute ORG=seq\n"},
        ReaderCase{"UpperCaseValue", "rfm=VAR", 0, nullptr, "-e-opterr, unknown record format rfm=VAR\n"},
        ReaderCase{"UnsettableField", "mrs=100", 0, nullptr, "-e-opterr, unknown attribute mrs=100\n"},
        ReaderCase{"NoEqualsSign", "org", 0, nullptr, "-e-opterr, unknown attribute org\n"},
        ReaderCase{"BlankAfterEquals", "org= seq", 0, nullptr,
                   "-e-opterr, unknown file organization org=\n"},
        ReaderCase{"CommaIsNotASeparator", "org=seq,rfm=var", 0, nullptr,
                   "-e-opterr, unknown file organization org=seq,rfm=var\n"},
        ReaderCase{"UnknownRat", "rat=lf", 0, nullptr, "-e-opterr, unknown record attribute rat=lf\n"},
        ReaderCase{"ErrorStopsReading", "rfm=var bad rfm=bogus", 0, nullptr,
                   "-e-opterr, unknown attribute bad\n"},
        ReaderCase{"RulesRunAtTheEnd", "rat=cr rat=ftn", 0, nullptr,
                   "-e-ratatr, more than one carriage control (ftn, cr, prn)\n"},
        ReaderCase{"FszAboveItsField", "rfm=vfc fsz=258", 0, nullptr,
                   "-e-opterr, fsz=258 out of range: fsz takes 0..255\n"},
        ReaderCase{"RangeErrorStopsReading", "fsz=256 rfm=bogus", 0, nullptr,
                   "-e-opterr, fsz=256 out of range: fsz takes 0..255\n"}),
    [](const testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

// A source that cannot be read is reported, not taken for an empty one.
TEST(AttributeSource, ReadErrorIsReportedWithTheSourceName) {
    int fd = -1;
    ASSERT_TRUE(open_raw_input(".", &fd));
    FileAttributes attributes;
    CapturedConsole captured;
    EXPECT_FALSE(read_attribute_source(fd, "attrs.d", attributes, captured.console()));
    EXPECT_EQ(captured.err(), "attrs.d: Is a directory\n");
    close_descriptor(fd);
}

TEST(NextToken, StopsAtCapacityAndLeavesTheRestUnread) {
    TextStream stream;
    text_stream_from_text(stream, "abcdefgh next");
    char buffer[6];
    EXPECT_EQ(next_token(stream, buffer, sizeof buffer), 5u);
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(next_token(stream, buffer, sizeof buffer), 3u);
    EXPECT_STREQ(buffer, "fgh");
    EXPECT_EQ(next_token(stream, buffer, sizeof buffer), 4u);
    EXPECT_EQ(next_token(stream, buffer, sizeof buffer), 0u);
}

}  // namespace
