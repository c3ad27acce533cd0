// Blocks and virtual block numbers: an RMS file is a run of 512-byte blocks,
// counted from VBN 1, whatever its organisation.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kBlockSize = 512;

// The file offset of the first byte of block vbn (vbn >= 1).
inline std::uint64_t vbn_offset(std::uint32_t vbn) {
    return (static_cast<std::uint64_t>(vbn) - 1) * kBlockSize;
}

// The same for a VBN held in 64 bits, as walks that step past the 32-bit
// range hold them.
inline std::uint64_t vbn_offset_wide(std::uint64_t vbn) {
    return (vbn - 1) * kBlockSize;
}
