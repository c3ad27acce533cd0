// Evidence for files with a prolog in VBN 1: indexed files (key descriptor
// of key 0 and the ring of data buckets) and relative files (buckets of
// cells).
#include <algorithm>

#include "platform/little_endian.h"
#include "probe/evidence.h"

namespace {

// Offsets in VBN 1 of an indexed file.
constexpr std::size_t kDataBucketSize = 11;
constexpr std::size_t kSegments = 18;
constexpr std::size_t kKeySize = 20;
constexpr std::size_t kSegmentSizes = 44;
constexpr std::size_t kFirstDataBucket = 84;
constexpr std::size_t kPrologVersion = 116;
constexpr unsigned kMaxSegments = 8;
constexpr unsigned kLargestBucket = 63;

// Offsets in a data bucket and its entries.
constexpr std::size_t kBucketHeaderSize = 14;
constexpr std::size_t kFreeSpace = 4;
constexpr std::size_t kNextBucket = 8;
constexpr std::size_t kLevel = 12;
constexpr std::size_t kEntryHeaderSize = 11;
constexpr std::size_t kRrvEntrySize = 9;
constexpr std::size_t kEntryLength = 9;
constexpr unsigned char kEntryRrv = 0x08;
constexpr unsigned char kEntryDeleted = 0x04;

// Walks the entries of one data bucket; false when they do not end exactly
// at the bucket's free space.
bool walk_entries(const unsigned char* bucket, std::size_t free_space, std::uint64_t& records, ContentTally& content) {
    std::size_t at = kBucketHeaderSize;
    while (at < free_space) {
        const unsigned char ctrl = bucket[at];
        if ((ctrl & kEntryRrv) != 0) {
            at += kRrvEntrySize;
            continue;
        }
        if (free_space - at < kEntryHeaderSize) {
            return false;
        }
        const std::size_t length = le16(bucket + at + kEntryLength);
        if (free_space - at - kEntryHeaderSize < length) {
            return false;
        }
        if ((ctrl & kEntryDeleted) == 0) {
            ++records;
            tally_content(content, bucket + at + kEntryHeaderSize, length);
        }
        at += kEntryHeaderSize + length;
    }
    return at == free_space;
}

}  // namespace

void add_indexed_candidates(const ProbeInput& input, std::vector<Candidate>& out) {
    if (input.head_size < kBlockSize) {
        return;
    }
    const unsigned char* vbn1 = input.head;
    const unsigned version = le16(vbn1 + kPrologVersion);
    const unsigned bucket_blocks = vbn1[kDataBucketSize];
    const unsigned segments = vbn1[kSegments];
    unsigned key_size = 0;
    for (unsigned i = 0; i < segments && i < kMaxSegments; ++i) {
        key_size += vbn1[kSegmentSizes + i];
    }
    if (version < 1 || version > 3 || bucket_blocks == 0 || bucket_blocks > kLargestBucket || segments == 0 ||
        segments > kMaxSegments || key_size == 0 || key_size != vbn1[kKeySize]) {
        return;
    }
    const std::string descriptor = evidence_text(
        "prolog version %u in VBN 1, key 0 of %u segments and %u bytes, "
        "data buckets of %u blocks",
        version, segments, key_size, bucket_blocks);
    const std::uint32_t first = le32(vbn1 + kFirstDataBucket);
    const std::uint64_t bucket_size = bucket_blocks * kBlockSize;
    const std::uint64_t blocks = (input.size + kBlockSize - 1) / kBlockSize;
    if (first < 2 || first - 1 + bucket_blocks > blocks) {
        Candidate candidate = make_candidate(kOrgIndexed, kRfmVariable, 0, 0, 75);
        candidate.evidence =
            descriptor + evidence_text("; ldvbn %u lies outside the file (index never filled?)", first);
        out.push_back(candidate);
        return;
    }
    if (version != 3) {
        Candidate candidate = make_candidate(kOrgIndexed, kRfmVariable, 0, 0, 80);
        candidate.evidence =
            descriptor + evidence_text("; ldvbn %u inside the file; buckets of this version not walked", first);
        out.push_back(candidate);
        return;
    }
    ByteWindow window{&input, {}, 0, 0};
    ContentTally content;
    std::uint64_t records = 0;
    std::uint64_t buckets = 0;
    std::uint32_t vbn = first;
    bool closed = false;
    std::string failure;
    // A ring can hold each bucket of the file once.
    const std::uint64_t most = input.size / bucket_size + 1;
    while (buckets < most) {
        const unsigned char* bucket = window_bytes(window, (vbn - 1ull) * kBlockSize, bucket_size);
        if (vbn == 0 || bucket == nullptr) {
            failure = evidence_text("bucket VBN %u lies outside the file", vbn);
            break;
        }
        const std::size_t free_space = le16(bucket + kFreeSpace);
        if (bucket[kLevel] != 0 || free_space < kBucketHeaderSize || free_space > bucket_size) {
            failure =
                evidence_text("VBN %u is no data bucket (level %u, freespace %zu)", vbn, bucket[kLevel], free_space);
            break;
        }
        if (!walk_entries(bucket, free_space, records, content)) {
            failure = evidence_text("the entries of the bucket at VBN %u overrun its free space", vbn);
            break;
        }
        ++buckets;
        vbn = le32(bucket + kNextBucket);
        if (vbn == first) {
            closed = true;
            break;
        }
    }
    if (!closed && failure.empty()) {
        failure = "the ring does not lead back to ldvbn";
    }
    const std::uint8_t rat = carriage_control_by_bytes(content);
    Candidate candidate = make_candidate(kOrgIndexed, kRfmVariable, rat, 0, closed ? 95 : 75);
    candidate.evidence =
        descriptor +
        (closed
             ? evidence_text(
                   "; the ring of %llu data buckets walks back to ldvbn %u: %llu records, %llu%% of their bytes text",
                   static_cast<unsigned long long>(buckets), first, static_cast<unsigned long long>(records),
                   static_cast<unsigned long long>(content.bytes == 0 ? 0 : content.text_bytes * 100 / content.bytes))
             : "; " + failure);
    out.push_back(candidate);
}

