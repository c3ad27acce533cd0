// The codes of the RMS record-attribute area: organisation, record format
// and record attribute bits, with the names the assignments and the listing
// give them.
#pragma once

#include <cstdint>

// Organisation codes (byte 0, bits 4-7).
enum : std::uint8_t { kOrgSequential = 0, kOrgRelative = 1, kOrgIndexed = 2 };

// Record format codes (byte 0, bits 0-3).
enum : std::uint8_t {
    kRfmUndefined = 0,
    kRfmFixed = 1,
    kRfmVariable = 2,
    kRfmVfc = 3,
    kRfmStream = 4,
    kRfmStreamLf = 5,
    kRfmStreamCr = 6,
};

// Record attribute bits (byte 1).
enum : std::uint8_t {
    kRatFortran = 0x01,
    kRatCarriageReturn = 0x02,
    kRatPrint = 0x04,
    kRatNoSpan = 0x08,
    kRatMsb = 0x10,
};

// The names of the codes, in code order.
inline constexpr const char* kOrgNames[] = {"seq", "rel", "idx"};
inline constexpr const char* kRfmNames[] = {"udf", "fix", "var", "vfc", "stm", "stmlf", "stmcr"};
// "none" empties rat; entry i (from 1) names the bit 1 << (i - 1).
inline constexpr const char* kRatNames[] = {"none", "ftn", "cr", "prn", "blk", "msb"};
