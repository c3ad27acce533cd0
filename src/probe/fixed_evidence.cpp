// Evidence for fixed-length sequential records: every record length that
// fits the file is laid out by the placement rule and costed as a code for
// the bytes it covers; the length that codes them cheapest wins, by as much
// as it leads the next layout (or no layout at all).
#include <algorithm>
#include <array>
#include <cmath>
#include <math.h>

#include "probe/evidence.h"

namespace {

// The start of the record after one that ended at offset at. Without
// rat=blk RMS packs fixed-length records end to end, across blocks.
std::uint64_t place_record(std::uint64_t at, std::uint64_t) {
    return at;
}

// For a file larger than the head, where its records end is not examined.
constexpr int kEndUnknown = 2;

// Where records of this length, laid out by the placement rule, meet the end
// of the file: 1 the last record (and its pad) ends it, 0 it ends in a block
// gap, -1 it ends inside a record, which unrms reports as damage.
int layout_ending(std::uint64_t size, std::uint64_t length) {
    std::uint64_t at = 0;
    for (;;) {
        const std::uint64_t start = place_record(at, length);
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
}

// A column that tells nothing about its bytes is coded with the classes of
// the whole region instead of its own, at the cost of saying so: columns of
// random bytes then cost nothing extra, however many a layout has.
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
    for (const auto& column : model.columns) {
        double with_shared = 0;
        for (std::size_t group = 0; group < kClasses; ++group) {
            with_shared += column.counts[group] * shared[group];
        }
        cost += std::min(coding_cost(column, kClasses), with_shared) + std::log(2.0);
    }
    for (std::size_t group = 0; group < kClasses; ++group) {
        cost += coding_cost(model.within[group], kClassSizes[group]);
    }
    return cost;
}

// Codes the region [0, region) of the head as records of this length. The
// right length codes the file cheapest: a wrong one mixes the columns and
// puts data into the pad and gap bytes, and a run of several records gives
// each column fewer bytes to learn from.
FixedFit fit_fixed(const ProbeInput& input, std::uint64_t length, std::uint64_t region) {
    constexpr std::uint64_t kContentRecords = 64;
    FixedFit fit;
    fit.length = static_cast<std::uint16_t>(length);
    RegionModel model;
    // The pad byte of an odd length is coded as one more column: an odd
    // length and the even one above it then cost the same, and the pad byte
    // itself decides between them.
    model.columns.resize(length + (length & 1));
    std::uint64_t at = 0;
    for (;;) {
        const std::uint64_t start = place_record(at, length);
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
    fit.cost = region_cost(model);
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
        "record length %u: %llu records code the first %llu bytes in %.3f bits a byte, "
        "%.0f nats below the next best layout",
        fit.length, static_cast<unsigned long long>(fit.records), static_cast<unsigned long long>(fit.bytes),
        cost_per_byte(fit) / std::log(2.0), lead);
    text += fit.ending == kEndUnknown ? ", the end of the file not examined"
            : fit.ending == 1         ? ", the last record ends the file"
            : fit.ending == 0         ? ", the file ends in a block gap"
                                      : ", the file ends inside a record";
    return text;
}

Candidate fixed_candidate(const FixedFit& fit, double lead, int score) {
    Candidate candidate =
        make_candidate(kOrgSequential, kRfmFixed, carriage_control_for(fit.content), fit.length, score);
    candidate.evidence = describe_fit(fit, lead);
    return candidate;
}

// The lengths worth measuring: when the whole file is known, those whose
// last record ends it, else those that end it in a block gap; otherwise
// every length up to a few blocks and every multiple of a block.
std::vector<std::uint64_t> lengths_to_measure(const ProbeInput& input, std::uint64_t longest) {
    std::vector<std::uint64_t> lengths;
    if (input.head_size == input.size) {
        for (int wanted = 1; wanted >= 0 && lengths.empty(); --wanted) {
            for (std::uint64_t length = 1; length <= longest; ++length) {
                if (layout_ending(input.size, length) == wanted) {
                    lengths.push_back(length);
                }
            }
        }
    }
    if (lengths.empty()) {
        constexpr std::uint64_t kEveryLengthUpTo = 2048;
        for (std::uint64_t length = 1; length <= longest; ++length) {
            if (length <= kEveryLengthUpTo || length % kBlockSize == 0) {
                lengths.push_back(length);
            }
        }
    }
    return lengths;
}

}  // namespace

