// The cells of one relative bucket, walked one at a time as the copier and
// the probe both read them. The walk reports what it finds; it prints
// nothing, so a caller that only weighs a layout stays silent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/relative_layout.h"
#include "platform/little_endian.h"

// The record format of the cells.
enum class CellFormat {
    kVariable,  // dlc, a 16-bit length, lrl bytes of record area
    kFixed,     // dlc, the lrl bytes of the record
    kVfc,       // dlc, a 16-bit length counting fsz and the data, fsz bytes of control, lrl bytes of data
};

// How the cells of a bucket are laid out.
struct CellLayout {
    std::size_t bucket_size = 0;  // bytes
    std::size_t lrl = 0;          // the record area of every cell (vfc: the data alone)
    std::size_t stride = 0;       // the bytes of one cell
    CellFormat format = CellFormat::kVariable;
    std::size_t fsz = 0;  // vfc: the fixed control area in front of the data
};

CellLayout variable_cell_layout(std::size_t bucket_size, std::size_t lrl);
CellLayout fixed_cell_layout(std::size_t bucket_size, std::size_t lrl);
CellLayout vfc_cell_layout(std::size_t bucket_size, std::size_t lrl, std::size_t fsz);

enum class CellKind {
    kRecord,       // a record to copy: data, size
    kSkipped,  // a cell whose record is not copied (deleted, or a control byte RMS does not write)
    kEmpty,    // dlc 0: no record was ever stored here; cells behind it may hold records
    kDamaged,  // fault says what
};

enum class CellFault {
    kNone,
    kFileEndsInBucket,  // the file ends before the cell
    kNoRoomForLength,   // the length field reaches past the bucket
    kFileEndsInRecord,
    kLongerThanLrl,    // vfc: longer than fsz + lrl
    kShorterThanFsz,   // vfc: too short for the control area
    kPastBucket,  // the record reaches past the bucket
};

struct Cell {
    CellKind kind = CellKind::kEmpty;
    std::size_t offset = 0;     // in the bucket
    bool dlc_read = false;      // the control byte lies in the file (damaged cells)
    unsigned char dlc = 0;
    const unsigned char* data = nullptr;  // vfc: behind the fsz bytes of the control area
    // The record's data bytes; for a damaged cell with a length field, the
    // length it gives.
    std::size_t size = 0;
    CellFault fault = CellFault::kNone;
};

// A walk over one bucket, of which the file supplied the first `present`
// bytes (the bucket size when whole).
struct CellWalk {
    CellLayout layout;
    const unsigned char* bucket = nullptr;
    std::size_t present = 0;
    std::size_t next = 0;  // offset of the next cell
};

// The next cell of the bucket; false when the bucket has no more (its last
// cell examined, or a damaged one returned before). A bucket is zero-filled
// when RMS formats it and a record written by its record number lands in its
// own cell, so an empty cell may stand between two records: the walk goes on
// to the bucket's end.
// Inline: the copier takes every cell through it, and a call per cell would
// cost as much as the copy of a short record.
inline bool next_cell(CellWalk& walk, Cell& cell) {
    const CellLayout& layout = walk.layout;
    const std::size_t at = walk.next;
    if (at >= layout.bucket_size) {
        return false;
    }
    cell = Cell{};
    cell.offset = at;
    // Every step ends the walk unless it found a cell to step over, and
    // every cell is damaged unless it proves otherwise.
    walk.next = layout.bucket_size;
    cell.kind = CellKind::kDamaged;
    // Bytes the file does not supply are no cells: a walk that reaches them
    // may have lost records.
    if (at >= walk.present) {
        cell.fault = CellFault::kFileEndsInBucket;
        return true;
    }
    cell.dlc_read = true;
    cell.dlc = walk.bucket[at];
    if (cell.dlc != kCellRecordPresent) {
        cell.kind = cell.dlc == kCellEmpty ? CellKind::kEmpty : CellKind::kSkipped;
        walk.next = at + layout.stride;
        return true;
    }
    // The stored bytes: for vfc records the control area, then the data.
    std::size_t begin = at + kFixedCellHeaderSize;
    std::size_t stored = layout.lrl;
    if (layout.format != CellFormat::kFixed) {
        begin = at + kVariableCellHeaderSize;
        if (begin > layout.bucket_size) {
            cell.fault = CellFault::kNoRoomForLength;
            return true;
        }
        if (begin > walk.present) {
            cell.fault = CellFault::kFileEndsInRecord;
            return true;
        }
        stored = le16(walk.bucket + at + kCellLengthOffset);
        cell.size = stored;
        // One test for both bounds: a length below fsz wraps around.
        if (stored - layout.fsz > layout.lrl) {
            cell.fault = stored < layout.fsz ? CellFault::kShorterThanFsz : CellFault::kLongerThanLrl;
            return true;
        }
    }
    if (begin + stored > layout.bucket_size) {
        cell.fault = CellFault::kPastBucket;
        return true;
    }
    if (begin + stored > walk.present) {
        cell.fault = CellFault::kFileEndsInRecord;
        return true;
    }
    cell.kind = CellKind::kRecord;
    cell.data = walk.bucket + begin + layout.fsz;
    cell.size = stored - layout.fsz;
    walk.next = at + layout.stride;
    return true;
}

// The message that reports a damaged cell of the bucket at vbn, without a
// line end.
std::string describe_cell_fault(const Cell& cell, const CellLayout& layout, std::uint32_t vbn);
