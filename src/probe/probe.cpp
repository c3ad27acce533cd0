#include "probe/probe.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include "attributes/attribute_listing.h"
#include "attributes/run_options.h"
#include "platform/raw_io.h"
#include "probe/evidence.h"

const unsigned char* window_bytes(ByteWindow& window, std::uint64_t offset, std::size_t length) {
    const ProbeInput& input = *window.input;
    if (length > kProbeHeadSize || offset > input.size || length > input.size - offset) {
        return nullptr;
    }
    if (offset + length <= input.head_size) {
        return input.head + offset;
    }
    if (input.fd < 0) {
        return nullptr;
    }
    if (offset >= window.start && offset + length <= window.start + window.filled) {
        return window.buffer.data() + (offset - window.start);
    }
    window.buffer.resize(kProbeHeadSize);
    const bool goes_on = window.filled != 0 && offset >= window.start && offset <= window.start + window.filled;
    const std::size_t least = goes_on ? kProbeHeadSize : std::clamp(window.jump_read, length, kProbeHeadSize);
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(least, input.size - offset));
    std::size_t got = 0;
    if (!read_full_at(input.fd, window.buffer.data(), wanted, offset, &got) || got < length) {
        window.filled = 0;
        return nullptr;
    }
    window.start = offset;
    window.filled = got;
    ++window.refills;
    if (input.reads != nullptr) {
        ++*input.reads;
    }
    return window.buffer.data();
}

bool is_print_control(unsigned char byte) {
    return (byte < 0x20 && byte != '\t') || (byte >= 0x80 && byte < 0xA0);
}

bool is_text_byte(unsigned char byte) {
    return (byte >= 0x20 && byte < 0x7F) || byte == '\t' || byte == '\f' || (byte >= 0xA0 && byte < 0xFF);
}

void tally_content(ContentTally& tally, const unsigned char* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    std::size_t text = 0;
    for (std::size_t i = 0; i < size; ++i) {
        text += is_text_byte(data[i]) ? 1 : 0;
    }
    ++tally.records;
    tally.bytes += size;
    tally.text_bytes += text;
    // A stray escape sequence or two does not make a line binary.
    if (text * 20 >= size * 19) {
        ++tally.text_records;
    }
}

bool mostly_text(const ContentTally& tally) {
    return tally.records != 0 && tally.text_records * 10 >= tally.records * 9;
}

bool mostly_binary(const ContentTally& tally) {
    return tally.text_records * 10 <= tally.records;
}

CarriageControl carriage_control_for(const ContentTally& tally, std::uint8_t binary_guess) {
    if (mostly_text(tally)) {
        return {kRatCarriageReturn, false};
    }
    return {binary_guess, true};
}

Candidate make_candidate(std::uint8_t org, std::uint8_t rfm, std::uint8_t rat, std::uint16_t lrl, int score) {
    Candidate candidate;
    set_org(candidate.attributes, org);
    set_rfm(candidate.attributes, rfm);
    set_rat(candidate.attributes, rat);
    set_lrl(candidate.attributes, lrl);
    candidate.score = std::clamp(score, 0, 100);
    return candidate;
}

std::string assignment_line(const Candidate& candidate) {
    std::string line = attribute_listing(candidate.attributes);
    line.pop_back();  // the listing's line end
    return line;
}

