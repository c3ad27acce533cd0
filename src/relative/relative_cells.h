// The cells of one relative bucket, walked one at a time as the copier and
// the probe both read them. The walk reports what it finds; it prints
// nothing, so a caller that only weighs a layout stays silent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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
    kRecord,       // a record to copy: data, size (and control for vfc)
    kSkipped,      // a cell whose record is not copied
    kEndOfBucket,  // dlc 0: no record here and none behind it
    kDamaged,      // fault says what
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
    CellKind kind = CellKind::kEndOfBucket;
    std::size_t offset = 0;     // in the bucket
    bool dlc_read = false;      // the control byte lies in the file (damaged cells)
    unsigned char dlc = 0;
    const unsigned char* control = nullptr;  // vfc: the fsz bytes right in front of data
    const unsigned char* data = nullptr;
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
// cell examined, or a cell of dlc 0 or a damaged one returned before).
bool next_cell(CellWalk& walk, Cell& cell);

// The message that reports a damaged cell of the bucket at vbn, without a
// line end.
std::string describe_cell_fault(const Cell& cell, const CellLayout& layout, std::uint32_t vbn);
