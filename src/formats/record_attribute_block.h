// The 32-byte RMS record attribute block (the FAT) as archives carry it: a
// saveset's FILE record holds it as attribute 52 (RECATTR), a zip member's
// VMS extra field as tag 4. Bytes 0-3 (organisation and record format,
// record attributes, lrl) and 14-15 (bks, fsz) are the fields
// FileAttributes names; the words below are the rest.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/little_endian.h"

inline constexpr std::size_t kRecordAttributeBlockSize = 32;

// hiblk (the highest allocated VBN) and efblk (the VBN of the end of file)
// are longwords stored high word first: W@4 is the high word of hiblk, W@6
// its low word.
inline constexpr std::size_t kFatHiblk = 4;
inline constexpr std::size_t kFatEfblk = 8;
// The first free byte in the end-of-file block.
inline constexpr std::size_t kFatFfb = 12;
inline constexpr std::size_t kFatMrs = 16;
inline constexpr std::size_t kFatDeq = 18;
inline constexpr std::size_t kFatGbc = 20;

// A longword of the block, high word first.
inline std::uint32_t fat_longword(const unsigned char* p) {
    return (static_cast<std::uint32_t>(le16(p)) << 16) | le16(p + 2);
}

// Stores a longword high word first.
inline void store_fat_longword(unsigned char* p, std::uint32_t value) {
    store_le16(p, static_cast<std::uint16_t>(value >> 16));
    store_le16(p + 2, static_cast<std::uint16_t>(value));
}
