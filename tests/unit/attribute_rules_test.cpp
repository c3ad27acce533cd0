#include <gtest/gtest.h>

#include "attributes/attribute_listing.h"
#include "attributes/attribute_rules.h"
#include "captured_console.h"

namespace {

struct RuleCase {
    const char* name;
    std::uint8_t org, rfm, rat;
    std::uint16_t lrl;
    std::uint8_t bks, fsz;
    bool result;
    const char* listing;  // after the rules; checked when accepted
    const char* messages;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class AttributeRulesTest : public testing::TestWithParam<RuleCase> {};

TEST_P(AttributeRulesTest, ChecksAndCompletes) {
    const RuleCase& c = GetParam();
    FileAttributes attributes;
    set_org(attributes, c.org);
    set_rfm(attributes, c.rfm);
    set_rat(attributes, c.rat);
    set_lrl(attributes, c.lrl);
    set_bks(attributes, c.bks);
    set_fsz(attributes, c.fsz);
    CapturedConsole captured;
    EXPECT_EQ(check_attributes(attributes, captured.console()), c.result);
    EXPECT_EQ(captured.err(), c.messages);
    if (c.result) {
        EXPECT_EQ(attribute_listing(attributes), c.listing);
    }
}

constexpr std::uint8_t kCr = kRatCarriageReturn;

INSTANTIATE_TEST_SUITE_P(
    Records, AttributeRulesTest,
    testing::Values(
        RuleCase{"AllZero", kOrgSequential, kRfmUndefined, 0, 0, 0, 0, 1, "org=seq rfm=udf rat=none lrl=0\n", ""},
        RuleCase{"VarKeepsLrl", kOrgSequential, kRfmVariable, kCr, 28, 0, 0, 1,
                 "org=seq rfm=var rat=cr lrl=28\n", ""},
        RuleCase{"VarDefault", kOrgSequential, kRfmVariable, kCr, 0, 0, 0, 1,
                 "org=seq rfm=var rat=cr lrl=32767\n", ""},
        RuleCase{"StmlfStaysZero", kOrgSequential, kRfmStreamLf, 0, 0, 0, 0, 1,
                 "org=seq rfm=stmlf rat=none lrl=0\n", ""},
        RuleCase{"RelativeDefault", kOrgRelative, kRfmVariable, 0, 0, 2, 0, 1,
                 "org=rel rfm=var rat=none lrl=1024 bks=2\n", ""},
        RuleCase{"RelativeFixNeedsLrl", kOrgRelative, kRfmFixed, 0, 0, 2, 0, 0, nullptr,
                 "-e-lrlatr, lrl must be non-zero for fixed record size\n"},
        RuleCase{"RelativeDefaultLargestBucketThatFits", kOrgRelative, kRfmVariable, 0, 0, 127, 0, 1,
                 "org=rel rfm=var rat=none lrl=65024 bks=127\n", ""},
        RuleCase{"RelativeDefaultBeyondTheField", kOrgRelative, kRfmVariable, 0, 0, 128, 0, 1,
                 "org=rel rfm=var rat=none lrl=65535 bks=128\n", ""},
        RuleCase{"RelativeStreamBeforeBks", kOrgRelative, kRfmStream, 0, 0, 0, 0, 0, nullptr,
                 "-e-relrfm, incompatible record format (udf, stm, stmlf, stmcr)\n"},
        RuleCase{"RelativeNeedsBks", kOrgRelative, kRfmVariable, 0, 0, 0, 0, 0, nullptr,
                 "-e-relbks, bks must be non-zero for relative files\n"},
        RuleCase{"IndexedUndefined", kOrgIndexed, kRfmUndefined, 0, 0, 0, 0, 0, nullptr,
                 "-e-idxrfm, incompatible record format (udf, stm, stmlf, stmcr)\n"},
        RuleCase{"IndexedBksWarning", kOrgIndexed, kRfmVariable, kCr, 0, 4, 0, 1,
                 "org=idx rfm=var rat=cr lrl=32767\n", "-w-idxbks, bks is non-zero: ignored\n"},
        RuleCase{"PrintVfc", kOrgSequential, kRfmVfc, kRatPrint, 0, 0, 2, 1,
                 "org=seq rfm=vfc rat=prn lrl=32767 fsz=2\n", ""},
        RuleCase{"PrintNeedsFsz2", kOrgSequential, kRfmVfc, kRatPrint, 0, 0, 1, 0, nullptr,
                 "-e-prnatr, for carriage control prn record format must be vfc and fsz==2\n"},
        RuleCase{"PrintNeedsVfc", kOrgSequential, kRfmVariable, kRatPrint, 0, 0, 2, 0, nullptr,
                 "-e-prnatr, for carriage control prn record format must be vfc and fsz==2\n"},
        RuleCase{"VfcNeedsFsz", kOrgSequential, kRfmVfc, 0, 0, 0, 0, 0, nullptr,
                 "-e-fszatr, fsz must be non-zero for vfc record size\n"},
        RuleCase{"TwoCarriageControls", kOrgSequential, kRfmVariable, kCr | kRatFortran, 0, 0, 0, 0, nullptr,
                 "-e-ratatr, more than one carriage control (ftn, cr, prn)\n"},
        RuleCase{"BlkIsNoCarriageControl", kOrgSequential, kRfmFixed, kCr | kRatNoSpan, 80, 0, 0, 1,
                 "org=seq rfm=fix rat=cr rat=blk lrl=80\n", ""},
        RuleCase{"WarningThenError", kOrgSequential, kRfmFixed, 0, 0, 3, 0, 0, nullptr,
                 "-w-seqbks, bks is non-zero: ignored\n"
                 "-e-lrlatr, lrl must be non-zero for fixed record size\n"}),
    [](const testing::TestParamInfo<RuleCase>& info) { return std::string(info.param.name); });

TEST(FileAttributes, PackedOrganisationAndFormat) {
    FileAttributes attributes;
    set_org(attributes, kOrgRelative);
    set_rfm(attributes, kRfmVfc);
    EXPECT_EQ(attributes.bytes[0], 0x13);
    set_org(attributes, kOrgIndexed);
    EXPECT_EQ(attributes.bytes[0], 0x23);
}

}  // namespace
