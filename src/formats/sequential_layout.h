// Sequential files of variable-length records (var, and vfc, whose records
// begin with the fixed control area): each record is a 16-bit little-endian
// length word, the stored bytes, and a pad byte after an odd length, so that
// every length word starts at an even offset. Fixed-length records have no
// length word and are packed end to end (odd lengths padded), across blocks;
// with rat=blk a record that does not fit whole into the rest of a block
// starts at the next block. Stream records have neither length words nor
// blocks: each ends at its terminator.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/blocks.h"

inline constexpr std::size_t kLengthWordSize = 2;

// The length word that ends the records of the current block: the rest of
// the block holds none.
inline constexpr std::uint16_t kEndOfBlockMarker = 0xFFFF;

// The bytes a record of length data bytes takes after its length word.
inline constexpr std::size_t padded_length(std::size_t length) {
    return length + (length & 1);
}

// With rat=blk: the bytes RMS leaves unused before a fixed-length record of
// length bytes that would start at offset, so that it starts at the next
// block instead of crossing into it; 0 when it fits the rest of its block
// (or starts a block: a record longer than a block then runs on).
inline constexpr std::uint64_t block_gap_before(std::uint64_t offset, std::size_t length) {
    const std::uint64_t in_block = offset % kBlockSize;
    return in_block != 0 && in_block + length > kBlockSize ? kBlockSize - in_block : 0;
}

// Stream terminators: CR LF ends a record of rfm=stm, CR one of rfm=stmcr
// (and LF one of rfm=stmlf); any other byte is record data.
inline constexpr unsigned char kCarriageReturn = 0x0D;
inline constexpr unsigned char kLineFeed = 0x0A;
