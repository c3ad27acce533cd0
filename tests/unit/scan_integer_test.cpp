#include <gtest/gtest.h>

#include <optional>

#include "platform/scan_integer.h"

namespace {

struct IntCase {
    const char* text;
    std::optional<std::int32_t> value;  // nullopt: no number can be read
};

class ScanIntTest : public testing::TestWithParam<IntCase> {};

TEST_P(ScanIntTest, ReadsLikePercentI) {
    const IntCase& c = GetParam();
    std::int32_t value = 12345;
    bool read = scan_int(c.text, &value);
    EXPECT_EQ(read, c.value.has_value());
    EXPECT_EQ(value, c.value.value_or(12345));
}

INSTANTIATE_TEST_SUITE_P(
    Levels, ScanIntTest,
    testing::Values(IntCase{"3", 3}, IntCase{"010", 8}, IntCase{"0x10", 16}, IntCase{"0X1f", 31},
                    IntCase{"08", 0}, IntCase{"x", std::nullopt}, IntCase{"-1", -1},
                    IntCase{"+7", 7}, IntCase{"", std::nullopt}, IntCase{"-", std::nullopt},
                    IntCase{"0x", 0}, IntCase{"0xg", 0}, IntCase{"  12", 12}, IntCase{"2abc", 2},
                    IntCase{"0x100000001", 1}, IntCase{"99999999999999999999", -1},
                    IntCase{"-99999999999999999999", 0}, IntCase{"4294967295", -1}));

// "%u" kept whole: the attribute reader refuses what a field cannot hold
// rather than letting it wrap.
struct DecimalCase {
    const char* text;
    bool read;
    bool negative;
    bool overflow;
    std::uint64_t magnitude;
};

class ScanDecimalTest : public testing::TestWithParam<DecimalCase> {};

TEST_P(ScanDecimalTest, ReadsLikePercentUWithoutWrapping) {
    const DecimalCase& c = GetParam();
    DecimalNumber number;
    number.magnitude = 777;
    EXPECT_EQ(scan_decimal(c.text, &number), c.read);
    EXPECT_EQ(number.negative, c.negative);
    EXPECT_EQ(number.overflow, c.overflow);
    if (!c.overflow) {
        EXPECT_EQ(number.magnitude, c.read ? c.magnitude : 777u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ScanDecimalTest,
    testing::Values(DecimalCase{"28", true, false, false, 28}, DecimalCase{"28abc", true, false, false, 28},
                    DecimalCase{"0x10", true, false, false, 0}, DecimalCase{"010", true, false, false, 10},
                    DecimalCase{"-1", true, true, false, 1}, DecimalCase{"-0", true, true, false, 0},
                    DecimalCase{"65564", true, false, false, 65564},
                    DecimalCase{"18446744073709551615", true, false, false, 18446744073709551615u},
                    DecimalCase{"18446744073709551616", true, false, true, 0},
                    DecimalCase{"", false, false, false, 0}, DecimalCase{"x", false, false, false, 0},
                    DecimalCase{"+", false, false, false, 0}, DecimalCase{"\r28", true, false, false, 28}));

}  // namespace
