// SIMH magnetic tape images (.tap) and the ANSI labels BACKUP writes on a
// tape. An image is a run of 4-byte little-endian words, each a marker or
// the leading length of a data record: the length word, the data, one pad
// byte after an odd length, the same length word again.
//
// On a labelled tape each saveset is one tape file:
//   VOL1 (once) HDR1 HDR2 [HDR3...] TM  block ... block  TM  EOF1 EOF2 [...] TM
// and the next file follows; two tape marks in a row end the tape. Every
// label and every BACKUP block is one record.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kTapeWordSize = 4;

// Markers.
inline constexpr std::uint32_t kTapeMark = 0x00000000;
inline constexpr std::uint32_t kTapeEndOfMedium = 0xFFFFFFFF;
inline constexpr std::uint32_t kTapeEraseGap = 0xFFFFFFFE;
// An overwrite's forward half gap: the image goes on 2 bytes further.
inline constexpr std::uint32_t kTapeHalfGap = 0xFFFEFFFF;
inline constexpr std::size_t kTapeHalfGapAdvance = 2;

// A word's class (bits 28-31) and value (bits 0-27): class 0 is a good data
// record (value 0 the tape mark), 8 a record read with an error whose data
// are still there, 7 a private marker, 15 the standard markers above; the
// other classes are private or reserved records, skipped by their length.
inline constexpr unsigned tape_word_class(std::uint32_t word) { return word >> 28; }
inline constexpr std::uint32_t tape_word_length(std::uint32_t word) { return word & 0x0FFFFFFF; }
inline constexpr unsigned kTapeClassGood = 0;
inline constexpr unsigned kTapeClassPrivateMarker = 7;
inline constexpr unsigned kTapeClassBad = 8;
inline constexpr unsigned kTapeClassMarker = 15;

// The bytes a record of length bytes takes between its two length words.
inline constexpr std::uint64_t tape_data_area(std::uint64_t length) { return length + (length & 1); }

// ANSI labels: 80 ASCII bytes; offsets below are 0-based (the standard's
// character position minus one).
inline constexpr std::size_t kLabelSize = 80;
inline constexpr std::size_t kLabelIdSize = 4;  // "VOL1", "HDR1", "EOF1"...

// HDR1, EOF1 and EOV1.
inline constexpr std::size_t kHdr1FileIdentifier = 4;  // the saveset name, blank padded
inline constexpr std::size_t kHdr1FileIdentifierSize = 17;
inline constexpr std::size_t kHdr1FileSection = 27;
inline constexpr std::size_t kHdr1FileSequence = 31;
inline constexpr std::size_t kHdr1NumberSize = 4;
inline constexpr std::size_t kEof1BlockCount = 54;  // the blocks of the file section
inline constexpr std::size_t kEof1BlockCountSize = 6;

// HDR2: the block length is BACKUP's block size.
inline constexpr std::size_t kHdr2RecordFormat = 4;
inline constexpr std::size_t kHdr2BlockLength = 5;
inline constexpr std::size_t kHdr2BlockLengthSize = 5;
