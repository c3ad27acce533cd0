// Little-endian fields of on-disk structures, decoded and stored byte by
// byte so that the host's byte order and alignment never matter.
#pragma once

#include <cstdint>

inline std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t le64(const unsigned char* p) {
    return static_cast<std::uint64_t>(le32(p)) | (static_cast<std::uint64_t>(le32(p + 4)) << 32);
}

inline void store_le16(unsigned char* p, std::uint16_t value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}

inline void store_le32(unsigned char* p, std::uint32_t value) {
    store_le16(p, static_cast<std::uint16_t>(value));
    store_le16(p + 2, static_cast<std::uint16_t>(value >> 16));
}
