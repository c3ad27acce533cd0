// Evidence for relative files: a prolog whose dvbn and eof fit the file,
// then every bucket size and cell size tried from dvbn, kept when the
// control byte of every cell is one RMS writes. The cells of one layout are
// read as fixed-length records, or as variable-length ones when every
// length word fits its cell, or as vfc ones when print control stands in
// front of text. The layout that lines up the most records wins, by a clear
// lead or, when another layout or another reading of the same cells would
// write other records and the bytes cannot rule it out, only just.
#include <algorithm>

#include "formats/relative_layout.h"
#include "platform/little_endian.h"
#include "probe/evidence.h"
#include "relative/relative_cells.h"

namespace {

// Buckets examined per layout: enough to see the cells line up, few enough
// that a large file costs no more than a small one.
constexpr std::uint64_t kBucketsExamined = 64;
// Records present, at least this many, in one clear layout make a prolog
// whose eof lies beyond the file a relative file cut short; fewer are as
// likely data that passes for a prolog and a cell or two.
constexpr std::uint64_t kCutShortRecords = 8;
// The control area of the vfc cells the probe recognises: print control.
constexpr std::size_t kPrintControlSize = 2;
// Bytes examined (a control byte for each cell, the data of each record)
// and window reads (of kProbeHeadSize bytes each) in all, over every layout
// tried: bytes that are nearly all valid control bytes (zeros, fours,
// eights) would otherwise keep every cell size of every bucket size alive
// for many buckets, each layout reading the file anew.
constexpr std::uint64_t kBytesExamined = std::uint64_t{1} << 26;
constexpr std::uint64_t kWindowReads = 64;

// The buckets from dvbn to eof, and what is left of the search's budget.
struct CellSearch {
    ByteWindow window;
    std::uint32_t first = 0;
    std::uint32_t end = 0;
    std::uint64_t bytes_left = kBytesExamined;
};

bool search_spent(const CellSearch& search) {
    return search.bytes_left == 0 || search.window.refills > kWindowReads;
}

struct CellsTried {
    unsigned bucket_blocks = 0;
    unsigned stride = 0;  // the bytes of one cell
    CellFormat format = CellFormat::kFixed;
    std::uint64_t present = 0;      // records the copy would write
    std::uint64_t fingerprint = 0;  // of what it would write
    // Bytes the cells account for, each up to its last byte other than
    // zero, deleted records included: a cell size that ends every bucket at
    // a control byte of 0 soon after its start explains less of the file
    // than one whose cells go on, and one that takes in a bucket's unused
    // tail of zeros, empty cells, or buckets that merge smaller ones,
    // explains no more.
    std::uint64_t covered = 0;
    ContentTally content;
    // Records whose first two bytes pass for print control, and the data
    // behind them.
    std::uint64_t print_like = 0;
    ContentTally print_data;
    // Another reading of the same cells fits the bytes as well.
    bool rivalled = false;
};

CellsTried cells_tried(unsigned bucket_blocks, unsigned stride, CellFormat format) {
    CellsTried tried;
    tried.bucket_blocks = bucket_blocks;
    tried.stride = stride;
    tried.format = format;
    return tried;
}

// The cell bytes in front of the record area (vfc: its control area too).
std::size_t cell_header(CellFormat format) {
    return format == CellFormat::kFixed     ? kFixedCellHeaderSize
           : format == CellFormat::kVariable ? kVariableCellHeaderSize
                                             : kVariableCellHeaderSize + kPrintControlSize;
}

CellLayout cell_layout(const CellsTried& tried) {
    const std::size_t bucket_size = tried.bucket_blocks * kBlockSize;
    const std::size_t lrl = tried.stride - cell_header(tried.format);
    return tried.format == CellFormat::kFixed     ? fixed_cell_layout(bucket_size, lrl)
           : tried.format == CellFormat::kVariable ? variable_cell_layout(bucket_size, lrl)
                                                   : vfc_cell_layout(bucket_size, lrl, kPrintControlSize);
}

// The bytes up to the last one that is not zero.
std::size_t used_bytes(const unsigned char* data, std::size_t size) {
    while (size != 0 && data[size - 1] == 0) {
        --size;
    }
    return size;
}

// Walks the buckets as the relative copier does, from first to end of
// file. False when a cell does not parse, or holds a control byte other
// than those RMS writes (0, 4, 8, 12): the copier skips any other, but in a
// file of the layout tried they mean the cells do not line up; false too
// once the search's budget is spent. Without weigh, only the records
// present are counted.
bool scan_cells(CellSearch& search, CellsTried& layout, bool weigh = true) {
    if (layout.stride <= cell_header(layout.format)) {
        return false;
    }
    const std::uint64_t bucket_size = layout.bucket_blocks * kBlockSize;
    const CellLayout cells = cell_layout(layout);
    std::uint64_t buckets = 0;
    for (std::uint64_t vbn = search.first; vbn < search.end && buckets < kBucketsExamined;
         vbn += layout.bucket_blocks, ++buckets) {
        const unsigned char* bucket = window_bytes(search.window, (vbn - 1) * kBlockSize, bucket_size);
        if (bucket == nullptr) {
            return buckets != 0;  // the last bucket may be cut short by the end of the file
        }
        CellWalk walk{cells, bucket, bucket_size, 0};
        Cell cell;
        while (next_cell(walk, cell)) {
            if (search_spent(search)) {
                return false;
            }
            --search.bytes_left;
            if (cell.kind == CellKind::kDamaged || (cell.dlc & ~(kCellRecordPresent | kCellDeleted)) != 0) {
                return false;
            }
            if (cell.kind == CellKind::kSkipped && weigh) {
                // A deleted record's bytes stay in its cell, and the layout
                // accounts for them as one that reads them as a record would.
                const std::size_t size = std::min<std::size_t>(layout.stride, bucket_size - cell.offset);
                layout.covered += used_bytes(bucket + cell.offset, size);
                search.bytes_left -= std::min<std::uint64_t>(search.bytes_left, size);
            }
            if (cell.kind != CellKind::kRecord) {
                continue;
            }
            ++layout.present;
            if (!weigh) {
                continue;
            }
            layout.covered += static_cast<std::size_t>(cell.data - bucket) - cell.offset + used_bytes(cell.data, cell.size);
            search.bytes_left -= std::min<std::uint64_t>(search.bytes_left, cell.size);
            layout.fingerprint = layout.fingerprint * 1099511628211ull + cell.size + 1;
            for (std::size_t i = 0; i < cell.size; ++i) {
                layout.fingerprint = (layout.fingerprint ^ cell.data[i]) * 1099511628211ull;
            }
            tally_content(layout.content, cell.data, cell.size);
            if (cell.size >= kPrintControlSize && is_print_control(cell.data[0]) && is_print_control(cell.data[1])) {
                ++layout.print_like;
                tally_content(layout.print_data, cell.data + kPrintControlSize, cell.size - kPrintControlSize);
            }
        }
    }
    return true;
}

// The reading of the cells of one bucket and cell size, and the reading
// that comes next for the same cells; false when the control bytes do not
// line up or no record is present. Fixed-length records fit wherever the
// control bytes do; length words that all fit their cells mean
// variable-length records, and print control in front of their text vfc
// ones. Length words in front of text are told from fixed-length text
// records, whose first two bytes, both text, count more than a cell holds;
// in front of binary records they are not. reading.rivalled says that the
// bytes do not settle the reading.
bool read_cells(CellSearch& search, unsigned bucket_blocks, unsigned stride, CellsTried& reading, CellsTried& other) {
    CellsTried fixed = cells_tried(bucket_blocks, stride, CellFormat::kFixed);
    if (!scan_cells(search, fixed) || fixed.present == 0) {
        return false;
    }
    CellsTried variable = cells_tried(bucket_blocks, stride, CellFormat::kVariable);
    if (!scan_cells(search, variable)) {
        // Control bytes of 0, 4, 8 and 12 come often enough in binary data
        // (zeros above all) that binary records fit cells of other sizes.
        reading = fixed;
        reading.rivalled = !mostly_text(fixed.content);
        return true;
    }
    const std::uint64_t non_empty = variable.content.records;
    const bool print_control =
        non_empty != 0 && variable.print_like * 10 >= non_empty * 9 && mostly_text(variable.print_data);
    CellsTried vfc = cells_tried(bucket_blocks, stride, CellFormat::kVfc);
    if (print_control && scan_cells(search, vfc)) {
        reading = vfc;
        other = variable;
        return true;
    }
    reading = variable;
    other = fixed;
    reading.rivalled = !mostly_text(variable.content);
    return true;
}

const char* format_words(CellFormat format) {
    return format == CellFormat::kFixed     ? "fixed-length records"
           : format == CellFormat::kVariable ? "variable-length records, every length word within its cell"
                                             : "vfc records, print control in front of text";
}

// score: what the layout scores in a whole file; cut_short lowers it.
Candidate relative_candidate(const CellsTried& layout, int score, bool cut_short, const std::string& evidence) {
    const std::uint8_t rfm = layout.format == CellFormat::kFixed     ? kRfmFixed
                             : layout.format == CellFormat::kVariable ? kRfmVariable
                                                                      : kRfmVfc;
    const CarriageControl carriage = carriage_control_for(
        layout.content,
        layout.format == CellFormat::kFixed ? kBinaryFixedCarriageControl : kBinaryVariableCarriageControl);
    const std::uint8_t rat = layout.format == CellFormat::kVfc ? std::uint8_t{kRatPrint} : carriage.rat;
    Candidate candidate =
        make_candidate(kOrgRelative, rfm, rat, static_cast<std::uint16_t>(layout.stride - cell_header(layout.format)),
                       score - (cut_short ? kDamagePenalty : 0));
    set_bks(candidate.attributes, static_cast<std::uint8_t>(layout.bucket_blocks));
    if (layout.format == CellFormat::kVfc) {
        set_fsz(candidate.attributes, static_cast<std::uint8_t>(kPrintControlSize));
    }
    candidate.evidence = evidence;
    candidate.damaged = cut_short;
    candidate.line_ends_guessed = layout.format != CellFormat::kVfc && carriage.guessed;
    return candidate;
}

}  // namespace

