#include "relative/relative_cells.h"

#include "formats/relative_layout.h"
#include "platform/formatted.h"

CellLayout variable_cell_layout(std::size_t bucket_size, std::size_t lrl) {
    return {bucket_size, lrl, kVariableCellHeaderSize + lrl, CellFormat::kVariable, 0};
}

CellLayout fixed_cell_layout(std::size_t bucket_size, std::size_t lrl) {
    return {bucket_size, lrl, kFixedCellHeaderSize + lrl, CellFormat::kFixed, 0};
}

CellLayout vfc_cell_layout(std::size_t bucket_size, std::size_t lrl, std::size_t fsz) {
    return {bucket_size, lrl, kVariableCellHeaderSize + fsz + lrl, CellFormat::kVfc, fsz};
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
