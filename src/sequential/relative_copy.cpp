#include "sequential/relative_copy.h"

#include <algorithm>

#include "platform/console.h"
#include "platform/little_endian.h"
#include "platform/raw_io.h"

namespace {

constexpr std::size_t kBlockSize = 512;

// Prolog fields, offsets in VBN 1.
constexpr std::size_t kPrologFlags = 16;
constexpr std::size_t kPrologDvbn = 104;
constexpr std::size_t kPrologMrn = 108;
constexpr std::size_t kPrologEof = 112;

// Cell layout: control byte, record length, record area of lrl bytes.
constexpr std::size_t kCellLength = 1;
constexpr std::size_t kCellHeaderSize = 3;
constexpr unsigned char kCellEndOfBucket = 0;
constexpr unsigned char kCellRecordPresent = 8;

// Buckets are read a run at a time, as many consecutive buckets as fit into
// this size (at least one): a read per bucket would cost a system call per
// few kilobytes.
constexpr std::size_t kLargestRead = 1 << 20;

// Ends a bucket's dump line before a message interrupts it.
void end_dump_line(RelativeCopy& copy) {
    if (verbose_dumps(copy.options)) {
        message(copy.console, "\n");
    }
}

int write_record(RelativeCopy& copy, const unsigned char* data, std::uint16_t length) {
    if (write_output_record(copy.console, data, length, copy.options.newline_mode != kNewlineNone) != 0) {
        return 1;
    }
    ++copy.records;
    return 0;
}

}  // namespace

int copy_relative_bucket(RelativeCopy& copy, std::uint32_t vbn, const unsigned char* bucket, std::size_t present) {
    if (present == 0) {
        message(copy.console, "file ends before the bucket at VBN %u\n", vbn);
        return 1;
    }
    // Bytes the file does not supply are no cells: a scan that reaches them
    // before a cell marked end-of-bucket may have lost records.
    const std::size_t lrl = lrl_of(copy.attributes);
    const std::size_t stride = lrl + kCellHeaderSize;
    if (verbose_dumps(copy.options)) {
        message(copy.console, "vbn #%d: ", static_cast<int>(vbn));
    }

    for (std::size_t cell = 0; cell < copy.bucket_size; cell += stride) {
        if (cell >= present) {
            end_dump_line(copy);
            message(copy.console, "file ends inside the bucket at VBN %u, at cell offset %zu\n", vbn, cell);
            return 1;
        }
        const unsigned char dlc = bucket[cell];
        if (verbose_dumps(copy.options)) {
            message(copy.console, "dlc=0x%02x ", dlc);
        }
        if (dlc == kCellEndOfBucket) {
            break;
        }
        if (dlc != kCellRecordPresent) {
            continue;
        }
        const std::size_t data = cell + kCellHeaderSize;
        if (data > copy.bucket_size) {
            end_dump_line(copy);
            message(copy.console, "record cell at VBN %u, cell offset %zu, has no room for its length\n", vbn,
                    cell);
            return 1;
        }
        if (data > present) {
            end_dump_line(copy);
            message(copy.console, "file ends inside the record at VBN %u, cell offset %zu\n", vbn, cell);
            return 1;
        }
        const std::uint16_t length = le16(bucket + cell + kCellLength);
        if (length > lrl) {
            end_dump_line(copy);
            message(copy.console, "record length %u exceeds lrl %zu in the cell at VBN %u, cell offset %zu\n",
                    length, lrl, vbn, cell);
            return 1;
        }
        if (data + length > copy.bucket_size) {
            end_dump_line(copy);
            message(copy.console, "record at VBN %u, cell offset %zu, reaches past the bucket\n", vbn, cell);
            return 1;
        }
        if (data + length > present) {
            end_dump_line(copy);
            message(copy.console, "file ends inside the record at VBN %u, cell offset %zu\n", vbn, cell);
            return 1;
        }
        if (write_record(copy, bucket + data, length) != 0) {
            return 1;
        }
    }
    end_dump_line(copy);
    return 0;
}

int copy_relative(int input_fd, const FileAttributes& attributes, RunOptions& options, Console& console) {
    if (rfm_of(attributes) != kRfmVariable) {
        message(console, " - not yet implemented\n");
        return 1;
    }
    const std::uint8_t bks = bks_of(attributes);
    if (bks == 0) {
        message(console, "-e-relbks, bks must be non-zero for relative files\n");
        return 1;
    }
    settle_newline_mode(options, rat_of(attributes));

    unsigned char prolog[kBlockSize];
    const ssize_t got = read_full_at(input_fd, prolog, sizeof prolog, 0);
    if (got < 0) {
        report_system_error(console, "read");
        return 1;
    }
    if (static_cast<std::size_t>(got) < sizeof prolog) {
        message(console, "file of %zd bytes is too short for its prolog (VBN 1)\n", got);
        return 1;
    }
    const std::uint16_t dvbn = le16(prolog + kPrologDvbn);
    const std::uint32_t eof = le32(prolog + kPrologEof);
    if (verbose_dumps(options)) {
        message(console, "prolog: flags=%d,dvbn=%d,mrn=%d,eof=%d\n", prolog[kPrologFlags], dvbn,
                static_cast<std::int32_t>(le32(prolog + kPrologMrn)), static_cast<std::int32_t>(eof));
    }
    if (dvbn == 0 && eof > 0) {
        message(console, "prolog: dvbn 0 names no block\n");
        return 1;
    }

    const std::size_t bucket_size = static_cast<std::size_t>(bks) * kBlockSize;
    const std::size_t buckets_per_read = std::max<std::size_t>(1, kLargestRead / bucket_size);
    const ReadBuffer buckets = allocate_read_buffer(buckets_per_read * bucket_size);
    RelativeCopy copy{attributes, options, console, bucket_size};
    // 64 bits: a VBN near the top of the 32-bit range must not wrap around.
    std::size_t per_read = buckets_per_read;
    for (std::uint64_t vbn = dvbn; vbn < eof;) {
        const std::size_t count = static_cast<std::size_t>(
            std::min<std::uint64_t>(per_read, (eof - vbn + bks - 1) / bks));
        const ssize_t got = read_full_at(input_fd, buckets.data, count * bucket_size, (vbn - 1) * kBlockSize);
        if (got < 0 && count > 1) {
            // A bad block fails the whole read: go on a bucket at a time, so
            // the records of the buckets before it are still copied.
            per_read = 1;
            continue;
        }
        if (got < 0) {
            report_system_error(console, "read");
            return 1;
        }
        const std::size_t supplied = static_cast<std::size_t>(got);
        for (std::size_t i = 0; i < count; ++i, vbn += bks) {
            const std::size_t start = i * bucket_size;
            const std::size_t present = supplied > start ? std::min(supplied - start, bucket_size) : 0;
            if (copy_relative_bucket(copy, static_cast<std::uint32_t>(vbn), buckets.data + start, present) != 0) {
                return 1;
            }
        }
    }
    if (verbose_any(options)) {
        message(console, "%d records copied\n", copy.records);
    }
    return 0;
}
