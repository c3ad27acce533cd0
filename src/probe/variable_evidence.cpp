// Evidence for variable-length sequential records: the chain of length
// words from the start of the file, which must land exactly on its end, and
// what the records it yields hold: text, binary (an object module among
// them), print control in front of text (rfm=vfc), or Fortran carriage
// control.
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

bool is_symbol_character(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
           byte == '$' || byte == '_' || byte == '.';
}

// The module header that opens a VAX object module: record type 0 (header),
// subtype 0 (module header), the structure level, the longest record size in
// a word, then the module's name as a counted string of symbol characters
// (at most 31).
constexpr std::size_t kVaxModuleNameOffset = 5;
constexpr std::size_t kLongestSymbol = 31;

bool is_vax_module_header(const unsigned char* data, std::size_t length) {
    if (length <= kVaxModuleNameOffset || data[0] != 0 || data[1] != 0) {
        return false;
    }
    const std::size_t name = data[kVaxModuleNameOffset];
    if (name == 0 || name > kLongestSymbol || kVaxModuleNameOffset + 1 + name > length) {
        return false;
    }
    return std::all_of(data + kVaxModuleNameOffset + 1, data + kVaxModuleNameOffset + 1 + name, is_symbol_character);
}

// Every record of an Alpha object module begins with its type in a word
// (the module header, type 8, comes first) and its own length in the next.
constexpr std::uint16_t kAlphaModuleHeader = 8;
constexpr std::size_t kAlphaRecordHead = 4;

// A record of a Files-11 directory file (rfm=var rat=blk, no carriage
// control): the version limit in a word, a flags byte, the name's length in
// a byte, the name (padded to an even length), then one entry per version:
// the version in a word and the file id in three.
constexpr std::size_t kDirectoryNameOffset = 4;
constexpr std::size_t kDirectoryEntrySize = 8;

bool is_directory_record(const unsigned char* data, std::size_t length) {
    if (length <= kDirectoryNameOffset) {
        return false;
    }
    const std::size_t name = data[kDirectoryNameOffset - 1];
    const std::size_t entries = kDirectoryNameOffset + name + (name & 1);
    return name != 0 && entries < length && (length - entries) % kDirectoryEntrySize == 0 &&
           std::all_of(data + kDirectoryNameOffset, data + kDirectoryNameOffset + name,
                       [](unsigned char byte) { return byte > ' ' && byte < 0x7F; });
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
    // The first non-empty record is the module header of a VAX object
    // module; every non-empty record has the head of an Alpha one, or is a
    // directory record.
    bool vax_object = false;
    bool alpha_object = true;
    bool directory = true;
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
            const bool first = walk.content.records == 0;
            walk.vax_object = first ? is_vax_module_header(data, length) : walk.vax_object;
            walk.alpha_object = walk.alpha_object && length >= kAlphaRecordHead && le16(data + 2) == length &&
                                (!first || le16(data) == kAlphaModuleHeader);
            walk.directory = walk.directory && is_directory_record(data, length);
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

CarriageControl variable_carriage_control(const ChainWalk& walk) {
    const std::uint64_t non_empty = walk.records - walk.empty;
    const bool no_line_ends = non_empty != 0 && (walk.vax_object || walk.alpha_object || walk.directory);
    const CarriageControl carriage = carriage_control_for(
        walk.content, no_line_ends ? kObjectModuleCarriageControl : kBinaryVariableCarriageControl);
    if (!carriage.guessed && non_empty >= 3 && walk.fortran_like == non_empty && walk.fortran_active != 0) {
        return {kRatFortran, false};
    }
    return carriage;
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
    score += lone ? -kLoneRecordPenalty : one_kind ? kChainContentBonus : -kChainContentBonus;
    score -= mostly_empty ? kChainMostlyEmptyPenalty : 0;
    const int penalty = damaged ? kDamagePenalty : 0;

    const CarriageControl carriage = variable_carriage_control(walk);
    std::uint8_t rat = carriage.rat;
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
    var.line_ends_guessed = carriage.guessed;
    var.evidence = counts + (!carriage.guessed   ? ""
                             : carriage.rat == 0 ? "; an object module or a directory, whose records carry no "
                                                   "carriage control"
                                                 : "; binary records, which mostly carry rat=cr");
    out.push_back(var);
}
