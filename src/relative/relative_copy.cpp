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
    std::uint64_t& records;
};

// Copies the present records of the bucket that starts at vbn, of which the
// file supplied the first `present` bytes (the bucket size when whole).
// False after reporting damage or a failed write.
bool copy_relative_bucket(RelativeCopy& copy, std::uint32_t vbn, const unsigned char* bucket, std::size_t present) {
    Console& console = copy.console;
    if (present == 0) {
        message(console, "file ends before the bucket at VBN %u\n", vbn);
        return false;
    }
    const bool dumps = verbose_dumps(copy.options);
    const bool line_end = line_end_after_record(copy.options);
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
            return false;
        }
        if (cell.kind == CellKind::kRecord) {
            if (!write_output_record(console, cell.data, cell.size, line_end)) {
                return false;
            }
            ++copy.records;
        }
    }
    if (dumps) {
        message(console, "\n");
    }
    return true;
}

}  // namespace

bool copy_relative(int input_fd, const FileAttributes& attributes, const RunOptions& options, Console& console,
                   std::uint64_t& records) {
    if (rfm_of(attributes) != kRfmVariable) {
        message(console, " - not yet implemented\n");
        return false;
    }
    const std::uint8_t bks = bks_of(attributes);
    if (bks == 0) {
        message(console, "-e-relbks, bks must be non-zero for relative files\n");
        return false;
    }

    unsigned char vbn1[kBlockSize];
    std::size_t got = 0;
    if (!read_full_at(input_fd, vbn1, sizeof vbn1, 0, &got)) {
        report_positioned_read_error(console, "a relative file");
        return false;
    }
    if (got < sizeof vbn1) {
        message(console, "file of %zu bytes is too short for its prolog (VBN 1)\n", got);
        return false;
    }
    const RelativeProlog prolog = decode_relative_prolog(vbn1);
    if (verbose_dumps(options)) {
        message(console, "prolog: flags=%d,dvbn=%d,mrn=%d,eof=%d\n", prolog.flags, prolog.dvbn,
                static_cast<std::int32_t>(prolog.mrn), static_cast<std::int32_t>(prolog.eof));
    }
    if (prolog.dvbn == 0 && prolog.eof > 0) {
        message(console, "prolog: dvbn 0 names no block\n");
        return false;
    }

    const std::size_t bucket_size = static_cast<std::size_t>(bks) * kBlockSize;
    const std::size_t buckets_per_read = std::max<std::size_t>(1, kLargestRead / bucket_size);
    const ReadBuffer buckets = allocate_read_buffer(buckets_per_read * bucket_size);
    RelativeCopy copy{options, console, variable_cell_layout(bucket_size, lrl_of(attributes)), records};
    // 64 bits: a VBN near the top of the 32-bit range must not wrap around.
    const std::uint64_t eof = prolog.eof;
    std::size_t per_read = buckets_per_read;
    for (std::uint64_t vbn = prolog.dvbn; vbn < eof;) {
        const std::size_t count = static_cast<std::size_t>(
            std::min<std::uint64_t>(per_read, (eof - vbn + bks - 1) / bks));
        std::size_t supplied = 0;
        if (!read_full_at(input_fd, buckets.data, count * bucket_size, (vbn - 1) * kBlockSize, &supplied)) {
            if (count > 1) {
                // A bad block fails the whole read: go on a bucket at a
                // time, so the records of the buckets before it are still
                // copied.
                per_read = 1;
                continue;
            }
            report_positioned_read_error(console, "a relative file");
            return false;
        }
        for (std::size_t i = 0; i < count; ++i, vbn += bks) {
            const std::size_t start = i * bucket_size;
            const std::size_t present = supplied > start ? std::min(supplied - start, bucket_size) : 0;
            if (!copy_relative_bucket(copy, static_cast<std::uint32_t>(vbn), buckets.data + start, present)) {
                return false;
            }
        }
    }
    print_records_copied(options, console, records);
    return true;
}
