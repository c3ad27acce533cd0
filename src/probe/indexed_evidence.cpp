// Evidence for indexed files: a consistent key descriptor of key 0 in the
// prolog, then the ring of data buckets from its ldvbn walked entry by
// entry as the copier walks it (in the entry layout of the prolog version),
// for variable-length records or, in an uncompressed file, for fixed-length
// records without a length field. The carriage control is a guess, so the
// answer is never sure.
#include <algorithm>

#include "formats/indexed_layout.h"
#include "indexed/bucket_entries.h"
#include "indexed/copy_array.h"
#include "indexed/expansion.h"
#include "platform/little_endian.h"
#include "probe/evidence.h"

namespace {
// Records of one length, at least this many, in a file whose entries carry a
// length field (one compressed) make them fixed-length records: indexed files
// of fixed-length records outnumber those of variable-length ones many times
// over, and the records of a variable-length file seldom all share one length.
// (Either answer copies the same records.)
constexpr std::uint64_t kEqualLengthsForFixed = 2;

// The records of an indexed file do not show its carriage control: real
// files carry rat=cr on binary records and rat=none on text as well as the
// other way round. Most carry rat=cr.
constexpr std::uint8_t kIndexedCarriageControl = kRatCarriageReturn;

// How much of a ring one walk reads: buckets of every size, and bytes, so
// that a ring of small buckets against file order (one read each) and one of
// large buckets cost about as much. A walk stopped there reads the records
// it met as a whole ring's, and is no surer than any indexed reading.
constexpr std::uint64_t kRingBucketsWalked = 4096;
constexpr std::uint64_t kRingBytesWalked = std::uint64_t{8} << 20;

// The buckets a walk of the ring may visit: each of the file once at most,
// within the budget above.
std::uint64_t buckets_to_walk(const ProbeInput& input, std::size_t bucket_size) {
    return std::min({input.size / bucket_size + 1, kRingBucketsWalked, kRingBytesWalked / bucket_size + 1});
}

// A window over the file for a walk of its ring: a jump to another bucket
// reads that bucket alone.
ByteWindow ring_window(const ProbeInput& input, std::size_t bucket_size) {
    ByteWindow window{&input, {}, 0, 0};
    window.jump_read = bucket_size;
    return window;
}

// What a walk of the ring of data buckets found.
struct RingWalk {
    std::uint64_t buckets = 0;
    std::uint64_t records = 0;                            // live records
    std::size_t shortest = static_cast<std::size_t>(-1);  // of their stored records
    std::size_t longest = 0;
    ContentTally content;
    bool closed = false;
    bool stopped = false;  // at the end of the budget, every bucket so far walked
    std::string failure;
};

// Key 0 and how its records are expanded. Only whether a record expands
// counts, not why it does not.
struct IndexedKey {
    KeyDescriptor key;
    std::size_t minimum = 0;   // bytes the copy array needs of a stored record
    std::uint64_t blocks = 0;  // of the file
    EntryLayout layout = EntryLayout::kProlog3;
    Expansion expansion;
};

// Walks the entries of one data bucket as the copier does; false when they
// do not end exactly at its free space, or a record does not expand or is
// too short for its key. fixed_length 0: every entry but an rrv one has its rl field, as
// variable-length records and all compressed ones do; else the entries of
// uncompressed fixed-length records, bodies of fixed_length bytes without
// one. Bytes read at a wrong length pass for entries all too easily, so
// these must also have a record id below the bucket's next one and an rrv
// pointer into the file (when the entry has one). Records are counted into
// found, when given.
bool walk_bucket(IndexedKey& key, const unsigned char* bucket, const BucketHeader& header, std::uint32_t vbn,
                 std::size_t fixed_length, RingWalk* found) {
    Expansion& expansion = key.expansion;
    const std::size_t free_space = header.freespace;
    const EntryFormat format{fixed_length == 0, fixed_length, key.layout};
    EntryWalk walk = walk_entries(format, bucket, free_space);
    Entry entry;
    std::string fault;
    while (next_entry(walk, entry)) {
        if (entry.kind == EntryKind::kDamaged) {
            return false;
        }
        if (fixed_length != 0) {
            const EntryIds ids = entry_ids(entry, format);
            if (ids.record_id == 0 || ids.record_id >= header.nxtrecid ||
                (ids.has_pointer && (ids.rrv_vbn == 0 || ids.rrv_vbn > key.blocks))) {
                return false;
            }
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
const unsigned char* data_bucket(ByteWindow& window, std::uint32_t vbn, std::size_t bucket_size, EntryLayout layout,
                                 BucketHeader& header, std::string& failure) {
    const unsigned char* bucket = vbn == 0 ? nullptr : window_bytes(window, (vbn - 1ull) * kBlockSize, bucket_size);
    if (bucket == nullptr) {
        failure = formatted("bucket VBN %u lies outside the file", vbn);
        return nullptr;
    }
    header = decode_data_bucket_header(bucket, layout);
    if (header.level != 0 || header.freespace < kBucketHeaderSize || header.freespace > bucket_size) {
        failure = formatted("VBN %u is no data bucket (level %u, freespace %u)", vbn, header.level, header.freespace);
        return nullptr;
    }
    return bucket;
}

// Follows the ring from key 0's ldvbn, walking the entries of each bucket
// as walk_bucket does.
RingWalk walk_ring(const ProbeInput& input, IndexedKey& key, std::size_t fixed_length) {
    const std::size_t bucket_size = key.key.datbktsz * kBlockSize;
    ByteWindow window = ring_window(input, bucket_size);
    key.expansion.have_key = false;
    RingWalk walk;
    const std::uint64_t most = buckets_to_walk(input, bucket_size);
    const bool budget_ends = most < input.size / bucket_size + 1;
    std::uint32_t vbn = key.key.ldvbn;
    while (walk.buckets < most) {
        BucketHeader header;
        const unsigned char* bucket = data_bucket(window, vbn, bucket_size, key.layout, header, walk.failure);
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
    walk.stopped = budget_ends;
    walk.failure = "the ring does not lead back to ldvbn";
    return walk;
}

// The shortest length of uncompressed fixed-length records whose entries
// end at the free space of every bucket of the ring, 0 when none does; and
// whether a length that is no multiple of its entries fits as well. When
// the ring breaks (a bucket outside the file, or one that no length
// fits), the lengths that fit the buckets before it.
std::size_t fixed_record_length(const ProbeInput& input, IndexedKey& key, bool& rivalled) {
    const std::size_t bucket_size = key.key.datbktsz * kBlockSize;
    const bool short_ids = key.layout == EntryLayout::kProlog2;
    const std::size_t longest = bucket_size - kBucketHeaderSize - (short_ids ? kShortEntryIdsSize : kRrvEntrySize);
    // The head in front of each record: in prologs 1 and 2 that of the first
    // entry, as a file's records carry rrv pointers of one size.
    std::size_t head = kRrvEntrySize;
    std::vector<bool> fits(longest + 1, true);
    const std::size_t shortest = std::max<std::size_t>(key.minimum, 1);
    ByteWindow window = ring_window(input, bucket_size);
    std::string failure;
    std::uint32_t vbn = key.key.ldvbn;
    const std::uint64_t most = buckets_to_walk(input, bucket_size);
    std::vector<bool> fits_here(longest + 1);
    for (std::uint64_t buckets = 0; buckets < most; ++buckets) {
        BucketHeader header;
        const unsigned char* bucket = data_bucket(window, vbn, bucket_size, key.layout, header, failure);
        if (bucket == nullptr) {
            if (buckets == 0) {
                return 0;
            }
            break;
        }
        if (buckets == 0 && short_ids && header.freespace > kBucketHeaderSize) {
            head = short_head_size(bucket[kBucketHeaderSize]);
        }
        bool any = false;
        for (std::size_t length = shortest; length <= longest; ++length) {
            fits_here[length] = fits[length] && walk_bucket(key, bucket, header, vbn, length, nullptr);
            any = any || fits_here[length];
        }
        if (!any) {
            break;
        }
        fits.swap(fits_here);
        vbn = header.nxtbkt;
        if (vbn == key.key.ldvbn) {
            break;
        }
    }
    std::size_t found = 0;
    rivalled = false;
    for (std::size_t length = shortest; length <= longest; ++length) {
        if (!fits[length]) {
            continue;
        }
        if (found == 0) {
            found = length;
        } else if ((length + head) % (found + head) != 0) {
            rivalled = true;
        }
    }
    return found;
}

// How far the walk went, and what the records it met hold.
std::string ring_evidence(const RingWalk& walk, std::uint32_t first) {
    const unsigned long long buckets = walk.buckets;
    const std::string reach =
        walk.closed    ? formatted("the ring of %llu data buckets walks back to ldvbn %u", buckets, first)
        : walk.stopped ? formatted("%llu data buckets walk from ldvbn %u, where the walk stops", buckets, first)
                       : formatted("%llu data buckets walk from ldvbn %u before the ring breaks: %s", buckets, first,
                                   walk.failure.c_str());
    return reach + formatted(": %llu records of %zu to %zu bytes, %llu of them text, %llu%% of their bytes",
                             static_cast<unsigned long long>(walk.records), walk.records == 0 ? 0 : walk.shortest,
                             walk.longest, static_cast<unsigned long long>(walk.content.text_records),
                             static_cast<unsigned long long>(
                                 walk.content.bytes == 0 ? 0 : walk.content.text_bytes * 100 / walk.content.bytes));
}

Candidate indexed_candidate(std::uint8_t rfm, std::uint8_t rat, std::size_t lrl, int score,
                            const std::string& evidence) {
    Candidate candidate = make_candidate(kOrgIndexed, rfm, rat, static_cast<std::uint16_t>(lrl), score);
    candidate.evidence = evidence;
    candidate.line_ends_guessed = true;
    return candidate;
}

// Candidates from a ring whose entries all parse: variable-length records,
// or fixed-length ones when enough records share one length and the file is
// compressed (uncompressed fixed-length records have no length field, so
// length fields that chain there mean variable-length records). Carriage
// control is never sure: kIndexedCarriageControl, and the other choice
// follows close behind. ceiling: kRivalledLengthScore when another length
// walks the entries as well, else kIndexedWalkedScore.
void add_ring_candidates(const RingWalk& walk, std::size_t fixed_length, bool compressed, int ceiling,
                         const std::string& evidence, std::vector<Candidate>& out) {
    const std::uint8_t rat = kIndexedCarriageControl;
    const bool equal = compressed && walk.records != 0 && walk.shortest == walk.longest;
    const int score = std::min(kIndexedWalkedScore, ceiling);
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
        out.push_back(indexed_candidate(kRfmVariable, rat, 0, score - kOneLengthVariableGap,
                                        evidence + "; variable-length records of one length"));
    } else if (walk.records == 0) {
        why = "; no record tells the record format or the carriage control";
    } else if (equal) {
        why = "; too few records of one length to tell variable-length from fixed-length ones";
        out.push_back(indexed_candidate(kRfmFixed, rat, walk.longest, score - kCloseAlternativeGap, evidence + why));
    }
    out.push_back(indexed_candidate(rfm, rat, lrl, score, evidence + why + "; rat=cr, as most indexed files have"));
    out.push_back(
        indexed_candidate(rfm, 0, lrl, score - kOtherCarriageControlGap,
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
    const char* const unknown_format =
        ": no record tells the record format or the carriage control; rat=cr, as most indexed files have";
    if ((key.key.flags & kKeyInitIdx) != 0) {
        out.push_back(indexed_candidate(kRfmVariable, kRatCarriageReturn, 0, kIndexedNoDataScore,
                                        descriptor + "; key 0's index was never initialised" + unknown_format));
        return;
    }
    if (first < 2 || first - 1 + bucket_blocks > key.blocks) {
        out.push_back(indexed_candidate(
            kRfmVariable, kRatCarriageReturn, 0, kIndexedNoDataScore,
            descriptor + formatted("; ldvbn %u lies outside the file (index never filled?)", first) +
                unknown_format));
        return;
    }
    // Prologs 1 and 2 store each record whole and uncompressed, its key
    // where the descriptor places it: the copy array's minimum holds there too.
    key.layout = entry_layout_of(prolog.ver_no);
    const bool key_in_front = key.layout == EntryLayout::kProlog3;
    CopyArray copy_array;
    build_copy_array(key.key, copy_array, nullptr);
    key.minimum = static_cast<std::size_t>(copy_array_minimum_length(copy_array));
    key.expansion.key_compressed = key_in_front && (key.key.flags & kKeyCompressed) != 0;
    key.expansion.data_compressed = key_in_front && (key.key.flags & kRecordCompressed) != 0;
    key.expansion.keysz = key.key.keysz;
    const RingWalk walk = walk_ring(input, key, 0);
    const bool compressed = key.expansion.key_compressed || key.expansion.data_compressed;
    if (walk.closed || walk.stopped) {
        add_ring_candidates(walk, 0, compressed, kIndexedWalkedScore, descriptor + "; " + ring_evidence(walk, first),
                            out);
        return;
    }
    const Candidate no_variable =
        indexed_candidate(kRfmVariable, kIndexedCarriageControl, 0, kIndexedRingBrokenScore,
                          descriptor + "; " + walk.failure + ": no variable-length records");
    // Fixed-length records of an uncompressed file leave the length field
    // out of their entries.
    if (!compressed) {
        bool rivalled = false;
        const std::size_t length = fixed_record_length(input, key, rivalled);
        const RingWalk fixed = length == 0 ? RingWalk{} : walk_ring(input, key, length);
        const char* rivals = rivalled ? "; other record lengths fit the entries as well" : "";
        if (fixed.closed || fixed.stopped) {
            add_ring_candidates(fixed, length, false, rivalled ? kRivalledLengthScore : kIndexedWalkedScore,
                                descriptor + "; " + ring_evidence(fixed, first) + rivals, out);
            out.push_back(no_variable);
            return;
        }
        // A ring that breaks is read as far as it goes, in the entry format
        // that goes furthest.
        if (fixed.buckets > walk.buckets) {
            add_ring_candidates(fixed, length, false, kIndexedRingBrokenScore,
                                descriptor + "; " + ring_evidence(fixed, first) + rivals, out);
            out.push_back(no_variable);
            out.back().score -= kCloseAlternativeGap;
            return;
        }
    }
    if (walk.buckets != 0) {
        add_ring_candidates(walk, 0, compressed, kIndexedRingBrokenScore,
                            descriptor + "; " + ring_evidence(walk, first), out);
        return;
    }
    out.push_back(no_variable);
}
