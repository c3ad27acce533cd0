#include "relative/relative_cells.h"

#include "formats/relative_layout.h"
#include "platform/formatted.h"
#include "platform/little_endian.h"

CellLayout variable_cell_layout(std::size_t bucket_size, std::size_t lrl) {
    return {bucket_size, lrl, kVariableCellHeaderSize + lrl, CellFormat::kVariable, 0};
}

CellLayout fixed_cell_layout(std::size_t bucket_size, std::size_t lrl) {
    return {bucket_size, lrl, kFixedCellHeaderSize + lrl, CellFormat::kFixed, 0};
}

CellLayout vfc_cell_layout(std::size_t bucket_size, std::size_t lrl, std::size_t fsz) {
    return {bucket_size, lrl, kVariableCellHeaderSize + fsz + lrl, CellFormat::kVfc, fsz};
}

namespace {

// Marks the cell damaged; true, as next_cell returns it.
bool damaged(Cell& cell, CellFault fault) {
    cell.kind = CellKind::kDamaged;
    cell.fault = fault;
    return true;
}

// Marks the cell damaged; false, as locate_record fails.
bool refused(Cell& cell, CellFault fault) {
    damaged(cell, fault);
    return false;
}

// The stored bytes of a present cell that begins at `at`, the control area
// of vfc records included: where they begin and how many there are. False
// after marking the cell damaged.
bool locate_record(const CellWalk& walk, std::size_t at, Cell& cell, std::size_t& begin, std::size_t& stored) {
    const CellLayout& layout = walk.layout;
    if (layout.format == CellFormat::kFixed) {
        begin = at + kFixedCellHeaderSize;
        stored = layout.lrl;
        return true;
    }
    begin = at + kVariableCellHeaderSize;
    if (begin > layout.bucket_size) {
        return refused(cell, CellFault::kNoRoomForLength);
    }
    if (begin > walk.present) {
        return refused(cell, CellFault::kFileEndsInRecord);
    }
    stored = le16(walk.bucket + at + kCellLengthOffset);
    cell.size = stored;
    if (stored < layout.fsz) {
        return refused(cell, CellFault::kShorterThanFsz);
    }
    if (stored > layout.fsz + layout.lrl) {
        return refused(cell, CellFault::kLongerThanLrl);
    }
    return true;
}

}  // namespace

bool next_cell(CellWalk& walk, Cell& cell) {
    const CellLayout& layout = walk.layout;
    const std::size_t at = walk.next;
    if (at >= layout.bucket_size) {
        return false;
    }
    cell = Cell{};
    cell.offset = at;
    // Every step ends the walk unless it found a cell to step over.
    walk.next = layout.bucket_size;
    // Bytes the file does not supply are no cells: a walk that reaches them
    // before a cell marked end-of-bucket may have lost records.
    if (at >= walk.present) {
        return damaged(cell, CellFault::kFileEndsInBucket);
    }
    cell.dlc_read = true;
    cell.dlc = walk.bucket[at];
    if (cell.dlc == kCellEndOfBucket) {
        cell.kind = CellKind::kEndOfBucket;
        return true;
    }
    if (cell.dlc != kCellRecordPresent) {
        cell.kind = CellKind::kSkipped;
        walk.next = at + layout.stride;
        return true;
    }
    std::size_t begin = 0;
    std::size_t stored = 0;
    if (!locate_record(walk, at, cell, begin, stored)) {
        return true;
    }
    if (begin + stored > layout.bucket_size) {
        return damaged(cell, CellFault::kPastBucket);
    }
    if (begin + stored > walk.present) {
        return damaged(cell, CellFault::kFileEndsInRecord);
    }
    cell.kind = CellKind::kRecord;
    cell.control = walk.bucket + begin;
    cell.data = cell.control + layout.fsz;
    cell.size = stored - layout.fsz;
    walk.next = at + layout.stride;
    return true;
}

std::string describe_cell_fault(const Cell& cell, const CellLayout& layout, std::uint32_t vbn) {
    const std::size_t at = cell.offset;
    switch (cell.fault) {
        case CellFault::kFileEndsInBucket:
            return formatted("file ends inside the bucket at VBN %u, at cell offset %zu", vbn, at);
        case CellFault::kNoRoomForLength:
            return formatted("record cell at VBN %u, cell offset %zu, has no room for its length", vbn, at);
        case CellFault::kFileEndsInRecord:
            return formatted("file ends inside the record at VBN %u, cell offset %zu", vbn, at);
        case CellFault::kLongerThanLrl:
            if (layout.format == CellFormat::kVfc) {
                return formatted("record length %zu exceeds lrl %zu plus fsz %zu in the cell at VBN %u, cell offset %zu",
                                 cell.size, layout.lrl, layout.fsz, vbn, at);
            }
            return formatted("record length %zu exceeds lrl %zu in the cell at VBN %u, cell offset %zu", cell.size,
                             layout.lrl, vbn, at);
        case CellFault::kShorterThanFsz:
            return formatted("record length %zu is shorter than fsz %zu in the cell at VBN %u, cell offset %zu",
                             cell.size, layout.fsz, vbn, at);
        case CellFault::kPastBucket:
            return formatted("record at VBN %u, cell offset %zu, reaches past the bucket", vbn, at);
        case CellFault::kNone:
            break;
    }
    return std::string();
}
