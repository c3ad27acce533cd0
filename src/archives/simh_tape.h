// The SIMH tape image reader: the image's records and markers, the ANSI
// labels around each tape file, and each tape file's records read as the
// blocks of one saveset. Its members are the savesets' members, each told
// which saveset it came from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archives/member.h"
#include "archives/saveset.h"

// One step through the image: a data record, a tape mark, or the end.
enum class TapeStep {
    kData,    // a record: its length, its bytes when they fit the limit asked for
    kMark,    // a tape mark
    kEnd,     // the end of medium marker, or the end of the image between records
    kCut,     // the image ends inside a record
    kBroken,  // a record whose two length words disagree; reading goes on after its leading length
    kFailed,  // a read failed
};

struct TapeRecord {
    std::uint64_t offset = 0;  // of its leading length word
    std::uint32_t length = 0;
    bool read_with_error = false;  // SIMH's bad-data class: the bytes are there, maybe wrong
    bool too_long = false;         // longer than the limit: its bytes were not read
    std::string problem;           // for kCut, kBroken, kFailed
};

struct TapeReader {
    int fd = -1;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;
    bool tape_ended = false;

    unsigned tape_file = 0;         // the current tape file, from 1
    std::string file_identifier;    // its HDR1 file identifier, blanks cut
    std::size_t hdr2_block_length = 0;
    std::uint64_t blocks_read = 0;  // its data records so far
    bool file_ended = false;        // its data's closing tape mark has been read

    // A data record read ahead: the first block of a tape file.
    bool held = false;
    bool held_bad = false;
    std::string held_problem;
    std::vector<unsigned char> held_block;

    bool in_saveset = false;
    SavesetReader saveset;
    std::vector<unsigned char> label;
    ArchiveOutcome archive;
};

// Reads the image's next record or marker at reader.offset into data
// (resized to its length when it is at most limit bytes), stepping over
// erase gaps and markers that carry nothing.
TapeStep read_tape_step(TapeReader& reader, std::vector<unsigned char>& data, std::size_t limit, TapeRecord& record);

// Whether the first record of the image is framed as SIMH frames one and
// holds an ANSI label or a saveset block header.
bool looks_like_simh_tape(int fd, std::uint64_t size, bool* failed);

void tape_open(TapeReader& reader, int fd, std::uint64_t size);
bool tape_next(TapeReader& reader, MemberHeader& header);
std::size_t tape_read(TapeReader& reader, unsigned char* buffer, std::size_t capacity);
