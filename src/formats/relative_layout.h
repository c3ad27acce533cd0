// Relative files: a prolog in VBN 1 that says where the data buckets start
// (dvbn) and where the walk over them stops (eof); buckets of bks blocks
// from dvbn, each a run of cells of equal size and no header.
#pragma once

#include <cstddef>
#include <cstdint>

// Prolog fields, offsets in VBN 1.
inline constexpr std::size_t kRelativePrologFlags = 16;
inline constexpr std::size_t kRelativePrologDvbn = 104;
inline constexpr std::size_t kRelativePrologMrn = 108;
inline constexpr std::size_t kRelativePrologEof = 112;

struct RelativeProlog {
    std::uint8_t flags;
    std::uint16_t dvbn;  // VBN of the first data bucket
    std::uint32_t mrn;   // the maximum record number
    std::uint32_t eof;   // the walk reads the buckets that start below it
};

RelativeProlog decode_relative_prolog(const unsigned char* vbn1);

// A cell: the control byte dlc, then for variable-length and vfc records a
// 16-bit record length, and the record area: lrl bytes, behind the fsz
// bytes of fixed control for vfc records, whose length counts them too.
// Fixed-length records have no length field: each fills its lrl bytes.
inline constexpr std::size_t kCellLengthOffset = 1;
inline constexpr std::size_t kVariableCellHeaderSize = 3;
inline constexpr std::size_t kFixedCellHeaderSize = 1;

// dlc values: no record ever stored here (RMS zero-fills a bucket when it
// formats it, and records stored by number leave the cells between them so);
// a record. Any other value marks a cell whose record is not copied
// (deleted).
inline constexpr unsigned char kCellEmpty = 0;
inline constexpr unsigned char kCellRecordPresent = 0x08;
inline constexpr unsigned char kCellDeleted = 0x04;
