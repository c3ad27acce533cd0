// Evidence for files with a prolog in VBN 1: indexed files (key descriptor
// of key 0 and the ring of data buckets) and relative files (buckets of
// cells).
#include <algorithm>

#include "formats/indexed_layout.h"
#include "formats/relative_layout.h"
#include "indexed/bucket_entries.h"
#include "indexed/copy_array.h"
#include "indexed/expansion.h"
#include "platform/little_endian.h"
#include "probe/evidence.h"
#include "relative/relative_cells.h"

namespace {
// Records of one length, at least this many, tell fixed-length records
// from variable-length ones.
constexpr std::uint64_t kEqualLengthsForFixed = 5;
// The best score an indexed file can reach: its carriage control is a guess.
constexpr int kCarriageControlUnsure = 65;
// Offsets in an entry: its record id and the VBN of its rrv pointer.
constexpr std::size_t kEntryRecordId = 1;
constexpr std::size_t kEntryRrvVbn = 5;

// What a walk of the ring of data buckets found.
struct RingWalk {
    std::uint64_t buckets = 0;
    std::uint64_t records = 0;                            // live records
    std::size_t shortest = static_cast<std::size_t>(-1);  // of their stored records
    std::size_t longest = 0;
    ContentTally content;
    bool closed = false;
    std::string failure;
};

// Key 0 and how its records are expanded. Only whether a record expands
// counts, not why it does not.
struct IndexedKey {
    KeyDescriptor key;
    std::size_t minimum = 0;   // bytes the copy array needs of a stored record
    std::uint64_t blocks = 0;  // of the file
    Expansion expansion;
};

// Walks the entries of one data bucket as the copier does; false when they
// do not end exactly at its free space, or a record does not expand or is
// too short for its key. fixed_length 0: every entry but an rrv one has its rl field, as
// variable-length records and all compressed ones do; else the entries of
// uncompressed fixed-length records, bodies of fixed_length bytes without
// one. Bytes read at a wrong length pass for entries all too easily, so
// these must also have a record id below the bucket's next one and an rrv
// pointer into the file. Records are counted into found, when given.
bool walk_bucket(IndexedKey& key, const unsigned char* bucket, const BucketHeader& header, std::uint32_t vbn,
                 std::size_t fixed_length, RingWalk* found) {
    Expansion& expansion = key.expansion;
    const std::size_t free_space = header.freespace;
    const EntryFormat format{fixed_length == 0, fixed_length};
    EntryWalk walk = walk_entries(format, bucket, free_space);
    Entry entry;
    std::string fault;
    while (next_entry(walk, entry)) {
        if (entry.kind == EntryKind::kDamaged) {
            return false;
        }
        const unsigned rid = le16(entry.head + kEntryRecordId);
        const std::uint32_t rrv_vbn = le32(entry.head + kEntryRrvVbn);
        if (fixed_length != 0 && (rid == 0 || rid >= header.nxtrecid || rrv_vbn == 0 || rrv_vbn > key.blocks)) {
            return false;
        }
        if (entry.kind != EntryKind::kLive || found == nullptr) {
            continue;
        }
        const unsigned char* record = entry.body;
        std::size_t length = entry.rl;
        if (expansion.key_compressed || expansion.data_compressed) {
            const std::size_t readable = free_space - static_cast<std::size_t>(entry.body - bucket);
            if (!expand_record(expansion, entry.body, entry.rl, readable, {vbn, entry.offset}, nullptr, fault,
                               &length)) {
                return false;
            }
            record = expansion.record.data();
        }
        if (length < key.minimum) {
            return false;
        }
        ++found->records;
        found->shortest = std::min(found->shortest, length);
        found->longest = std::max(found->longest, length);
        tally_content(found->content, record, length);
    }
    return true;
}

// The data bucket at vbn and its header, or nullptr with the reason in
// failure.
const unsigned char* data_bucket(ByteWindow& window, std::uint32_t vbn, std::size_t bucket_size, BucketHeader& header,
                                 std::string& failure) {
    const unsigned char* bucket =
        vbn == 0 ? nullptr : window_bytes(window, (vbn - 1ull) * kBlockSize, bucket_size);
    if (bucket == nullptr) {
        failure = formatted("bucket VBN %u lies outside the file", vbn);
        return nullptr;
    }
    header = decode_bucket_header(bucket);
    if (header.level != 0 || header.freespace < kBucketHeaderSize || header.freespace > bucket_size) {
        failure =
            formatted("VBN %u is no data bucket (level %u, freespace %u)", vbn, header.level, header.freespace);
        return nullptr;
    }
    return bucket;
}

// Follows the ring from key 0's ldvbn, walking the entries of each bucket
// as walk_bucket does.
RingWalk walk_ring(const ProbeInput& input, IndexedKey& key, std::size_t fixed_length) {
    ByteWindow window{&input, {}, 0, 0};
    const std::size_t bucket_size = key.key.datbktsz * kBlockSize;
    key.expansion.have_key = false;
    RingWalk walk;
    // A ring can hold each bucket of the file once.
    const std::uint64_t most = input.size / bucket_size + 1;
    std::uint32_t vbn = key.key.ldvbn;
    while (walk.buckets < most) {
        BucketHeader header;
        const unsigned char* bucket = data_bucket(window, vbn, bucket_size, header, walk.failure);
        if (bucket == nullptr) {
            return walk;
        }
        if (!walk_bucket(key, bucket, header, vbn, fixed_length, &walk)) {
            walk.failure = formatted("the entries of the bucket at VBN %u do not end at its free space", vbn);
            return walk;
        }
        ++walk.buckets;
        vbn = header.nxtbkt;
        if (vbn == key.key.ldvbn) {
            walk.closed = true;
            return walk;
        }
    }
    walk.failure = "the ring does not lead back to ldvbn";
    return walk;
}

// The shortest length of uncompressed fixed-length records whose entries
// end at the free space of every bucket of the ring, 0 when none does; and
// whether a length that is no multiple of its entries fits as well.
std::size_t fixed_record_length(const ProbeInput& input, IndexedKey& key, bool& rivalled) {
    const std::size_t bucket_size = key.key.datbktsz * kBlockSize;
    const std::size_t longest = bucket_size - kBucketHeaderSize - kRrvEntrySize;
    std::vector<bool> fits(longest + 1, true);
    const std::size_t shortest = std::max<std::size_t>(key.minimum, 1);
    ByteWindow window{&input, {}, 0, 0};
    std::string failure;
    std::uint32_t vbn = key.key.ldvbn;
    const std::uint64_t most = input.size / bucket_size + 1;
    for (std::uint64_t buckets = 0; buckets < most; ++buckets) {
        BucketHeader header;
        const unsigned char* bucket = data_bucket(window, vbn, bucket_size, header, failure);
        if (bucket == nullptr) {
            return 0;
        }
        for (std::size_t length = shortest; length <= longest; ++length) {
            fits[length] = fits[length] && walk_bucket(key, bucket, header, vbn, length, nullptr);
        }
        vbn = header.nxtbkt;
        if (vbn == key.key.ldvbn) {
            break;
        }
    }
    if (vbn != key.key.ldvbn) {
        return 0;
    }
    std::size_t found = 0;
    rivalled = false;
    for (std::size_t length = shortest; length <= longest; ++length) {
        if (!fits[length]) {
            continue;
        }
        if (found == 0) {
            found = length;
        } else if ((length + kRrvEntrySize) % (found + kRrvEntrySize) != 0) {
            rivalled = true;
        }
    }
    return found;
}

std::string ring_evidence(const RingWalk& walk, std::uint32_t first) {
    return formatted(
        "the ring of %llu data buckets walks back to ldvbn %u: %llu records of %zu to %zu bytes, %llu of them "
        "text, %llu%% of their bytes",
        static_cast<unsigned long long>(walk.buckets), first, static_cast<unsigned long long>(walk.records),
        walk.records == 0 ? 0 : walk.shortest, walk.longest, static_cast<unsigned long long>(walk.content.text_records),
        static_cast<unsigned long long>(walk.content.bytes == 0 ? 0
                                                                : walk.content.text_bytes * 100 / walk.content.bytes));
}

Candidate indexed_candidate(std::uint8_t rfm, std::uint8_t rat, std::size_t lrl, int score,
                            const std::string& evidence) {
    Candidate candidate = make_candidate(kOrgIndexed, rfm, rat, static_cast<std::uint16_t>(lrl), score);
    candidate.evidence = evidence;
    return candidate;
}

// Candidates from a ring whose entries all parse: variable-length records,
// or fixed-length ones when enough records share one length and the file is
// compressed (uncompressed fixed-length records have no length field, so
// length fields that chain there mean variable-length records). Carriage
// control is never sure: real indexed files carry rat=cr on binary records
// and rat=none on text ones. Records three bytes in four of which are text
// make it cr, others none, and the other choice follows close behind.
void add_ring_candidates(const RingWalk& walk, std::size_t fixed_length, bool compressed, int ceiling,
                         const std::string& evidence, std::vector<Candidate>& out) {
    std::uint8_t rat = carriage_control_by_bytes(walk.content);
    if (walk.records == 0) {
        rat = kRatCarriageReturn;
    }
    const bool equal = compressed && walk.records != 0 && walk.shortest == walk.longest;
    int score = std::min(kCarriageControlUnsure, ceiling);
    std::uint8_t rfm = kRfmVariable;
    std::size_t lrl = 0;
    std::string why;
    if (fixed_length != 0) {
        rfm = kRfmFixed;
        lrl = fixed_length;
        why = formatted("; entries without a length field hold records of %zu bytes", fixed_length);
    } else if (equal && walk.records >= kEqualLengthsForFixed) {
        rfm = kRfmFixed;
        lrl = walk.longest;
        why = "; every record has the same length: fixed-length records";
        out.push_back(
            indexed_candidate(kRfmVariable, rat, 0, score - 20, evidence + "; variable-length records of one length"));
    } else if (walk.records == 0) {
        why = "; no record tells the record format or the carriage control";
    } else if (equal) {
        why = "; too few records of one length to tell variable-length from fixed-length ones";
        out.push_back(indexed_candidate(kRfmFixed, rat, walk.longest, score - 5, evidence + why));
    }
    out.push_back(indexed_candidate(rfm, rat, lrl, score,
                                    evidence + why +
                                        (walk.records == 0 ? "; rat=cr, as most indexed files have"
                                         : rat == 0        ? "; rat=none: the records are mostly binary"
                                                           : "; rat=cr: the records are mostly text")));
    out.push_back(
        indexed_candidate(rfm, rat == 0 ? kRatCarriageReturn : 0, lrl, score - 10,
                          evidence + why + "; indexed files of either content carry either carriage control"));
}

}  // namespace

