// Recovers the lost record attributes of an RMS file from its bytes.
//
// Every layout the copiers know is tried against the file: indexed and
// relative prologs, the length-word chain of variable-length records (plain
// and with print control), fixed-length records of every length, and stream
// text. Each that fits becomes a candidate with a score from 0 to 100 and a
// line of evidence; the best candidate's assignments are what unrms -a reads.
// A layout that breaks off before the end of the file (damage, a file cut
// short) is still named, so that unrms copies the records before the
// damage, but never confidently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "attributes/file_attributes.h"
#include "probe/scores.h"

// The file under examination: its first head_size bytes in memory, the rest
// (if any) read on demand from fd. With fd -1 the head is the whole file.
struct ProbeInput {
    const unsigned char* head = nullptr;
    std::size_t head_size = 0;
    int fd = -1;
    std::uint64_t size = 0;
    std::uint64_t* reads = nullptr;  // when set, counts the reads from fd
};

// How much of a file is held in memory for the analyses that need random
// access to its content; the length-word chain and the bucket walks read the
// whole file through a window of the same size.
inline constexpr std::size_t kProbeHeadSize = 1 << 20;

struct Candidate {
    FileAttributes attributes;
    int score = 0;         // 0..100
    std::string evidence;  // one line, no line end
    // The layout breaks off before the end of the file: the score is
    // kDamagePenalty below what its evidence scores in a whole file.
    bool damaged = false;
    // The records do not show their carriage control (binary records, or
    // any indexed records): rat is what real files of the kind carry.
    bool line_ends_guessed = false;
};

struct ProbeVerdict {
    std::vector<Candidate> candidates;  // best first; each assignment line once
    // The output is determined: the winner scores at least kConfidentScore,
    // and every candidate less than kConfidentMargin behind it writes the
    // same bytes (probe/scores.h).
    bool confident = false;
    // The winner's carriage control is a guess (Candidate::line_ends_guessed):
    // its records may be sure while their line ends are not.
    bool line_ends_guessed = false;
};

// Examines the file and ranks every candidate found. There is always at
// least one: an undefined-format sequential file when nothing else fits.
ProbeVerdict probe(const ProbeInput& input);

// The assignments of a candidate, as "org=seq rfm=var rat=cr lrl=28".
std::string assignment_line(const Candidate& candidate);

enum class ProbeOpen {
    kProbed,      // the verdict is set
    kNotRegular,  // a directory, a device, a pipe...
    kFailed,      // the file cannot be read; errno says why
};

// Opens, examines and closes the named file.
ProbeOpen probe_path(const char* path, ProbeVerdict& verdict);

// Examines the file open at fd, reading it at absolute offsets only: its
// position is left alone, so a copier can read it next. The descriptor
// stays open.
ProbeOpen probe_descriptor(int fd, ProbeVerdict& verdict);