namespace {

// Offsets in the prolog of a relative file.
constexpr std::size_t kFirstBucket = 104;
constexpr std::size_t kEndOfFile = 112;
constexpr unsigned char kCellPresent = 0x08;
constexpr unsigned char kCellDeleted = 0x04;
// Buckets examined per layout: enough to see the cells line up, few enough
// that a large file costs no more than a small one.
constexpr std::uint64_t kBucketsExamined = 64;

struct CellLayout {
    unsigned bucket_blocks = 0;
    unsigned stride = 0;            // lrl + 3
    std::uint64_t present = 0;      // records the copy would write
    std::uint64_t fingerprint = 0;  // of what it would write
    ContentTally content;
};

// Scans the buckets as the relative copier does, from first to end of file.
// False when a cell holds a control byte no cell has, or a record that does
// not fit its cell.
bool scan_cells(ByteWindow& window, std::uint32_t first, std::uint32_t end, CellLayout& layout) {
    const std::uint64_t bucket_size = layout.bucket_blocks * kBlockSize;
    std::uint64_t buckets = 0;
    for (std::uint64_t vbn = first; vbn < end && buckets < kBucketsExamined; vbn += layout.bucket_blocks, ++buckets) {
        const unsigned char* bucket = window_bytes(window, (vbn - 1) * kBlockSize, bucket_size);
        if (bucket == nullptr) {
            return buckets != 0;  // the last bucket may be cut short by the end of the file
        }
        for (std::uint64_t at = 0; at + 3 <= bucket_size; at += layout.stride) {
            const unsigned char dlc = bucket[at];
            if (dlc == 0) {
                break;
            }
            if ((dlc & ~(kCellPresent | kCellDeleted)) != 0) {
                return false;
            }
            if (dlc != kCellPresent) {
                continue;
            }
            const std::uint16_t length = le16(bucket + at + 1);
            if (length + 3u > layout.stride || at + 3 + length > bucket_size) {
                return false;
            }
            ++layout.present;
            layout.fingerprint = layout.fingerprint * 1099511628211ull + length + 1;
            for (std::uint16_t i = 0; i < length; ++i) {
                layout.fingerprint = (layout.fingerprint ^ bucket[at + 3 + i]) * 1099511628211ull;
            }
            tally_content(layout.content, bucket + at + 3, length);
        }
    }
    return true;
}

Candidate relative_candidate(const CellLayout& layout, int score, const std::string& evidence) {
    Candidate candidate = make_candidate(kOrgRelative, kRfmVariable, carriage_control_for(layout.content),
                                         static_cast<std::uint16_t>(layout.stride - 3), score);
    set_bks(candidate.attributes, static_cast<std::uint8_t>(layout.bucket_blocks));
    candidate.evidence = evidence;
    return candidate;
}

}  // namespace

void add_relative_candidates(const ProbeInput& input, std::vector<Candidate>& out) {
    if (input.head_size < kBlockSize) {
        return;
    }
    const std::uint32_t first = le16(input.head + kFirstBucket);
    const std::uint32_t end = le32(input.head + kEndOfFile);
    const std::uint64_t blocks = (input.size + kBlockSize - 1) / kBlockSize;
    if (first < 2 || end <= first || first > blocks || end - 1 > blocks + kLargestBucket) {
        return;
    }
    ByteWindow window{&input, {}, 0, 0};
    CellLayout best;
    CellLayout runner_up;  // the best layout that would write something else
    const unsigned largest = std::min<std::uint32_t>(kLargestBucket, end - first);
    // A cell holds at least the record in the first cell.
    const unsigned shortest =
        input.head_size > (first - 1ull) * kBlockSize + 3 && input.head[(first - 1ull) * kBlockSize] == kCellPresent
            ? le16(input.head + (first - 1ull) * kBlockSize + 1) + 3u
            : 3u;
    for (unsigned blocks_per_bucket = 1; blocks_per_bucket <= largest; ++blocks_per_bucket) {
        // The buckets fill the file from dvbn to eof.
        if ((end - first) % blocks_per_bucket != 0) {
            continue;
        }
        const unsigned bucket_size = blocks_per_bucket * kBlockSize;
        for (unsigned stride = shortest; stride <= bucket_size && stride <= 32767 + 3; ++stride) {
            CellLayout layout;
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
    if (best.present == 0) {
        Candidate candidate = make_candidate(kOrgRelative, kRfmVariable, 0, 0, 30);
        set_bks(candidate.attributes, 1);
        candidate.evidence =
            evidence_text("prolog: dvbn %u, eof %u; no bucket and cell size lines up the cells", first, end);
        out.push_back(candidate);
        return;
    }
    const auto describe = [&](const CellLayout& layout) {
        return evidence_text(
            "prolog: dvbn %u, eof %u; buckets of %u blocks and cells of %u bytes line up every control "
            "byte: %llu records present, %llu of %llu text",
            first, end, layout.bucket_blocks, layout.stride, static_cast<unsigned long long>(layout.present),
            static_cast<unsigned long long>(layout.content.text_records),
            static_cast<unsigned long long>(layout.content.records));
    };
    const bool close = runner_up.present * 10 >= best.present * 9;
    out.push_back(relative_candidate(best, close ? 65 : 90, describe(best)));
    if (runner_up.present != 0) {
        out.push_back(relative_candidate(runner_up, close ? 60 : 40, describe(runner_up)));
    }
}
