// Every score the probe gives a candidate, and the caps with which the
// stronger evidence of one analysis overrules another. A score means
// nothing alone: the ranking holds only while each cap stays below the
// score that imposes it and the confident readings lead their rivals by the
// confident margin. The static_asserts below state those relations; change
// a value and they say which others must follow.
#pragma once

// ---- Confidence
// A winner is confident when it scores at least kConfidentScore and every
// candidate less than kConfidentMargin behind it writes the same bytes
// (undefined, stream-LF and even fixed-length readings of a file copy it
// unchanged; rat=cr, ftn and prn write the same line ends): sure means the
// output is determined.
inline constexpr int kConfidentScore = 70;
inline constexpr int kConfidentMargin = 20;

// An alternative the bytes cannot rule out trails the reading chosen over
// it by this little: it keeps its place right behind, and the winner is
// not confident over it.
inline constexpr int kCloseAlternativeGap = 5;
static_assert(kCloseAlternativeGap < kConfidentMargin);

// The most a record length scores when another length fits the bytes as
// well: fixed-length records whose last byte or block gaps leave two
// lengths open, or indexed entries that more than one length walks.
inline constexpr int kRivalledLengthScore = 60;
static_assert(kRivalledLengthScore < kConfidentScore);

// A layout that breaks off before the end of the file (a length-word
// chain that stops after many records, a relative prolog whose eof lies
// beyond the file) is what a user holding a damaged file needs named: unrms
// copies the records before the damage and reports it. Its candidates
// score what the same evidence scores in a whole file, less
// kDamagePenalty: still ahead of readings that explain the bytes no
// better, never confident. (An indexed ring that breaks is scored on its
// own: kIndexedRingBrokenScore.)
inline constexpr int kDamagePenalty = 30;

// ---- Indexed files (indexed_evidence.cpp)
// Their carriage control is a guess (real files carry rat=cr on binary
// records and rat=none on text ones), so an indexed reading is never
// confident, however well its buckets walk; nor, then, is one whose walk
// stopped at its budget.
inline constexpr int kIndexedWalkedScore = 65;
static_assert(kIndexedWalkedScore < kConfidentScore);
// The other carriage control follows this far behind.
inline constexpr int kOtherCarriageControlGap = 10;
// Variable-length records of one length, against the fixed-length reading
// that enough records of one length make the choice.
inline constexpr int kOneLengthVariableGap = 20;
// The first data bucket lies outside the file: the descriptor alone.
inline constexpr int kIndexedNoDataScore = 60;
// A consistent descriptor whose ring of data buckets does not walk back to
// its start (damaged or cut short): the buckets before the break are read
// as a whole ring is, in the entry format that goes furthest, and score at
// most this; the variable-length reading of a ring that breaks at once
// scores this too, or kCloseAlternativeGap less when entries without a
// length field go further.
inline constexpr int kIndexedRingBrokenScore = 50;

// A consistent key descriptor is not found in other data by chance: any
// indexed reading caps the relative and sequential ones at
// kOverruledByIndexedCap. Every indexed analysis yields a candidate of at
// least kIndexedRingBrokenScore, so the broken ring's score is the
// threshold, and the cap lies below it.
inline constexpr int kOverruledByIndexedCap = 45;
static_assert(kIndexedWalkedScore >= kIndexedRingBrokenScore && kRivalledLengthScore >= kIndexedRingBrokenScore &&
              kIndexedNoDataScore >= kIndexedRingBrokenScore);
static_assert(kOverruledByIndexedCap < kIndexedRingBrokenScore);

// ---- Relative files (relative_evidence.cpp)
// One layout of buckets and cells lines up the control bytes, well ahead
// of any other that would write other records.
inline constexpr int kRelativeClearScore = 90;
// The best of two layouts that line up nearly as many cells, or of two
// readings of the same cells that the bytes do not tell apart, and the
// runner-up of them: a guess between the two.
inline constexpr int kRelativeCloseScore = 65;
inline constexpr int kRelativeCloseRunnerUpScore = 60;
// The runner-up of a clear winner.
inline constexpr int kRelativeDistantRunnerUpScore = 40;
// The prolog fits, yet no layout lines up the cells.
inline constexpr int kRelativeUnalignedScore = 30;
static_assert(kRelativeClearScore >= kConfidentScore &&
              kRelativeClearScore - kRelativeDistantRunnerUpScore >= kConfidentMargin);
static_assert(kRelativeCloseScore - kRelativeCloseRunnerUpScore < kConfidentMargin);

// Lined-up cells are not found in sequential data by chance: a relative
// reading of kRelativeCloseRunnerUpScore or more (the least that either of
// two competing layouts scores) caps the sequential ones at
// kOverruledByRelativeCap. Cells that do not line up overrule nothing.
inline constexpr int kOverruledByRelativeCap = 50;
static_assert(kRelativeCloseRunnerUpScore <= kRelativeCloseScore);
static_assert(kRelativeUnalignedScore < kRelativeCloseRunnerUpScore);
static_assert(kOverruledByRelativeCap < kRelativeCloseRunnerUpScore);
static_assert(kRelativeClearScore - kOverruledByRelativeCap >= kConfidentMargin);
// A clear layout in a file cut short still overrules the sequential
// readings, and is not confident.
static_assert(kRelativeClearScore - kDamagePenalty >= kRelativeCloseRunnerUpScore);
static_assert(kRelativeClearScore - kDamagePenalty < kConfidentScore);