void add_indexed_candidates(const ProbeInput& input, std::vector<Candidate>& out) {
    if (input.head_size < kBlockSize) {
        return;
    }
    IndexedKey key;
    key.key = decode_key_descriptor(input.head);
    const Prolog prolog = decode_prolog(input.head);
    const unsigned bucket_blocks = key.key.datbktsz;
    const unsigned segments = key.key.segments;
    unsigned key_size = 0;
    for (unsigned i = 0; i < segments && i < kMaxKeySegments; ++i) {
        key_size += key.key.size[i];
    }
    if (prolog.ver_no < 1 || prolog.ver_no > 3 || bucket_blocks == 0 || bucket_blocks > kLargestBucketBlocks ||
        segments == 0 || segments > kMaxKeySegments || key_size == 0 || key_size != key.key.keysz) {
        return;
    }
    const std::string descriptor = formatted(
        "prolog version %u in VBN 1, key 0 of %u segments and %u bytes, "
        "data buckets of %u blocks",
        prolog.ver_no, segments, key_size, bucket_blocks);
    const std::uint32_t first = key.key.ldvbn;
    key.blocks = (input.size + kBlockSize - 1) / kBlockSize;
    if (first < 2 || first - 1 + bucket_blocks > key.blocks) {
        out.push_back(indexed_candidate(
            kRfmVariable, kRatCarriageReturn, 0, 60,
            descriptor + formatted("; ldvbn %u lies outside the file (index never filled?): no record tells "
                                       "the record format or the carriage control; rat=cr, as most indexed files "
                                       "have",
                                       first)));
        return;
    }
    if (prolog.ver_no != kPrologVersion3) {
        out.push_back(indexed_candidate(
            kRfmVariable, kRatCarriageReturn, 0, 55,
            descriptor + formatted("; ldvbn %u inside the file; buckets of this version not walked: the record "
                                       "format is unknown",
                                       first)));
        return;
    }
    CopyArray copy_array;
    build_copy_array(key.key, copy_array, nullptr);
    key.minimum = static_cast<std::size_t>(copy_array_minimum_length(copy_array));
    key.expansion.key_compressed = (key.key.flags & kKeyCompressed) != 0;
    key.expansion.data_compressed = (key.key.flags & kRecordCompressed) != 0;
    key.expansion.keysz = key.key.keysz;
    const RingWalk walk = walk_ring(input, key, 0);
    if (walk.closed) {
        const bool compressed = key.expansion.key_compressed || key.expansion.data_compressed;
        add_ring_candidates(walk, 0, compressed, 100, descriptor + "; " + ring_evidence(walk, first), out);
        return;
    }
    // Fixed-length records of an uncompressed file leave the length field
    // out of their entries.
    if (!key.expansion.key_compressed && !key.expansion.data_compressed) {
        bool rivalled = false;
        const std::size_t length = fixed_record_length(input, key, rivalled);
        const RingWalk fixed = length == 0 ? RingWalk{} : walk_ring(input, key, length);
        if (fixed.closed) {
            add_ring_candidates(fixed, length, false, rivalled ? 60 : 100,
                                descriptor + "; " + ring_evidence(fixed, first) +
                                    (rivalled ? "; other record lengths fit the entries as well" : ""),
                                out);
        }
    }
    out.push_back(indexed_candidate(kRfmVariable, carriage_control_by_bytes(walk.content), 0, 50,
                                    descriptor + "; " + walk.failure + ": no variable-length records"));
}