void add_fixed_candidates(const ProbeInput& input, std::vector<Candidate>& out) {
    const std::uint64_t longest = std::min<std::uint64_t>(kLongestRecord, input.head_size / 2);
    const std::vector<std::uint64_t> lengths = lengths_to_measure(input, longest);
    // Few lengths are measured on a large region, many on a small one.
    const std::uint64_t region = std::min<std::uint64_t>(input.head_size, lengths.size() <= 64 ? 1 << 16 : 1 << 13);
    std::vector<FixedFit> fits;
    for (std::uint64_t length : lengths) {
        FixedFit fit = fit_fixed(input, length, region);
        if (fit.records >= 2) {
            fit.ending = input.head_size == input.size ? layout_ending(input.size, length) : kEndUnknown;
            fits.push_back(fit);
        }
    }
    if (fits.empty()) {
        return;
    }
    const auto cheaper = [](const FixedFit& a, const FixedFit& b) { return cost_per_byte(a) < cost_per_byte(b); };
    std::sort(fits.begin(), fits.end(), cheaper);
    const double bytes = static_cast<double>(fits[0].bytes);
    // An odd length with its pad byte and the even length above it lay the
    // records out alike and cost the same; only the last byte of the even
    // reading tells them apart, and neither counts as the other's rival when
    // it does. A pad byte never varies, so a last byte that varies is data.
    // In text records a printable ASCII byte is data and any other byte is a
    // pad. Binary records may well end in a byte that never varies (the high
    // byte of a counter, a zero field): such a byte, unless a blank, is taken
    // for a pad, unsure.
    const auto length_of = [&](std::uint64_t length) {
        return std::find_if(fits.begin(), fits.end(), [&](const FixedFit& fit) { return fit.length == length; });
    };
    const std::uint64_t even = fits[0].length + (fits[0].length & 1);
    const auto even_fit = length_of(even);
    const auto odd_fit = length_of(even - 1);
    std::uint64_t sibling = 0;
    bool sibling_told = true;
    if (even_fit != fits.end() && odd_fit != fits.end()) {
        const int last = even_fit->last_byte;
        const bool text = mostly_text(odd_fit->content);
        const bool padded = last >= 0 && even_fit->records >= 3 && (text ? last < ' ' || last > '~' : last != ' ');
        sibling_told = last < 0 || text;
        std::iter_swap(fits.begin(), padded ? odd_fit : even_fit);
        sibling = padded ? even : even - 1;
    }
    const FixedFit& best = fits[0];
    const double best_cost =
        sibling != 0 ? std::min(cost_per_byte(best), cost_per_byte(*length_of(sibling))) : cost_per_byte(best);
    // The lead over the next layout, or over no layout, scaled to the bytes
    // the best one covers; a file ending inside a record costs it a little.
    double next = unstructured_cost(input, best.bytes) / bytes;
    const FixedFit* runner_up = nullptr;
    for (std::size_t i = 1; i < fits.size(); ++i) {
        if (fits[i].length != sibling && (runner_up == nullptr || cheaper(fits[i], *runner_up))) {
            runner_up = &fits[i];
        }
    }
    if (runner_up != nullptr) {
        next = std::min(next, cost_per_byte(*runner_up));
    }
    const double lead = (next - best_cost) * bytes - (best.ending == -1 ? kEndsInsideRecordNats : 0);
    const int score = std::clamp(kFixedNoLeadScore + static_cast<int>(lead / kFixedNatsPerPoint), 0, kFixedCeiling);
    if (!sibling_told) {
        Candidate unsure = fixed_candidate(best, lead, std::min(score, kRivalledLengthScore));
        unsure.evidence += formatted(
            "; length %llu lays the records out alike, told apart only by a last byte "
            "that never varies",
            static_cast<unsigned long long>(sibling));
        out.push_back(unsure);
        out.push_back(fixed_candidate(*length_of(sibling), 0, out.back().score - kCloseAlternativeGap));
    } else if (!best.gaps_alike) {
        // RMS leaves block gaps as they were: one byte over and over. Gaps
        // of varied bytes are more likely records of a shorter length, which
        // the column model does not always tell from a longer one.
        Candidate unsure = fixed_candidate(best, lead, std::min(score, kRivalledLengthScore));
        unsure.evidence += "; its block gaps hold varied bytes";
        out.push_back(unsure);
    } else {
        out.push_back(fixed_candidate(best, lead, score));
    }
    if (runner_up != nullptr) {
        out.push_back(fixed_candidate(*runner_up, 0, std::min(kFixedNoLeadScore, out.back().score)));
    }
}
