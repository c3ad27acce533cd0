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

struct UnsignedCase {
    const char* text;
    std::optional<std::uint32_t> value;
};

class ScanUnsignedTest : public testing::TestWithParam<UnsignedCase> {};

TEST_P(ScanUnsignedTest, ReadsLikePercentU) {
    const UnsignedCase& c = GetParam();
    std::uint32_t value = 777;
    bool read = scan_unsigned(c.text, &value);
    EXPECT_EQ(read, c.value.has_value());
    EXPECT_EQ(value, c.value.value_or(777));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ScanUnsignedTest,
    testing::Values(UnsignedCase{"28", 28u}, UnsignedCase{"28abc", 28u}, UnsignedCase{"0x10", 0u},
                    UnsignedCase{"010", 10u}, UnsignedCase{"-1", 4294967295u},
                    UnsignedCase{"65564", 65564u}, UnsignedCase{"4294967297", 1u},
                    UnsignedCase{"18446744073709551616", 4294967295u}, UnsignedCase{"", std::nullopt},
                    UnsignedCase{"x", std::nullopt}, UnsignedCase{"+", std::nullopt},
                    UnsignedCase{"\r28", 28u}));

}  // namespace
