// Evidence for relative files: a prolog whose dvbn and eof fit the file,
// then every bucket size and cell size tried from dvbn, kept when the
// control byte of every cell is one RMS writes. The layout that lines up
// the most records wins, by a clear lead or, when another layout that would
// write other records comes close, only just.
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

struct CellsTried {
    unsigned bucket_blocks = 0;
    unsigned stride = 0;            // lrl + 3
    std::uint64_t present = 0;      // records the copy would write
    std::uint64_t fingerprint = 0;  // of what it would write
    ContentTally content;
};

// Walks the buckets as the relative copier does, from first to end of
// file. False when a cell does not parse, or holds a control byte other
// than those RMS writes (0, 4, 8, 12): the copier skips any other, but in a
// file of the layout tried they mean the cells do not line up.
bool scan_cells(ByteWindow& window, std::uint32_t first, std::uint32_t end, CellsTried& layout) {
    const std::uint64_t bucket_size = layout.bucket_blocks * kBlockSize;
    const CellLayout cells = variable_cell_layout(bucket_size, layout.stride - kVariableCellHeaderSize);
    std::uint64_t buckets = 0;
    for (std::uint64_t vbn = first; vbn < end && buckets < kBucketsExamined; vbn += layout.bucket_blocks, ++buckets) {
        const unsigned char* bucket = window_bytes(window, (vbn - 1) * kBlockSize, bucket_size);
        if (bucket == nullptr) {
            return buckets != 0;  // the last bucket may be cut short by the end of the file
        }
        CellWalk walk{cells, bucket, bucket_size, 0};
        Cell cell;
        while (next_cell(walk, cell)) {
            if (cell.kind == CellKind::kDamaged || (cell.dlc & ~(kCellRecordPresent | kCellDeleted)) != 0) {
                return false;
            }
            if (cell.kind != CellKind::kRecord) {
                continue;
            }
            ++layout.present;
            layout.fingerprint = layout.fingerprint * 1099511628211ull + cell.size + 1;
            for (std::size_t i = 0; i < cell.size; ++i) {
                layout.fingerprint = (layout.fingerprint ^ cell.data[i]) * 1099511628211ull;
            }
            tally_content(layout.content, cell.data, cell.size);
        }
    }
    return true;
}

// score: what the layout scores in a whole file; cut_short lowers it.
Candidate relative_candidate(const CellsTried& layout, int score, bool cut_short, const std::string& evidence) {
    Candidate candidate = make_candidate(kOrgRelative, kRfmVariable, carriage_control_for(layout.content),
                                         static_cast<std::uint16_t>(layout.stride - kVariableCellHeaderSize),
                                         score - (cut_short ? kDamagePenalty : 0));
    set_bks(candidate.attributes, static_cast<std::uint8_t>(layout.bucket_blocks));
    candidate.evidence = evidence;
    candidate.damaged = cut_short;
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
    ByteWindow window{&input, {}, 0, 0};
    CellsTried best;
    CellsTried runner_up;  // the best layout that would write something else
    const unsigned largest = std::min<std::uint32_t>(kLargestBucketBlocks, end - first);
    // A cell holds at least the record in the first cell.
    const unsigned shortest = input.head_size > (first - 1ull) * kBlockSize + 3 &&
                                      input.head[(first - 1ull) * kBlockSize] == kCellRecordPresent
                                  ? le16(input.head + (first - 1ull) * kBlockSize + 1) + 3u
                                  : 3u;
    for (unsigned blocks_per_bucket = 1; blocks_per_bucket <= largest; ++blocks_per_bucket) {
        // The buckets fill the file from dvbn to eof.
        if ((end - first) % blocks_per_bucket != 0) {
            continue;
        }
        const unsigned bucket_size = blocks_per_bucket * kBlockSize;
        for (unsigned stride = shortest; stride <= bucket_size && stride <= kLongestRecord + kVariableCellHeaderSize;
             ++stride) {
            CellsTried layout;
            layout.bucket_blocks = blocks_per_bucket;
            layout.stride = stride;
            if (!scan_cells(window, first, end, layout) || layout.present == 0) {
                continue;
            }
            if (layout.present > best.present) {
                if (best.present != 0 && best.fingerprint != layout.fingerprint) {
                    runner_up = best;
                }
                best = layout;
            } else if (layout.fingerprint != best.fingerprint && layout.present > runner_up.present) {
                runner_up = layout;
            }
        }
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
                   "byte: %llu records present, %llu of %llu text",
                   first, end, layout.bucket_blocks, layout.stride, static_cast<unsigned long long>(layout.present),
                   static_cast<unsigned long long>(layout.content.text_records),
                   static_cast<unsigned long long>(layout.content.records)) +
               (cut_short ? formatted("; eof lies beyond the %llu blocks of the file (damaged or cut short)",
                                      static_cast<unsigned long long>(blocks))
                          : std::string());
    };
    // A data byte of 8 with a length that fits reads as a cell now and then,
    // most easily where buckets of another size put cells in the midst of
    // records: then a record or two more is no lead.
    const bool close = runner_up.present != 0 &&
                       (runner_up.present * 10 >= best.present * 9 ||
                        (runner_up.bucket_blocks != best.bucket_blocks && best.present < runner_up.present + 3));
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