void add_relative_candidates(const ProbeInput& input, std::vector<Candidate>& out) {
    if (input.head_size < kBlockSize) {
        return;
    }
    const RelativeProlog prolog = decode_relative_prolog(input.head);
    const std::uint32_t first = prolog.dvbn;
    const std::uint32_t end = prolog.eof;
    const std::uint64_t blocks = (input.size + kBlockSize - 1) / kBlockSize;
    if (first < 2 || end <= first || first > blocks) {
        return;
    }
    // The file ends before the buckets the prolog counts: damaged or cut
    // short, or no prolog at all.
    const bool cut_short = end - 1 > blocks;
    CellSearch search{{&input, {}, 0, 0}, first, end};
    CellsTried best;
    CellsTried best_other;  // the next reading of best's cells
    CellsTried runner_up;   // the best layout that would write something else
    const unsigned largest = std::min<std::uint32_t>(kLargestBucketBlocks, end - first);
    for (unsigned blocks_per_bucket = 1; blocks_per_bucket <= largest && !search_spent(search);
         ++blocks_per_bucket) {
        // The buckets fill the file from dvbn to eof.
        if ((end - first) % blocks_per_bucket != 0) {
            continue;
        }
        const unsigned bucket_size = blocks_per_bucket * kBlockSize;
        // No cell size lines up buckets of which the file holds none whole.
        if ((first - 1ull) * kBlockSize + bucket_size > input.size) {
            break;
        }
        for (unsigned stride = kFixedCellHeaderSize + 1;
             stride <= bucket_size && stride <= kLongestRecord + kFixedCellHeaderSize && !search_spent(search);
             ++stride) {
            // Every reading of a layout's cells finds the records its
            // control bytes mark: one that finds too few to win or come
            // second is not weighed.
            CellsTried count = cells_tried(blocks_per_bucket, stride, CellFormat::kFixed);
            if (!scan_cells(search, count, false) ||
                (count.present < best.present && count.present <= runner_up.present)) {
                continue;
            }
            CellsTried layout;
            CellsTried other;
            if (!read_cells(search, blocks_per_bucket, stride, layout, other)) {
                continue;
            }
            if (layout.present > best.present ||
                (layout.present == best.present && layout.covered > best.covered)) {
                if (best.present != 0 && best.fingerprint != layout.fingerprint) {
                    runner_up = best;
                }
                best = layout;
                best_other = other;
            } else if (layout.fingerprint != best.fingerprint && layout.present > runner_up.present) {
                runner_up = layout;
            }
        }
    }
    // A search cut short may have missed a layout that explains more.
    const bool searched_all = !search_spent(search);
    // The other reading of the winner's cells comes next when the bytes
    // cannot rule it out.
    if (best.rivalled && best_other.present != 0) {
        runner_up = best_other;
    }
    if (best.present == 0 && !cut_short) {
        Candidate candidate = make_candidate(kOrgRelative, kRfmVariable, 0, 0, kRelativeUnalignedScore);
        set_bks(candidate.attributes, 1);
        candidate.evidence =
            formatted("prolog: dvbn %u, eof %u; no bucket and cell size lines up the cells", first, end);
        out.push_back(candidate);
        return;
    }
    const auto describe = [&](const CellsTried& layout) {
        return formatted(
                   "prolog: dvbn %u, eof %u; buckets of %u blocks and cells of %u bytes line up every control "
                   "byte: %llu %s present, %llu of %llu text",
                   first, end, layout.bucket_blocks, layout.stride, static_cast<unsigned long long>(layout.present),
                   format_words(layout.format),
                   static_cast<unsigned long long>(layout.content.text_records),
                   static_cast<unsigned long long>(layout.content.records)) +
               (cut_short ? formatted("; eof lies beyond the %llu blocks of the file (damaged or cut short)",
                                      static_cast<unsigned long long>(blocks))
                          : std::string()) +
               (searched_all ? "" : "; the search of other cell sizes was cut short");
    };
    // A data byte of 8 with a length that fits reads as a cell now and then,
    // most easily where buckets of another size put cells in the midst of
    // records: then a record or two more is no lead.
    const bool close = best.rivalled || !searched_all ||
                       (runner_up.present != 0 && (runner_up.present * 10 >= best.present * 9 ||
                        (runner_up.bucket_blocks != best.bucket_blocks && best.present < runner_up.present + 3)));
    // Such a prolog is believed only when many cells line up in one clear
    // layout.
    if (cut_short && (close || best.present < kCutShortRecords)) {
        return;
    }
    out.push_back(
        relative_candidate(best, close ? kRelativeCloseScore : kRelativeClearScore, cut_short, describe(best)));
    if (runner_up.present != 0) {
        out.push_back(relative_candidate(runner_up, close ? kRelativeCloseRunnerUpScore : kRelativeDistantRunnerUpScore,
                                         cut_short, describe(runner_up)));
    }
}
