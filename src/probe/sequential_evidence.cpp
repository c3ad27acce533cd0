// Evidence for sequential files: the length-word chain of variable-length
// records (plain, Fortran and print control), fixed-length records, and
// stream text.
#include <algorithm>
#include <array>
#include <cstdio>

#include "platform/little_endian.h"
#include "probe/evidence.h"

namespace {

constexpr std::uint64_t kBlock = 512;
constexpr std::uint16_t kEndOfBlockMarker = 0xFFFF;
constexpr std::uint16_t kLongestRecord = 32767;

std::string format(const char* pattern, auto... values) {
    char line[256];
    std::snprintf(line, sizeof line, pattern, values...);
    return line;
}

// A print-control byte: no carriage control (0), a count of line feeds, or a
// C0 control character with bit 7 set. Tab is left out: text lines begin
// with it often enough to pass for control.
bool is_print_control(unsigned char byte) {
    return (byte < 0x20 && byte != '\t') || (byte >= 0x80 && byte < 0xA0);
}

bool is_fortran_control(unsigned char byte) {
    return byte == ' ' || byte == '0' || byte == '1' || byte == '+' || byte == '$';
}

struct ChainWalk {
    bool to_end = false;
    std::uint64_t stop = 0;    // offset where the chain broke
    std::uint64_t records = 0;
    std::uint64_t empty = 0;
    std::uint64_t markers = 0;
    std::uint64_t crossing = 0;  // records that cross a block boundary
    std::uint16_t longest = 0;
    ContentTally content;
    // Print control: non-empty records whose first two bytes pass for it,
    // those with a control other than 0 0, and the data behind them.
    std::uint64_t print_like = 0;
    std::uint64_t print_active = 0;
    ContentTally print_data;
    // Fortran control: records that begin with one, and with one that moves
    // the paper (0, 1, +).
    std::uint64_t fortran_like = 0;
    std::uint64_t fortran_active = 0;
};

ChainWalk walk_chain(const ProbeInput& input) {
    ChainWalk walk;
    ByteWindow window{&input, {}, 0, 0};
    std::uint64_t at = 0;
    while (input.size - at >= 2) {
        const unsigned char* word = window_bytes(window, at, 2);
        if (word == nullptr) {
            break;
        }
        const std::uint16_t length = le16(word);
        if (length == kEndOfBlockMarker) {
            ++walk.markers;
            at = (at + 2 + kBlock - 1) / kBlock * kBlock;
            at = std::min(at, input.size);
            continue;
        }
        const unsigned char* data = window_bytes(window, at + 2, length);
        if (length > kLongestRecord || data == nullptr) {
            walk.stop = at;
            return walk;
        }
        ++walk.records;
        walk.longest = std::max(walk.longest, length);
        if (at / kBlock != (at + 2 + length + (length & 1) - 1) / kBlock) {
            ++walk.crossing;
        }
        if (length == 0) {
            ++walk.empty;
        } else {
            tally_content(walk.content, data, length);
            if (length >= 2 && is_print_control(data[0]) && is_print_control(data[1])) {
                ++walk.print_like;
                walk.print_active += (data[0] | data[1]) != 0 ? 1 : 0;
                tally_content(walk.print_data, data + 2, length - 2u);
            }
            if (is_fortran_control(data[0])) {
                ++walk.fortran_like;
                walk.fortran_active += data[0] != ' ' && data[0] != '$' ? 1 : 0;
            }
        }
        at += 2u + length + (length & 1u);
    }
    // A lone byte after the last record is read as no length word at all.
    walk.to_end = input.size - std::min(at, input.size) <= 1;
    walk.stop = at;
    return walk;
}

std::uint8_t variable_carriage_control(const ChainWalk& walk) {
    const std::uint64_t non_empty = walk.records - walk.empty;
    if (!mostly_text(walk.content)) {
        return 0;
    }
    if (non_empty >= 3 && walk.fortran_like == non_empty && walk.fortran_active != 0) {
        return kRatFortran;
    }
    return kRatCarriageReturn;
}

}  // namespace

