// Evidence for fixed-length sequential records: every record length that
// fits the file is laid out in both placements RMS uses (packed end to end,
// or with rat=blk kept inside blocks) and costed as a code for the bytes it
// covers; the layout that codes them cheapest wins, by as much as it leads
// the next layout (or no layout at all).
#include <algorithm>
#include <array>
#include <cmath>
#include <math.h>

#include "probe/evidence.h"

namespace {

// Records of one or two bytes fit every file: they are weighed as rivals of
// the longer lengths, never named.
constexpr std::uint64_t kShortestNamedLength = 3;

// The start of the record after one that ended at offset at, packed or
// kept inside blocks (rat=blk).
std::uint64_t place_record(std::uint64_t at, std::uint64_t length, bool keep_to_blocks) {
    return keep_to_blocks ? at + block_gap_before(at, length) : at;
}

// For a file larger than the head, where its records end is not examined.
constexpr int kEndUnknown = 2;

// Where records of this length, laid out by the placement rule, meet the end
// of the file: 1 the last record (and its pad) ends it, 0 it ends in a block
// gap, -1 it ends inside a record, which unrms reports as damage.
int layout_ending(std::uint64_t size, std::uint64_t length, bool keep_to_blocks) {
    std::uint64_t at = 0;
    for (;;) {
        const std::uint64_t start = place_record(at, length, keep_to_blocks);
        if (start >= size) {
            return at >= size ? 1 : 0;
        }
        if (start + length > size) {
            return -1;
        }
        at = start + length + (length & 1);
    }
}

struct FixedFit {
    std::uint16_t length = 0;
    bool keep_to_blocks = false;  // rat=blk
    std::uint64_t records = 0;  // in the region measured
    std::uint64_t bytes = 0;    // covered by those records and their pads and gaps
    double cost = 0;            // of coding those bytes under the layout, in nats
    int ending = kEndUnknown;   // layout_ending when the whole file is in the head
    int last_byte = -1;         // the last byte of every record when it never varies, else -1
    int gap_byte = -1;          // the first byte of the block gaps, -1 when there are none
    bool gaps_alike = true;     // every gap byte is gap_byte
    ContentTally content;
};

// Adaptive counts over an alphabet, with the cost, in nats, of coding what
// was counted with a Krichevsky-Trofimov estimator.
template <std::size_t N>
struct Counts {
    std::array<std::uint32_t, N> counts{};
    std::uint32_t total = 0;
};

// The logarithm of the gamma function of a positive x. std::lgamma sets
// the global signgam, a data race when several files are probed at once
// (unrms-rescue -j); lgamma_r leaves the sign in a local.
double log_gamma(double x) {
    int sign = 0;
    return ::lgamma_r(x, &sign);
}

template <std::size_t N>
double coding_cost(const Counts<N>& model, double alphabet) {
    constexpr double kHalf = 0.5;
    double cost = log_gamma(model.total + alphabet * kHalf) - log_gamma(alphabet * kHalf);
    for (std::uint32_t count : model.counts) {
        if (count != 0) {
            cost -= log_gamma(count + kHalf) - log_gamma(kHalf);
        }
    }
    return cost;
}

// Bytes fall into a few classes; a record column is modelled by the classes
// it holds (few parameters, so a column learns from few records), the byte
// within its class by one model for the whole region.
constexpr std::size_t kClasses = 8;

unsigned byte_class(unsigned char byte) {
    if (byte == 0) return 0;
    if (byte < 0x20) return 1;
    if (byte == ' ') return 2;
    if (byte >= '0' && byte <= '9') return 3;
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')) return 4;
    if (byte < 0x7F) return 5;
    if (byte < 0xA0) return 6;
    return 7;
}

constexpr double kClassSizes[kClasses] = {1, 31, 1, 10, 52, 32, 33, 96};

struct RegionModel {
    std::vector<Counts<kClasses>> columns;
    std::array<Counts<256>, kClasses> within;  // the byte given its class
    Counts<256> last;                          // the bytes of the last column
    Counts<256> gaps;
};

template <std::size_t N>
void count(Counts<N>& model, unsigned symbol) {
    ++model.counts[symbol];
    ++model.total;
}

void count_record_byte(RegionModel& model, std::size_t column, unsigned char byte) {
    const unsigned group = byte_class(byte);
    count(model.columns[column], group);
    count(model.within[group], byte);
    if (column + 1 == model.columns.size()) {
        count(model.last, byte);
    }
}

double within_cost(const std::array<Counts<256>, kClasses>& within) {
    double cost = 0;
    for (std::size_t group = 0; group < kClasses; ++group) {
        cost += coding_cost(within[group], kClassSizes[group]);
    }
    return cost;
}

// A column that tells nothing about its bytes is coded with the classes of
// the whole region instead of its own, at the cost of saying so: columns of
// random bytes then cost nothing extra, however many a layout has. A last
// column (an odd length's pad byte, or the even length's last byte in the
// same place) that holds one byte throughout is coded as that byte alone: a
// pad byte never varies, whatever the records hold, and its class alone
// would not show it.
double region_cost(const RegionModel& model) {
    double cost = coding_cost(model.gaps, 256);
    Counts<kClasses> region;
    for (const auto& column : model.columns) {
        for (std::size_t group = 0; group < kClasses; ++group) {
            region.counts[group] += column.counts[group];
        }
        region.total += column.total;
    }
    // The shared classes' own parameters.
    cost += 0.5 * kClasses * std::log(region.total + 1.0);
    std::array<double, kClasses> shared{};
    for (std::size_t group = 0; group < kClasses; ++group) {
        shared[group] = -std::log((region.counts[group] + 0.5) / (region.total + 0.5 * kClasses));
    }
    const auto by_classes = [&](const Counts<kClasses>& column) {
        double with_shared = 0;
        for (std::size_t group = 0; group < kClasses; ++group) {
            with_shared += column.counts[group] * shared[group];
        }
        return std::min(coding_cost(column, kClasses), with_shared);
    };
    for (std::size_t i = 0; i + 1 < model.columns.size(); ++i) {
        cost += by_classes(model.columns[i]) + std::log(2.0);
    }
    const double last_by_classes = by_classes(model.columns.back()) + within_cost(model.within);
    const auto one_byte = std::find(model.last.counts.begin(), model.last.counts.end(), model.last.total);
    if (model.last.total == 0 || one_byte == model.last.counts.end()) {
        return cost + last_by_classes + std::log(3.0);
    }
    std::array<Counts<256>, kClasses> others = model.within;
    Counts<256>& within = others[byte_class(static_cast<unsigned char>(one_byte - model.last.counts.begin()))];
    within.counts[static_cast<std::size_t>(one_byte - model.last.counts.begin())] -= model.last.total;
    within.total -= model.last.total;
    return cost + std::min(last_by_classes, std::log(256.0) + within_cost(others)) + std::log(3.0);
}

// Codes the region [0, region) of the head as records of this length. The
// right length codes the file cheapest: a wrong one mixes the columns and
// puts data into the pad and gap bytes, and a run of several records gives
// each column fewer bytes to learn from.
FixedFit fit_fixed(const ProbeInput& input, std::uint64_t length, bool keep_to_blocks, std::uint64_t region) {
    constexpr std::uint64_t kContentRecords = 64;
    FixedFit fit;
    fit.length = static_cast<std::uint16_t>(length);
    fit.keep_to_blocks = keep_to_blocks;
    RegionModel model;
    // The pad byte of an odd length is coded as one more column: an odd
    // length and the even one above it then cost the same, and the pad byte
    // itself decides between them.
    model.columns.resize(length + (length & 1));
    std::uint64_t at = 0;
    for (;;) {
        const std::uint64_t start = place_record(at, length, keep_to_blocks);
        if (start + length > region) {
            break;
        }
        for (std::uint64_t i = at; i < start; ++i) {
            count(model.gaps, input.head[i]);
            if (fit.gap_byte < 0) {
                fit.gap_byte = input.head[i];
            }
            fit.gaps_alike = fit.gaps_alike && fit.gap_byte == input.head[i];
        }
        const unsigned char* record = input.head + start;
        for (std::uint64_t column = 0; column < length; ++column) {
            count_record_byte(model, column, record[column]);
        }
        if (fit.records < kContentRecords) {
            tally_content(fit.content, record, length);
        }
        if (fit.records == 0) {
            fit.last_byte = record[length - 1];
        } else if (fit.last_byte != record[length - 1]) {
            fit.last_byte = -1;
        }
        ++fit.records;
        at = start + length;
        if ((length & 1) != 0 && at < region) {
            count_record_byte(model, length, input.head[at]);
            ++at;
        }
    }
    fit.bytes = at;
    fit.cost = region_cost(model) + (keep_to_blocks ? kKeepToBlocksNats : 0);
    return fit;
}

// The cost of the same bytes with no layout at all: one column for all.
double unstructured_cost(const ProbeInput& input, std::uint64_t bytes) {
    RegionModel model;
    model.columns.resize(1);
    for (std::uint64_t i = 0; i < bytes; ++i) {
        count_record_byte(model, 0, input.head[i]);
    }
    return region_cost(model);
}

double cost_per_byte(const FixedFit& fit) {
    return fit.cost / static_cast<double>(fit.bytes);
}

std::string describe_fit(const FixedFit& fit, double lead) {
    std::string text = formatted(
        "record length %u%s: %llu records code the first %llu bytes in %.3f bits a byte, "
        "%.0f nats below the next best layout",
        fit.length, fit.keep_to_blocks ? " kept inside blocks" : "", static_cast<unsigned long long>(fit.records),
        static_cast<unsigned long long>(fit.bytes), cost_per_byte(fit) / std::log(2.0), lead);
    text += fit.ending == kEndUnknown ? ", the end of the file not examined"
            : fit.ending == 1         ? ", the last record ends the file"
            : fit.ending == 0         ? ", the file ends in a block gap"
                                      : ", the file ends inside a record";
    return text;
}

Candidate fixed_candidate(const FixedFit& fit, double lead, int score) {
    const CarriageControl carriage = carriage_control_for(fit.content, kBinaryFixedCarriageControl);
    const std::uint8_t rat = carriage.rat | (fit.keep_to_blocks ? kRatNoSpan : 0);
    Candidate candidate = make_candidate(kOrgSequential, kRfmFixed, rat, fit.length, score);
    candidate.line_ends_guessed = carriage.guessed;
    candidate.evidence = describe_fit(fit, lead);
    return candidate;
}

struct FixedLayout {
    std::uint64_t length = 0;
    bool keep_to_blocks = false;
};

// The layouts worth measuring: when the whole file is known, those whose
// last record ends it, else those that end it in a block gap; otherwise
// every length up to a few blocks and every multiple of a block. Each
// length packed, and kept inside blocks where that moves a record of the
// bytes known.
std::vector<FixedLayout> layouts_to_measure(const ProbeInput& input, std::uint64_t longest) {
    std::vector<FixedLayout> layouts;
    const auto both = [&](std::uint64_t length, auto&& wanted) {
        for (const bool keep_to_blocks : {false, true}) {
            if ((!keep_to_blocks || keeping_to_blocks_moves_records(length, input.head_size)) &&
                wanted(keep_to_blocks)) {
                layouts.push_back({length, keep_to_blocks});
            }
        }
    };
    if (input.head_size == input.size) {
        for (int wanted = 1; wanted >= 0 && layouts.empty(); --wanted) {
            for (std::uint64_t length = 1; length <= longest; ++length) {
                both(length, [&](bool keep_to_blocks) {
                    return layout_ending(input.size, length, keep_to_blocks) == wanted;
                });
            }
        }
    }
    if (layouts.empty()) {
        constexpr std::uint64_t kEveryLengthUpTo = 2048;
        for (std::uint64_t length = 1; length <= longest; ++length) {
            if (length <= kEveryLengthUpTo || length % kBlockSize == 0) {
                both(length, [](bool) { return true; });
            }
        }
    }
    return layouts;
}

}  // namespace

