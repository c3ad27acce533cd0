// The analyses behind the probe, one per family of layouts (each in a file
// of its own: indexed_, relative_, variable_, fixed_ and stream_evidence.cpp),
// and what they share: reading the file through a window, judging record
// content, and the scores of scores.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/blocks.h"
#include "formats/record_limits.h"
#include "formats/sequential_layout.h"
#include "platform/formatted.h"
#include "probe/probe.h"
#include "probe/scores.h"

// Bytes of the file at any offset: from the head when they lie in it, else
// through a buffer of kProbeHeadSize bytes refilled from the descriptor.
// A read that goes on from the bytes held fills the whole buffer; one
// elsewhere (a jump back, or ahead past them) reads at least jump_read
// bytes, which a walk that follows pointers sets to what it needs at a time.
struct ByteWindow {
    const ProbeInput* input = nullptr;
    std::vector<unsigned char> buffer;
    std::uint64_t start = 0;
    std::size_t filled = 0;
    std::uint64_t refills = 0;  // reads from the descriptor so far
    std::size_t jump_read = kProbeHeadSize;
};

// The length bytes at offset, valid until the next call; nullptr when they
// do not all lie in the file or cannot be read. length is at most
// kProbeHeadSize.
const unsigned char* window_bytes(ByteWindow& window, std::uint64_t offset, std::size_t length);

// What the records of a candidate hold: text (printable ASCII, tab, form
// feed and the DEC multinational letters) or binary.
struct ContentTally {
    std::uint64_t records = 0;       // non-empty records seen
    std::uint64_t text_records = 0;  // of which text
    std::uint64_t bytes = 0;
    std::uint64_t text_bytes = 0;
};

bool is_text_byte(unsigned char byte);
// A print-control byte: no carriage control (0), a count of line feeds, or a
// C0 control character with bit 7 set. Tab is left out: text lines begin
// with it often enough to pass for control.
bool is_print_control(unsigned char byte);
void tally_content(ContentTally& tally, const unsigned char* data, std::size_t size);
// Nine records in ten are text.
bool mostly_text(const ContentTally& tally);
// Nine records in ten are binary (or there are no records at all).
bool mostly_binary(const ContentTally& tally);

// Line ends are not in the bytes of a binary record: whether a file of them
// carries rat=cr is its writer's choice, and the answer goes by what real
// files do. Variable-length binary records carry rat=cr in nearly every file
// (form and procedure libraries, program data) but object modules, which
// carry none, as directory files do; fixed-length binary records are mostly
// images and libraries of whole blocks, which carry none.
inline constexpr std::uint8_t kBinaryVariableCarriageControl = kRatCarriageReturn;
inline constexpr std::uint8_t kObjectModuleCarriageControl = 0;
inline constexpr std::uint8_t kBinaryFixedCarriageControl = 0;

struct CarriageControl {
    std::uint8_t rat = 0;
    bool guessed = false;  // the records do not show it
};

// rat=cr for text records; for others binary_guess, as a guess.
CarriageControl carriage_control_for(const ContentTally& tally, std::uint8_t binary_guess);

// Whether keeping fixed-length records of this length inside blocks (rat=blk)
// moves a record that starts in the first size bytes, against packing them
// end to end: when it does not (a length that divides the block, a file too
// short to tell) both placements write the same records.
bool keeping_to_blocks_moves_records(std::uint64_t length, std::uint64_t size);

Candidate make_candidate(std::uint8_t org, std::uint8_t rfm, std::uint8_t rat, std::uint16_t lrl, int score);

void add_indexed_candidates(const ProbeInput& input, std::vector<Candidate>& out);
void add_relative_candidates(const ProbeInput& input, std::vector<Candidate>& out);
void add_variable_candidates(const ProbeInput& input, std::vector<Candidate>& out);
void add_fixed_candidates(const ProbeInput& input, std::vector<Candidate>& out);
void add_stream_candidates(const ProbeInput& input, std::vector<Candidate>& out);