namespace {

bool is_kind(const Candidate& candidate, std::uint8_t org, std::uint8_t rfm) {
    return org_of(candidate.attributes) == org && rfm_of(candidate.attributes) == rfm;
}

// The best score of the selected candidates; with whole, before any damage
// penalty: what their evidence scores in a whole file.
int best_score(const std::vector<Candidate>& found, auto&& select, bool whole = false) {
    int best = -1;
    for (const Candidate& candidate : found) {
        if (select(candidate)) {
            best = std::max(best, candidate.score + (whole && candidate.damaged ? kDamagePenalty : 0));
        }
    }
    return best;
}

void cap_scores(std::vector<Candidate>& found, auto&& select, int cap) {
    for (Candidate& candidate : found) {
        if (select(candidate) && candidate.score > cap) {
            candidate.score = cap;
            candidate.evidence += "; outweighed by stronger structure";
        }
    }
}

// Some evidence is specific enough to overrule another analysis: a
// consistent key descriptor or lined-up relative cells are not found in
// sequential data by chance, and a length-word chain that lands on the end
// of the file (or breaks off after many records, in a damaged file), or
// text broken into lines, explains a periodicity that the fixed-length
// analysis would read as records. scores.h holds the caps and the scores
// they must stay below.
void weigh_against_each_other(std::vector<Candidate>& found) {
    const auto indexed = [](const Candidate& c) { return org_of(c.attributes) == kOrgIndexed; };
    const auto relative = [](const Candidate& c) { return org_of(c.attributes) == kOrgRelative; };
    const auto sequential = [](const Candidate& c) { return org_of(c.attributes) == kOrgSequential; };
    const auto chain = [](const Candidate& c) {
        return is_kind(c, kOrgSequential, kRfmVariable) || is_kind(c, kOrgSequential, kRfmVfc);
    };
    const auto stream = [](const Candidate& c) {
        return is_kind(c, kOrgSequential, kRfmStreamLf) || is_kind(c, kOrgSequential, kRfmStream) ||
               is_kind(c, kOrgSequential, kRfmStreamCr);
    };
    const auto fixed = [](const Candidate& c) { return is_kind(c, kOrgSequential, kRfmFixed); };
    if (best_score(found, indexed) >= kIndexedRingBrokenScore) {
        cap_scores(found, relative, kOverruledByIndexedCap);
        cap_scores(found, sequential, kOverruledByIndexedCap);
    }
    if (best_score(found, relative) >= kRelativeCloseRunnerUpScore) {
        cap_scores(found, sequential, kOverruledByRelativeCap);
    }
    const int chained = best_score(found, chain);
    if (best_score(found, chain, true) >= kChainOverrulesScore) {
        cap_scores(found, fixed, chained - kOverruledLead);
        cap_scores(found, stream, chained - kOverruledLead);
    }
    const int lines = best_score(found, stream);
    if (lines >= 0) {
        cap_scores(found, fixed, lines - kOverruledLead);
    }
}

// When nothing else fits: an undefined format, copied as it is; and for
// binary files of whole blocks fixed records of one block, as VMS images
// have, which copy the same bytes.
void add_fallback_candidates(const ProbeInput& input, std::vector<Candidate>& found) {
    Candidate undefined = make_candidate(kOrgSequential, kRfmUndefined, 0, 0, kUndefinedScore);
    undefined.evidence = input.size == 0 ? "the file is empty: every layout yields nothing"
                                         : "no record structure: the bytes are copied as they are";
    found.push_back(undefined);
    ContentTally content;
    tally_content(content, input.head, input.head_size);
    if (input.size != 0 && input.size % kBlockSize == 0 && !mostly_text(content)) {
        Candidate blocks =
            make_candidate(kOrgSequential, kRfmFixed, 0, static_cast<std::uint16_t>(kBlockSize), kWholeBlocksScore);
        blocks.evidence = "binary data in whole blocks, as in images: one record per block copies every byte";
        found.push_back(blocks);
    }
}

// Whether unrms -a with these attributes writes a line end after each
// record (rat=cr, ftn or prn), by the rule the copy applies.
bool writes_line_ends(const FileAttributes& attributes) {
    RunOptions options;
    settle_newline_mode(options, rat_of(attributes));
    return line_end_after_record(options);
}

// Whether the copy writes the file's bytes unchanged: undefined and
// stream-LF files are copied as they are, and so are fixed-length records of
// an even length (no pad bytes) that divides the file, packed and with no
// line ends.
bool copies_unchanged(const FileAttributes& attributes, std::uint64_t size) {
    if (org_of(attributes) != kOrgSequential) {
        return false;
    }
    const std::uint8_t rfm = rfm_of(attributes);
    const std::uint16_t lrl = lrl_of(attributes);
    return rfm == kRfmUndefined || rfm == kRfmStreamLf ||
           (rfm == kRfmFixed && lrl != 0 && lrl % 2 == 0 && size % lrl == 0 && !writes_line_ends(attributes) &&
            ((rat_of(attributes) & kRatNoSpan) == 0 || !keeping_to_blocks_moves_records(lrl, size)));
}

// Whether two candidates make unrms write the same bytes from this file.
// Beside copies of the file unchanged: the same organisation, record format
// and cell or control sizes, a line end after each record or none (rat=cr,
// ftn and prn write the same), the same record length where it places the
// records (fixed-length records, relative cells), and for sequential
// fixed-length records the same placement where keeping them inside blocks
// moves one.
bool writes_same_bytes(const Candidate& a, const Candidate& b, std::uint64_t size) {
    const FileAttributes& x = a.attributes;
    const FileAttributes& y = b.attributes;
    if (copies_unchanged(x, size) && copies_unchanged(y, size)) {
        return true;
    }
    const std::uint8_t org = org_of(x);
    const std::uint8_t rfm = rfm_of(x);
    if (org != org_of(y) || rfm != rfm_of(y) || fsz_of(x) != fsz_of(y) || bks_of(x) != bks_of(y) ||
        writes_line_ends(x) != writes_line_ends(y)) {
        return false;
    }
    const bool places_records = org == kOrgRelative || rfm == kRfmFixed;
    if (places_records && lrl_of(x) != lrl_of(y)) {
        return false;
    }
    const bool sequential_fixed = org == kOrgSequential && rfm == kRfmFixed;
    return !sequential_fixed || ((rat_of(x) ^ rat_of(y)) & kRatNoSpan) == 0 ||
           !keeping_to_blocks_moves_records(lrl_of(x), size);
}

}  // namespace

