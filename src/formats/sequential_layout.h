// Sequential files of variable-length records (var, and vfc, whose records
// begin with the fixed control area): each record is a 16-bit little-endian
// length word, the stored bytes, and a pad byte after an odd length, so that
// every length word starts at an even offset. Fixed-length records have no
// length word; a record that does not fit whole into the rest of a block
// starts at the next block. Stream records have neither length words nor
// blocks: each ends at its terminator.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kLengthWordSize = 2;

// The length word that ends the records of the current block: the rest of
// the block holds none.
inline constexpr std::uint16_t kEndOfBlockMarker = 0xFFFF;

// The bytes a record of length data bytes takes after its length word.
inline constexpr std::size_t padded_length(std::size_t length) {
    return length + (length & 1);
}

// Stream terminators: CR LF ends a record of rfm=stm, CR one of rfm=stmcr
// (and LF one of rfm=stmlf); any other byte is record data.
inline constexpr unsigned char kCarriageReturn = 0x0D;
inline constexpr unsigned char kLineFeed = 0x0A;
