#include "relative/relative_cells.h"

#include "formats/relative_layout.h"
#include "platform/formatted.h"
#include "platform/little_endian.h"

CellLayout variable_cell_layout(std::size_t bucket_size, std::size_t lrl) {
    return {bucket_size, lrl, lrl + kVariableCellHeaderSize};
}

namespace {

bool damaged(Cell& cell, CellFault fault) {
    cell.kind = CellKind::kDamaged;
    cell.fault = fault;
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
    const std::size_t data = at + kVariableCellHeaderSize;
    if (data > layout.bucket_size) {
        return damaged(cell, CellFault::kNoRoomForLength);
    }
    if (data > walk.present) {
        return damaged(cell, CellFault::kFileEndsInRecord);
    }
    const std::size_t length = le16(walk.bucket + at + kCellLengthOffset);
    cell.size = length;
    if (length > layout.lrl) {
        return damaged(cell, CellFault::kLongerThanLrl);
    }
    if (data + length > layout.bucket_size) {
        return damaged(cell, CellFault::kPastBucket);
    }
    if (data + length > walk.present) {
        return damaged(cell, CellFault::kFileEndsInRecord);
    }
    cell.kind = CellKind::kRecord;
    cell.data = walk.bucket + data;
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
            return formatted("record length %zu exceeds lrl %zu in the cell at VBN %u, cell offset %zu", cell.size,
                             layout.lrl, vbn, at);
        case CellFault::kPastBucket:
            return formatted("record at VBN %u, cell offset %zu, reaches past the bucket", vbn, at);
        case CellFault::kNone:
            break;
    }
    return std::string();
}