namespace {

// Buckets examined per layout: enough to see the cells line up, few enough
// that a large file costs no more than a small one.
constexpr std::uint64_t kBucketsExamined = 64;

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

Candidate relative_candidate(const CellsTried& layout, int score, const std::string& evidence) {
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
    const RelativeProlog prolog = decode_relative_prolog(input.head);
    const std::uint32_t first = prolog.dvbn;
    const std::uint32_t end = prolog.eof;
    const std::uint64_t blocks = (input.size + kBlockSize - 1) / kBlockSize;
    if (first < 2 || end <= first || first > blocks || end - 1 > blocks + kLargestBucketBlocks) {
        return;
    }
    ByteWindow window{&input, {}, 0, 0};
    CellsTried best;
    CellsTried runner_up;  // the best layout that would write something else
    const unsigned largest = std::min<std::uint32_t>(kLargestBucketBlocks, end - first);
    // A cell holds at least the record in the first cell.
    const unsigned shortest =
        input.head_size > (first - 1ull) * kBlockSize + 3 &&
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
    if (best.present == 0) {
        Candidate candidate = make_candidate(kOrgRelative, kRfmVariable, 0, 0, 30);
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
            static_cast<unsigned long long>(layout.content.records));
    };
    // A data byte of 8 with a length that fits reads as a cell now and then,
    // most easily where buckets of another size put cells in the midst of
    // records: then a record or two more is no lead.
    const bool close = runner_up.present != 0 &&
                       (runner_up.present * 10 >= best.present * 9 ||
                        (runner_up.bucket_blocks != best.bucket_blocks && best.present < runner_up.present + 3));
    out.push_back(relative_candidate(best, close ? 65 : 90, describe(best)));
    if (runner_up.present != 0) {
        out.push_back(relative_candidate(runner_up, close ? 60 : 40, describe(runner_up)));
    }
}
