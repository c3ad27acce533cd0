#include "formats/saveset_layout.h"

#include <array>

namespace {

constexpr std::array<std::uint16_t, 256> crc16_arc_table() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        std::uint16_t crc = static_cast<std::uint16_t>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1);
        }
        table[byte] = crc;
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kCrc16ArcTable = crc16_arc_table();

}  // namespace

std::uint16_t crc16_arc(std::uint16_t crc, const unsigned char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrc16ArcTable[(crc ^ data[i]) & 0xFF]);
    }
    return crc;
}
