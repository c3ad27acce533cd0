// Limits that RMS puts on records and buckets, and the ranges of the
// attribute fields that hold sizes.
#pragma once

#include <cstdint>

// The longest record a sequential file holds, and the largest record buffer
// the readers use; also the lrl that variable-length formats default to.
inline constexpr std::uint16_t kLongestRecord = 32767;

// The attribute fields: lrl is 16 bits wide, bks and fsz 8 bits.
inline constexpr std::uint32_t kLargestLrl = 65535;
inline constexpr std::uint32_t kLargestBks = 255;
inline constexpr std::uint32_t kLargestFsz = 255;

// The largest bucket of a relative or indexed file, in blocks.
inline constexpr unsigned kLargestBucketBlocks = 63;