bool keeping_to_blocks_moves_records(std::uint64_t length, std::uint64_t size) {
    // Packed records start at multiples of their stride; the first whose
    // record would cross a block boundary is the first the block rule moves.
    // Their offsets within a block repeat after at most kBlockSize records.
    const std::uint64_t stride = padded_length(length);
    for (std::uint64_t record = 0; record <= kBlockSize && record * stride < size; ++record) {
        if (block_gap_before(record * stride, length) != 0) {
            return true;
        }
    }
    return false;
}

void add_fixed_candidates(const ProbeInput& input, std::vector<Candidate>& out) {
    const std::uint64_t longest = std::min<std::uint64_t>(kLongestRecord, input.head_size / 2);
    const std::vector<FixedLayout> layouts = layouts_to_measure(input, longest);
    // Few layouts are measured on a large region, many on a small one.
    const std::uint64_t region = std::min<std::uint64_t>(input.head_size, layouts.size() <= 64 ? 1 << 16 : 1 << 13);
    std::vector<FixedFit> fits;
    for (const FixedLayout& layout : layouts) {
        FixedFit fit = fit_fixed(input, layout.length, layout.keep_to_blocks, region);
        if (fit.records >= 2) {
            fit.ending = input.head_size == input.size
                             ? layout_ending(input.size, layout.length, layout.keep_to_blocks)
                             : kEndUnknown;
            fits.push_back(fit);
        }
    }
    // On a tie the packed layout, measured first, stays ahead: the bytes do
    // not show rat=blk.
    const auto cheaper = [](const FixedFit& a, const FixedFit& b) { return cost_per_byte(a) < cost_per_byte(b); };
    std::stable_sort(fits.begin(), fits.end(), cheaper);
    const auto named = std::find_if(fits.begin(), fits.end(),
                                    [](const FixedFit& fit) { return fit.length >= kShortestNamedLength; });
    if (named == fits.end()) {
        return;
    }
    // What a reading of one- or two-byte records, which fits any bytes,
    // costs: a longer length must code them cheaper to show records.
    const double trivial_cost = named != fits.begin() ? cost_per_byte(fits[0]) : HUGE_VAL;
    std::rotate(fits.begin(), named, named + 1);
    const double bytes = static_cast<double>(fits[0].bytes);
    // An odd length with its pad byte and the even length above it lay the
    // records out alike and cost the same; only the last byte of the even
    // reading tells them apart, and neither counts as the other's rival when
    // it does. A pad byte never varies, so a last byte that varies is data.
    // In text records a printable ASCII byte is data and any other byte is a
    // pad. Binary records may well end in a byte that never varies (the high
    // byte of a counter, a zero field): such a byte, unless a blank, is taken
    // for a pad, unsure.
    const bool keep_to_blocks = fits[0].keep_to_blocks;
    const auto layout_of = [&](std::uint64_t length) {
        return std::find_if(fits.begin(), fits.end(), [&](const FixedFit& fit) {
            return fit.length == length && fit.keep_to_blocks == keep_to_blocks;
        });
    };
    const std::uint64_t even = fits[0].length + (fits[0].length & 1);
    const auto even_fit = layout_of(even);
    const auto odd_fit = layout_of(even - 1);
    const FixedFit* sibling = nullptr;
    bool sibling_told = true;
    if (even_fit != fits.end() && odd_fit != fits.end()) {
        const int last = even_fit->last_byte;
        const bool text = mostly_text(odd_fit->content);
        const bool padded = last >= 0 && even_fit->records >= 3 && (text ? last < ' ' || last > '~' : last != ' ');
        sibling_told = last < 0 || text;
        std::iter_swap(fits.begin(), padded ? odd_fit : even_fit);
        sibling = &*layout_of(padded ? even : even - 1);
    }
    const FixedFit& best = fits[0];
    const double best_cost = sibling != nullptr ? std::min(cost_per_byte(best), cost_per_byte(*sibling))
                                                : cost_per_byte(best);
    // The lead over the next layout, or over no layout, scaled to the bytes
    // the best one covers; a file ending inside a record costs it a little.
    const double unstructured = unstructured_cost(input, best.bytes) / bytes;
    double next = unstructured;
    const FixedFit* runner_up = nullptr;
    for (std::size_t i = 1; i < fits.size(); ++i) {
        if (&fits[i] != sibling && (runner_up == nullptr || cheaper(fits[i], *runner_up))) {
            runner_up = &fits[i];
        }
    }
    if (runner_up != nullptr) {
        next = std::min(next, cost_per_byte(*runner_up));
    }
    const double lead = (next - best_cost) * bytes - (best.ending == -1 ? kEndsInsideRecordNats : 0);
    // Binary records of a length that codes the bytes no cheaper than no
    // layout at all, or than one- or two-byte records, are no evidence: any
    // length that divides the file lays them out. Text without line ends is
    // fixed-length records all the same, even where too few of them show
    // their columns.
    const bool evident = std::min(unstructured, trivial_cost) > best_cost || mostly_text(best.content);
    const int score = !evident ? kFixedNoEvidenceScore
                               : std::clamp(kFixedNoLeadScore + static_cast<int>(lead / kFixedNatsPerPoint), 0,
                                            kFixedCeiling);
    if (!sibling_told) {
        Candidate unsure = fixed_candidate(best, lead, std::min(score, kRivalledLengthScore));
        unsure.evidence += formatted(
            "; length %u lays the records out alike, told apart only by a last byte "
            "that never varies",
            sibling->length);
        out.push_back(unsure);
        out.push_back(fixed_candidate(*sibling, 0, out.back().score - kCloseAlternativeGap));
    } else if (!best.gaps_alike) {
        // RMS leaves block gaps as they were: one byte over and over. Gaps
        // of varied bytes are more likely records of a shorter length, which
        // the column model does not always tell from a longer one.
        Candidate unsure = fixed_candidate(best, lead, std::min(score, kRivalledLengthScore));
        unsure.evidence += "; its block gaps hold varied bytes";
        out.push_back(unsure);
    } else {
        Candidate candidate = fixed_candidate(best, lead, score);
        if (!evident) {
            candidate.evidence += "; no cheaper than no layout at all: no evidence of records";
        }
        out.push_back(candidate);
    }
    if (runner_up != nullptr && runner_up->length >= kShortestNamedLength) {
        out.push_back(fixed_candidate(*runner_up, 0, std::min(kFixedNoLeadScore, out.back().score)));
    }
}