// ---- Variable-length records (variable_evidence.cpp)
// A length-word chain that lands exactly on the end of the file; landing
// there by chance is rare, but zero bytes parse as empty records and a
// short file needs few steps. Three records or more add
// kChainRecordsBonus; records mostly of text or mostly binary add
// kChainContentBonus, a mix takes it away; a lone record, one length word
// that matches the size of the file, loses kLoneRecordPenalty (it may as
// well be the first bytes of other records, or of a vfc record's control);
// a chain of mostly empty records (zeros) loses kChainMostlyEmptyPenalty.
inline constexpr int kChainToEndScore = 70;
inline constexpr int kChainRecordsBonus = 10;
inline constexpr int kChainContentBonus = 10;
inline constexpr int kLoneRecordPenalty = 5;
inline constexpr int kChainMostlyEmptyPenalty = 60;
inline constexpr int kChainBestScore = kChainToEndScore + kChainRecordsBonus + kChainContentBonus;
static_assert(kChainToEndScore - kLoneRecordPenalty < kConfidentScore);
// Zeros are no records: not even the best chain of empty ones is confident.
static_assert(kChainBestScore - kChainMostlyEmptyPenalty < kConfidentScore);
// A chain that breaks before the end of the file after too few records to
// tell a damaged file from a chance run of length words. After enough
// records it is a damaged file: the chain scores as if it reached the end,
// less kDamagePenalty.
inline constexpr int kChainBrokenScore = 0;

// Print control in front of text: the vfc reading gains
// kPrintControlBonus (up to kPrintControlCeiling), the plain variable-length
// one loses kPrintControlOverVariable, so the vfc reading wins by the
// confident margin even at the ceiling.
inline constexpr int kPrintControlBonus = 10;
inline constexpr int kPrintControlCeiling = 95;
inline constexpr int kPrintControlOverVariable = 20;
static_assert(kPrintControlBonus + kPrintControlOverVariable >= kConfidentMargin);
static_assert(kPrintControlCeiling - (kChainBestScore - kPrintControlOverVariable) >= kConfidentMargin);
static_assert(kPrintControlCeiling - kDamagePenalty < kConfidentScore);

// A chain of records mostly of one kind of content (text or binary), not
// mostly empty, scores kChainOverrulesScore or more (before any
// kDamagePenalty: a damaged chain overrules as a whole one does). Such a
// chain explains a periodicity that the fixed-length analysis would read as
// records, and makes stream lines unlikely: it caps both at kOverruledLead
// below its own score.
inline constexpr int kChainOverrulesScore = kChainToEndScore + kChainContentBonus;
inline constexpr int kOverruledLead = 25;
static_assert(kChainToEndScore + kChainRecordsBonus - kChainContentBonus < kChainOverrulesScore);
static_assert(kChainBestScore - kChainMostlyEmptyPenalty < kChainOverrulesScore);
static_assert(kOverruledLead >= kConfidentMargin);

// ---- Fixed-length records (fixed_evidence.cpp)
// A length scores kFixedNoLeadScore plus a point for every
// kFixedNatsPerPoint nats by which it codes the file cheaper than the next
// layout, up to kFixedCeiling; the next layout scores no more than
// kFixedNoLeadScore. Confident from a lead of (kConfidentScore -
// kFixedNoLeadScore) * kFixedNatsPerPoint nats (100), where it also leads
// the next layout by the margin.
inline constexpr int kFixedNoLeadScore = 50;
inline constexpr double kFixedNatsPerPoint = 5;
inline constexpr int kFixedCeiling = 90;
static_assert(kConfidentScore - kFixedNoLeadScore >= kConfidentMargin);
static_assert(kFixedCeiling >= kConfidentScore);
// A layout under which the file ends inside a record loses this many nats
// of its lead: unrms would report the end as damage.
inline constexpr double kEndsInsideRecordNats = 50;
// A record length that codes the bytes no cheaper than no layout at all is
// no evidence (any length that divides the file lays them out): it scores
// kFixedNoEvidenceScore, below the reading of no record structure at all
// (kUndefinedScore, probe.cpp), which copies the file unchanged.
inline constexpr int kFixedNoEvidenceScore = 10;
// Fixed-length records kept inside blocks (rat=blk) are rare in real files
// (in the product kits surveyed, only directories carry rat=blk): that
// placement codes the bytes at this many nats more than packing would, so
// that the gaps it leaves must show in the bytes to win.
inline constexpr double kKeepToBlocksNats = 30;

// ---- Stream text (stream_evidence.cpp)
// Text broken into lines by line ends. Lines explain a periodicity that
// the fixed-length analysis would read as records: they cap it at
// kOverruledLead below their own score.
inline constexpr int kStreamScore = 80;
static_assert(kStreamScore >= kConfidentScore);
// RMS ends every record of a stream file with its terminator: text whose
// last line has none was cut short or written by other means (a fixed-length
// file of lines, a PC file ended by Ctrl-Z). Still the reading to name,
// never a confident one.
inline constexpr int kStreamUnterminatedScore = 60;
static_assert(kStreamUnterminatedScore < kConfidentScore);

// ---- When nothing else fits (probe.cpp)
// An undefined format, copied as it is; and for binary files of whole
// blocks, fixed records of one block, as VMS images have. Neither stands
// in the way of a confident winner.
inline constexpr int kUndefinedScore = 15;
inline constexpr int kWholeBlocksScore = 35;
static_assert(kUndefinedScore < kWholeBlocksScore && kConfidentScore - kWholeBlocksScore >= kConfidentMargin);
static_assert(kFixedNoEvidenceScore < kUndefinedScore);
// A length-word chain of mostly empty records lands on the end of the zeros
// of an image by chance: it falls behind the reading of whole blocks.
static_assert(kChainBestScore - kChainMostlyEmptyPenalty < kWholeBlocksScore);