ProbeVerdict probe(const ProbeInput& input) {
    std::vector<Candidate> found;
    add_indexed_candidates(input, found);
    // Every indexed reading outranks the capped sequential ones: the
    // costliest analysis, of fixed-length records, would change nothing.
    const bool indexed = best_score(found, [](const Candidate& c) { return org_of(c.attributes) == kOrgIndexed; }) >=
                         kIndexedRingBrokenScore;
    add_relative_candidates(input, found);
    add_variable_candidates(input, found);
    if (!indexed) {
        add_fixed_candidates(input, found);
    }
    add_stream_candidates(input, found);
    add_fallback_candidates(input, found);
    weigh_against_each_other(found);

    std::stable_sort(found.begin(), found.end(),
                     [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
    ProbeVerdict verdict;
    for (Candidate& candidate : found) {
        const std::string line = assignment_line(candidate);
        const bool seen = std::any_of(verdict.candidates.begin(), verdict.candidates.end(),
                                      [&](const Candidate& kept) { return assignment_line(kept) == line; });
        if (!seen) {
            verdict.candidates.push_back(std::move(candidate));
        }
    }
    // Sure means the output is determined: the winner's evidence is strong,
    // and every rival close enough to be right writes what it writes.
    const Candidate& winner = verdict.candidates[0];
    verdict.confident =
        winner.score >= kConfidentScore &&
        std::all_of(verdict.candidates.begin() + 1, verdict.candidates.end(), [&](const Candidate& rival) {
            return winner.score - rival.score >= kConfidentMargin || writes_same_bytes(winner, rival, input.size);
        });
    verdict.line_ends_guessed = winner.line_ends_guessed;
    return verdict;
}

ProbeOpen probe_path(const char* path, ProbeVerdict& verdict) {
    int fd = -1;
    if (!open_raw_input(path, &fd)) {
        return ProbeOpen::kFailed;
    }
    const ProbeOpen result = probe_descriptor(fd, verdict);
    const int error_number = errno;
    close_descriptor(fd);
    errno = error_number;
    return result;
}

ProbeOpen probe_descriptor(int fd, ProbeVerdict& verdict) {
    std::uint64_t size = 0;
    const FileKind kind = file_kind(fd, &size);
    if (kind != FileKind::kRegular) {
        return kind == FileKind::kOther ? ProbeOpen::kNotRegular : ProbeOpen::kFailed;
    }
    ProbeInput input;
    input.fd = fd;
    input.size = size;
    input.head_size = static_cast<std::size_t>(std::min<std::uint64_t>(input.size, kProbeHeadSize));
    auto head = std::make_unique_for_overwrite<unsigned char[]>(input.head_size + 1);
    std::size_t got = 0;
    const bool read = read_full_at(fd, head.get(), input.head_size, 0, &got);
    if (!read || got != input.head_size) {
        if (read) {
            errno = EIO;
        }
        return ProbeOpen::kFailed;
    }
    input.head = head.get();
    verdict = probe(input);
    return ProbeOpen::kProbed;
}