void add_variable_candidates(const ProbeInput& input, std::vector<Candidate>& out) {
    if (input.size == 0) {
        return;
    }
    const ChainWalk walk = walk_chain(input);
    if (!walk.to_end) {
        Candidate broken = make_candidate(kOrgSequential, kRfmVariable, 0, 0, 0);
        broken.evidence = format("length-word chain breaks at offset %llu after %llu records",
                                 static_cast<unsigned long long>(walk.stop),
                                 static_cast<unsigned long long>(walk.records));
        out.push_back(broken);
        return;
    }
    const std::uint64_t non_empty = walk.records - walk.empty;
    // Landing exactly on the end of the file by chance is rare, but zero
    // bytes parse as empty records, and a short file needs few steps.
    int score = 70;
    score += walk.records >= 3 ? 10 : 0;
    score += mostly_text(walk.content) || mostly_binary(walk.content) ? 10 : -10;
    score -= walk.empty * 2 > walk.records || non_empty == 0 ? 45 : 0;

    std::uint8_t rat = variable_carriage_control(walk);
    if (walk.markers != 0 && walk.crossing == 0) {
        rat |= kRatNoSpan;
    }
    const std::string counts =
        format("length-word chain parses to the end of the file: %llu records (%llu empty), %llu block markers, "
               "%llu crossing blocks, longest %u, %llu of %llu text",
               static_cast<unsigned long long>(walk.records), static_cast<unsigned long long>(walk.empty),
               static_cast<unsigned long long>(walk.markers), static_cast<unsigned long long>(walk.crossing),
               walk.longest, static_cast<unsigned long long>(walk.content.text_records),
               static_cast<unsigned long long>(walk.content.records));

    const bool print_control = non_empty != 0 && walk.print_like * 10 >= non_empty * 9 && walk.print_active != 0 &&
                               mostly_text(walk.print_data);
    if (print_control) {
        Candidate vfc = make_candidate(kOrgSequential, kRfmVfc, kRatPrint,
                                       static_cast<std::uint16_t>(std::max(walk.longest, std::uint16_t{2}) - 2),
                                       std::min(score + 10, 95));
        set_fsz(vfc.attributes, 2);
        vfc.evidence = counts + format("; %llu records begin with print control, the data behind it is text",
                                       static_cast<unsigned long long>(walk.print_like));
        out.push_back(vfc);
        score -= 20;
    }
    Candidate var = make_candidate(kOrgSequential, kRfmVariable, rat, walk.longest, std::min(score, 90));
    var.evidence = counts;
    out.push_back(var);
}

namespace {

// The start of the record after one that ended at offset at, by the
// placement rule: where it fits whole into the rest of the block, else at the
// next block boundary.
std::uint64_t place_record(std::uint64_t at, std::uint64_t length) {
    const std::uint64_t in_block = at % kBlock;
    return in_block != 0 && in_block + length > kBlock ? at - in_block + kBlock : at;
}

struct FixedFit {
    std::uint16_t length = 0;
    double value = 0;    // how much better than the typical length the records line up
    double similarity = 0;
    double filler = -1;  // share of pad and gap bytes of one value; -1: none seen
    int ending = 0;      // 1 the file ends with a record, 0 in a gap, -1 inside a record
    ContentTally content;
    std::uint64_t records = 0;
};

// Judges one record length on the head: consecutive records compared column
// by column, the pad and gap bytes the placement rule leaves, and where the
// layout meets the end of the file.
FixedFit fit_fixed(const ProbeInput& input, std::uint16_t length) {
    constexpr std::uint64_t kCompareBudget = 2048;
    constexpr std::uint64_t kFillerSpan = 8 * kBlock;
    constexpr std::uint64_t kContentRecords = 64;
    FixedFit fit;
    fit.length = length;
    const std::uint64_t end = input.head_size;
    std::array<std::uint64_t, 256> filler_counts{};
    std::uint64_t filler_total = 0;
    std::uint64_t compared = 0;
    std::uint64_t equal = 0;
    std::uint64_t at = 0;
    std::uint64_t previous = 0;
    for (;;) {
        const std::uint64_t start = place_record(at, length);
        if (start < kFillerSpan) {
            for (std::uint64_t i = at; i < start && i < end; ++i) {
                ++filler_counts[input.head[i]];
                ++filler_total;
            }
        }
        if (start + length > end) {
            at = start;
            break;
        }
        if (fit.records != 0 && compared < kCompareBudget) {
            const std::uint64_t span = std::min<std::uint64_t>(length, kCompareBudget - compared);
            for (std::uint64_t i = 0; i < span; ++i) {
                equal += input.head[previous + i] == input.head[start + i] ? 1 : 0;
            }
            compared += span;
        }
        if (fit.records < kContentRecords) {
            tally_content(fit.content, input.head + start, length);
        }
        ++fit.records;
        previous = start;
        at = start + length;
        if ((length & 1) != 0 && at < end) {
            if (at < kFillerSpan) {
                ++filler_counts[input.head[at]];
                ++filler_total;
            }
            ++at;
        }
        if (compared >= kCompareBudget && at >= kFillerSpan && fit.records >= kContentRecords) {
            break;
        }
    }
    fit.similarity = compared == 0 ? 0 : static_cast<double>(equal) / static_cast<double>(compared);
    if (filler_total >= 4) {
        fit.filler = static_cast<double>(*std::max_element(filler_counts.begin(), filler_counts.end())) /
                     static_cast<double>(filler_total);
    }
    if (input.head_size == input.size) {
        if (at == end) {
            fit.ending = 1;
        } else {
            const std::uint64_t next = place_record(at, length);
            fit.ending = next >= end ? 0 : -1;
        }
    }
    return fit;
}

// The value of a fit beyond what any length gets: agreement between records
// above the typical agreement at any distance, pad and gap bytes more uniform
// than the file's commonest byte, and a layout that ends with the file.
double excess_value(const FixedFit& fit, double typical_similarity, double commonest_share) {
    double value = fit.similarity - typical_similarity;
    if (fit.filler >= 0) {
        value += 0.6 * std::max(0.0, fit.filler - commonest_share);
    }
    return value + (fit.ending == 1 ? 0.1 : fit.ending == -1 ? -0.15 : 0);
}

double commonest_byte_share(const ProbeInput& input) {
    std::array<std::uint64_t, 256> counts{};
    for (std::size_t i = 0; i < input.head_size; ++i) {
        ++counts[input.head[i]];
    }
    return static_cast<double>(*std::max_element(counts.begin(), counts.end())) / static_cast<double>(input.head_size);
}

std::string describe_fit(const FixedFit& fit) {
    std::string text = format("record length %u: %llu records, consecutive records agree in %.0f%% of their bytes",
                              fit.length, static_cast<unsigned long long>(fit.records), fit.similarity * 100);
    if (fit.filler >= 0) {
        text += format(", pad and gap bytes %.0f%% one value", fit.filler * 100);
    }
    text += fit.ending == 1 ? ", the last record ends the file"
            : fit.ending == 0 ? ", the file ends in a block gap"
                              : ", the file ends inside a record";
    return text;
}

Candidate fixed_candidate(const FixedFit& fit, int score) {
    Candidate candidate = make_candidate(kOrgSequential, kRfmFixed, carriage_control_for(fit.content), fit.length, score);
    candidate.evidence = describe_fit(fit);
    return candidate;
}

}  // namespace

