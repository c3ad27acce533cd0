#include "relative/relative_copy.h"

#include <algorithm>

#include "formats/blocks.h"
#include "formats/relative_layout.h"
#include "platform/console.h"
#include "platform/raw_io.h"
#include "relative/relative_cells.h"

namespace {

// Buckets are read a run at a time, as many consecutive buckets as fit into
// this size (at least one): a read per bucket would cost a system call per
// few kilobytes.
constexpr std::size_t kLargestRead = 1 << 20;

// The state of one walk over the buckets.
struct RelativeCopy {
    const RunOptions& options;
    Console& console;
    CellLayout layout;
    CopyOutcome& outcome;
};

// The control bytes RMS writes: an empty cell, a record, and a deleted one
// with or without the record bit.
bool is_written_control_byte(unsigned char dlc) {
    return (dlc & ~(kCellRecordPresent | kCellDeleted)) == 0;
}

// The cells the record format calls for; false for a format relative files
// do not hold.
bool cell_layout_for(const FileAttributes& attributes, std::size_t bucket_size, CellLayout& layout) {
    switch (rfm_of(attributes)) {
        case kRfmVariable:
            layout = variable_cell_layout(bucket_size, lrl_of(attributes));
            return true;
        case kRfmFixed:
            layout = fixed_cell_layout(bucket_size, lrl_of(attributes));
            return true;
        case kRfmVfc:
            layout = vfc_cell_layout(bucket_size, lrl_of(attributes), fsz_of(attributes));
            return true;
        default:
            return false;
    }
}

// Copies the present records of the bucket that starts at vbn, of which the
// file supplied the first `present` bytes (the bucket size when whole).
// False after reporting damage or a failed write.
bool copy_relative_bucket(RelativeCopy& copy, std::uint32_t vbn, const unsigned char* bucket, std::size_t present) {
    Console& console = copy.console;
    if (present == 0) {
        message(console, "file ends before the bucket at VBN %u\n", vbn);
        return end_copy(copy.outcome, CopyResult::kDamaged, vbn_offset(vbn));
    }
    const bool dumps = verbose_dumps(copy.options);
    const bool line_end = line_end_after_record(copy.options);
    // With -p a vfc record keeps the control area in front of its data.
    const std::size_t control = copy.options.control_prefix ? copy.layout.fsz : 0;
    if (dumps) {
        message(console, "vbn #%d: ", static_cast<int>(vbn));
    }
    CellWalk walk{copy.layout, bucket, present, 0};
    Cell cell;
    while (next_cell(walk, cell)) {
        if (dumps && cell.dlc_read) {
            message(console, "dlc=0x%02x ", cell.dlc);
        }
        if (cell.kind == CellKind::kDamaged) {
            // The bucket's dump line ends before the message.
            if (dumps) {
                message(console, "\n");
            }
            message(console, "%s\n", describe_cell_fault(cell, copy.layout, vbn).c_str());
            return end_copy(copy.outcome, CopyResult::kDamaged, vbn_offset(vbn) + cell.offset);
        }
        if (cell.kind == CellKind::kRecord) {
            if (!write_output_record(console, cell.data - control, control + cell.size, line_end)) {
                return false;
            }
            ++copy.outcome.records;
        }
    }
    if (dumps) {
        message(console, "\n");
    }
    return true;
}

// The records that cells from vbn on hold: the buckets past eof, up to the
// end of the file or the first bucket that is not cells of this layout
// throughout (blocks past eof may hold whatever the disk held before), so
// that bytes which only look like records are not counted.
std::uint64_t records_past_eof(int input_fd, const CellLayout& layout, std::uint64_t vbn, std::uint8_t bks,
                               const ReadBuffer& buffer) {
    std::uint64_t records = 0;
    for (;; vbn += bks) {
        std::size_t got = 0;
        if (!read_full_at(input_fd, buffer.data, layout.bucket_size, vbn_offset_wide(vbn), &got) ||
            got < layout.bucket_size) {
            return records;
        }
        CellWalk walk{layout, buffer.data, layout.bucket_size, 0};
        Cell cell;
        std::uint64_t in_bucket = 0;
        while (next_cell(walk, cell)) {
            if (cell.kind == CellKind::kDamaged || !is_written_control_byte(cell.dlc)) {
                return records;
            }
            in_bucket += cell.kind == CellKind::kRecord ? 1 : 0;
        }
        records += in_bucket;
    }
}

// Walks the buckets below eof; false after damage or a failed write.
bool copy_buckets(int input_fd, const RelativeProlog& prolog, std::uint8_t bks, RelativeCopy& copy,
                  const ReadBuffer& buckets, std::size_t buckets_per_read, std::uint64_t* next_vbn) {
    const std::size_t bucket_size = copy.layout.bucket_size;
    // 64 bits: a VBN near the top of the 32-bit range must not wrap around.
    const std::uint64_t eof = prolog.eof;
    std::size_t per_read = buckets_per_read;
    std::uint64_t vbn = prolog.dvbn;
    while (vbn < eof) {
        const std::size_t count = static_cast<std::size_t>(
            std::min<std::uint64_t>(per_read, (eof - vbn + bks - 1) / bks));
        std::size_t supplied = 0;
        if (!read_full_at(input_fd, buckets.data, count * bucket_size, vbn_offset_wide(vbn), &supplied)) {
            if (count > 1) {
                // A bad block fails the whole read: go on a bucket at a
                // time, so the records of the buckets before it are still
                // copied.
                per_read = 1;
                continue;
            }
            report_positioned_read_error(copy.console, "a relative file");
            return end_copy(copy.outcome, CopyResult::kInputError);
        }
        for (std::size_t i = 0; i < count; ++i, vbn += bks) {
            const std::size_t start = i * bucket_size;
            const std::size_t present = supplied > start ? std::min(supplied - start, bucket_size) : 0;
            if (!copy_relative_bucket(copy, static_cast<std::uint32_t>(vbn), buckets.data + start, present)) {
                return false;
            }
        }
    }
    *next_vbn = vbn;
    return true;
}

}  // namespace

