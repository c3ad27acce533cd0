// The RMS record attributes of the input file, restated by the user.
//
// The record keeps the 32-byte layout of the RMS record-attribute area;
// organisation and record format share byte 0. Only the fields below are
// ever written; the rest stay zero.
#pragma once

#include <array>
#include <cstdint>

#include "formats/attribute_codes.h"

struct FileAttributes {
    std::array<std::uint8_t, 32> bytes{};
};

namespace attribute_offset {
inline constexpr int kOrgRfm = 0;
inline constexpr int kRat = 1;
inline constexpr int kLrl = 2;
inline constexpr int kBks = 14;
inline constexpr int kFsz = 15;
}  // namespace attribute_offset

inline std::uint8_t org_of(const FileAttributes& a) { return a.bytes[attribute_offset::kOrgRfm] >> 4; }
inline std::uint8_t rfm_of(const FileAttributes& a) { return a.bytes[attribute_offset::kOrgRfm] & 0x0F; }
inline std::uint8_t rat_of(const FileAttributes& a) { return a.bytes[attribute_offset::kRat]; }
inline std::uint16_t lrl_of(const FileAttributes& a) {
    return static_cast<std::uint16_t>(a.bytes[attribute_offset::kLrl] |
                                      (a.bytes[attribute_offset::kLrl + 1] << 8));
}
inline std::uint8_t bks_of(const FileAttributes& a) { return a.bytes[attribute_offset::kBks]; }
inline std::uint8_t fsz_of(const FileAttributes& a) { return a.bytes[attribute_offset::kFsz]; }

inline void set_org(FileAttributes& a, std::uint8_t code) {
    auto& packed = a.bytes[attribute_offset::kOrgRfm];
    packed = static_cast<std::uint8_t>((code << 4) | (packed & 0x0F));
}
inline void set_rfm(FileAttributes& a, std::uint8_t code) {
    auto& packed = a.bytes[attribute_offset::kOrgRfm];
    packed = static_cast<std::uint8_t>((packed & 0xF0) | (code & 0x0F));
}
inline void set_rat(FileAttributes& a, std::uint8_t bits) { a.bytes[attribute_offset::kRat] = bits; }
inline void set_lrl(FileAttributes& a, std::uint16_t value) {
    a.bytes[attribute_offset::kLrl] = static_cast<std::uint8_t>(value);
    a.bytes[attribute_offset::kLrl + 1] = static_cast<std::uint8_t>(value >> 8);
}
inline void set_bks(FileAttributes& a, std::uint8_t value) { a.bytes[attribute_offset::kBks] = value; }
inline void set_fsz(FileAttributes& a, std::uint8_t value) { a.bytes[attribute_offset::kFsz] = value; }