void add_fixed_candidates(const ProbeInput& input, std::vector<Candidate>& out) {
    const std::uint64_t longest = std::min<std::uint64_t>(kLongestRecord, input.head_size / 2);
    std::vector<FixedFit> fits;
    for (std::uint64_t length = 1; length <= longest; ++length) {
        FixedFit fit = fit_fixed(input, static_cast<std::uint16_t>(length));
        if (fit.records >= 2) {
            fits.push_back(fit);
        }
    }
    if (fits.empty()) {
        return;
    }
    std::vector<double> similarities;
    for (const FixedFit& fit : fits) {
        similarities.push_back(fit.similarity);
    }
    std::nth_element(similarities.begin(), similarities.begin() + similarities.size() / 2, similarities.end());
    const double typical = similarities[similarities.size() / 2];
    const double commonest = commonest_byte_share(input);
    for (FixedFit& fit : fits) {
        fit.value = excess_value(fit, typical, commonest);
    }
    FixedFit best;
    for (const FixedFit& fit : fits) {
        if (fit.value > best.value) {
            best = fit;
        }
    }
    if (best.length == 0) {
        return;
    }
    // A multiple of the true length lines up about as well as the length
    // itself: of the divisors that do nearly as well, the shortest wins.
    const double best_value = best.value;
    for (const FixedFit& fit : fits) {
        if (fit.length < best.length && best.length % fit.length == 0 && fit.value >= best_value - 0.03) {
            best = fit;
            break;
        }
    }
    FixedFit runner_up;
    for (const FixedFit& fit : fits) {
        if (fit.length % best.length != 0 && fit.value > runner_up.value) {
            runner_up = fit;
        }
    }
    const auto score_of = [](const FixedFit& fit) { return std::min(90, static_cast<int>(20 + 100 * fit.value)); };
    out.push_back(fixed_candidate(best, score_of(best)));
    if (runner_up.length != 0) {
        out.push_back(fixed_candidate(runner_up, std::min(score_of(runner_up), score_of(best))));
    }
}

void add_stream_candidates(const ProbeInput& input, std::vector<Candidate>& out) {
    if (input.head_size == 0) {
        return;
    }
    std::uint64_t other = 0, line_feeds = 0, returns = 0, pairs = 0;
    std::uint64_t line = 0, longest = 0;
    for (std::size_t i = 0; i < input.head_size; ++i) {
        const unsigned char byte = input.head[i];
        if (byte == '\n' || byte == '\r') {
            line_feeds += byte == '\n' ? 1 : 0;
            returns += byte == '\r' ? 1 : 0;
            pairs += byte == '\n' && i != 0 && input.head[i - 1] == '\r' ? 1 : 0;
            longest = std::max(longest, line);
            line = 0;
            continue;
        }
        ++line;
        other += is_text_byte(byte) ? 0 : 1;
    }
    const std::uint64_t lines = line_feeds + returns - pairs;
    if (lines == 0 || other * 100 > input.head_size) {
        return;
    }
    std::uint8_t rfm = kRfmStreamLf;
    const char* kind = "line feeds";
    if (pairs * 10 >= line_feeds * 9 && line_feeds != 0) {
        rfm = kRfmStream;
        kind = "carriage return and line feed pairs";
    } else if (line_feeds == 0) {
        rfm = kRfmStreamCr;
        kind = "carriage returns";
    }
    const std::uint16_t lrl = rfm == kRfmStreamLf ? 0 : static_cast<std::uint16_t>(std::min<std::uint64_t>(longest, kLongestRecord));
    Candidate stream = make_candidate(kOrgSequential, rfm, kRatCarriageReturn, lrl, 80);
    stream.evidence = format("text of %llu lines ended by %s, %llu bytes that are not text",
                             static_cast<unsigned long long>(lines), kind, static_cast<unsigned long long>(other));
    out.push_back(stream);
}