CopyOutcome copy_relative(int input_fd, const FileAttributes& attributes, const RunOptions& options,
                          Console& console) {
    CopyOutcome outcome;
    const std::uint8_t bks = bks_of(attributes);
    if (bks == 0) {
        message(console, "-e-relbks, bks must be non-zero for relative files\n");
        end_copy(outcome, CopyResult::kUnsupported);
        return outcome;
    }
    const std::size_t bucket_size = static_cast<std::size_t>(bks) * kBlockSize;
    CellLayout layout;
    if (!cell_layout_for(attributes, bucket_size, layout)) {
        message(console, " - not yet implemented\n");
        end_copy(outcome, CopyResult::kUnsupported);
        return outcome;
    }

    unsigned char vbn1[kBlockSize];
    std::size_t got = 0;
    if (!read_full_at(input_fd, vbn1, sizeof vbn1, 0, &got)) {
        report_positioned_read_error(console, "a relative file");
        end_copy(outcome, CopyResult::kInputError);
        return outcome;
    }
    if (got < sizeof vbn1) {
        message(console, "file of %zu bytes is too short for its prolog (VBN 1)\n", got);
        end_copy(outcome, CopyResult::kDamaged, got);
        return outcome;
    }
    const RelativeProlog prolog = decode_relative_prolog(vbn1);
    if (verbose_dumps(options)) {
        message(console, "prolog: flags=%d,dvbn=%d,mrn=%d,eof=%d\n", prolog.flags, prolog.dvbn,
                static_cast<std::int32_t>(prolog.mrn), static_cast<std::int32_t>(prolog.eof));
    }
    if (prolog.dvbn == 0 && prolog.eof > 0) {
        message(console, "prolog: dvbn 0 names no block\n");
        end_copy(outcome, CopyResult::kDamaged, kRelativePrologDvbn);
        return outcome;
    }

    const std::size_t buckets_per_read = std::max<std::size_t>(1, kLargestRead / bucket_size);
    const ReadBuffer buckets = allocate_read_buffer(buckets_per_read * bucket_size);
    RelativeCopy copy{options, console, layout, outcome};
    std::uint64_t next_vbn = 0;
    if (!copy_buckets(input_fd, prolog, bks, copy, buckets, buckets_per_read, &next_vbn)) {
        return settle_copy_outcome(false, outcome, console);
    }
    // dvbn 0 with eof 0 names no bucket, before or after eof.
    const std::uint64_t left = next_vbn == 0 ? 0 : records_past_eof(input_fd, layout, next_vbn, bks, buckets);
    if (left != 0) {
        message(console, "-w-releof, cells from VBN %llu on, past the prolog's eof %u, hold %llu records: not copied\n",
                static_cast<unsigned long long>(next_vbn), prolog.eof, static_cast<unsigned long long>(left));
        outcome.data_left_behind = true;
    }
    print_records_copied(options, console, outcome.records);
    return settle_copy_outcome(true, outcome, console);
}
