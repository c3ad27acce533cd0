// Evidence for variable-length sequential records: the chain of length
// words from the start of the file, which must land exactly on its end, and
// what the records it yields hold: text, binary, print control in front of
// text (rfm=vfc), or Fortran carriage control.
#include <algorithm>

#include "platform/little_endian.h"
#include "probe/evidence.h"

namespace {

// Non-empty records, at least this many, before a chain breaks make it a
// damaged file rather than a chance run of length words: the files of
// other layouts chain a handful.
constexpr std::uint64_t kDamagedChainRecords = 32;

bool is_fortran_control(unsigned char byte) {
    return byte == ' ' || byte == '0' || byte == '1' || byte == '+' || byte == '$';
}

struct ChainWalk {
    bool to_end = false;
    std::uint64_t stop = 0;  // offset where the chain broke
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
            at = (at + 2 + kBlockSize - 1) / kBlockSize * kBlockSize;
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
        if (at / kBlockSize != (at + 2 + length + (length & 1) - 1) / kBlockSize) {
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
    const std::uint64_t non_empty = walk.records - walk.empty;
    const bool mostly_empty = walk.empty * 2 > walk.records || non_empty == 0;
    const bool one_kind = mostly_text(walk.content) || mostly_binary(walk.content);
    const bool print_control = non_empty != 0 && walk.print_like * 10 >= non_empty * 9 && walk.print_active != 0 &&
                               mostly_text(walk.print_data);
    const bool damaged =
        !walk.to_end && non_empty >= kDamagedChainRecords && !mostly_empty && (one_kind || print_control);
    if (!walk.to_end && !damaged) {
        Candidate broken = make_candidate(kOrgSequential, kRfmVariable, 0, 0, kChainBrokenScore);
        broken.evidence =
            formatted("length-word chain breaks at offset %llu after %llu records",
                      static_cast<unsigned long long>(walk.stop), static_cast<unsigned long long>(walk.records));
        out.push_back(broken);
        return;
    }
    int score = kChainToEndScore;
    score += walk.records >= 3 ? kChainRecordsBonus : 0;
    // A lone record tells nothing of its kind: a length word that happens
    // to match the file's size is all there is.
    const bool lone = non_empty == 1;
    score += lone ? 0 : one_kind ? kChainContentBonus : -kChainContentBonus;
    score -= mostly_empty ? kChainMostlyEmptyPenalty : 0;
    const int penalty = damaged ? kDamagePenalty : 0;

    std::uint8_t rat = variable_carriage_control(walk);
    if (walk.markers != 0 && walk.crossing == 0) {
        rat |= kRatNoSpan;
    }
    const std::string reach =
        damaged ? formatted("breaks at offset %llu (damaged or cut short)", static_cast<unsigned long long>(walk.stop))
                : std::string("parses to the end of the file");
    const std::string counts = formatted(
        "length-word chain %s: %llu records (%llu empty), %llu block markers, %llu crossing blocks, longest %u, "
        "%llu of %llu text",
        reach.c_str(), static_cast<unsigned long long>(walk.records), static_cast<unsigned long long>(walk.empty),
        static_cast<unsigned long long>(walk.markers), static_cast<unsigned long long>(walk.crossing), walk.longest,
        static_cast<unsigned long long>(walk.content.text_records),
        static_cast<unsigned long long>(walk.content.records));

    if (print_control) {
        Candidate vfc = make_candidate(kOrgSequential, kRfmVfc, kRatPrint,
                                       static_cast<std::uint16_t>(std::max(walk.longest, std::uint16_t{2}) - 2),
                                       std::min(score + kPrintControlBonus, kPrintControlCeiling) - penalty);
        vfc.damaged = damaged;
        set_fsz(vfc.attributes, 2);
        vfc.evidence = counts + formatted("; %llu records begin with print control, the data behind it is text",
                                          static_cast<unsigned long long>(walk.print_like));
        out.push_back(vfc);
        score -= kPrintControlOverVariable;
    }
    Candidate var = make_candidate(kOrgSequential, kRfmVariable, rat, walk.longest, score - penalty);
    var.damaged = damaged;
    var.evidence = counts;
    out.push_back(var);
}
