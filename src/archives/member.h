// What every archive reader says about a member: its header, the outcome of
// its delivery, and the outcome of the archive as a whole. archive.h says
// how a caller uses them.
#pragma once

#include <cstdint>
#include <string>

#include "attributes/file_attributes.h"

struct MemberHeader {
    std::string name;  // exactly as the archive stores it: "[DIR.SUB]NAME.EXT;3", "zip/readme.txt"
    // On a tape image: the saveset the member belongs to (its summary's name,
    // or its HDR1 file identifier when the summary is lost) and that tape
    // file's position on the tape, from 1. Empty and 0 elsewhere.
    std::string saveset;
    unsigned tape_file = 0;

    // Whether the archive holds the member's record attribute block; when it
    // does, attributes is that block, all 32 bytes as stored.
    bool has_attributes = false;
    FileAttributes attributes;
    // Its longwords, decoded high word first.
    std::uint32_t hiblk = 0;
    std::uint32_t efblk = 0;
    std::uint16_t ffb = 0;

    bool directory = false;    // a directory file (saveset) or entry (zip)
    bool alias_entry = false;  // a saveset FILE record behind an ALIAS record: a second entry of a file

    // The bytes the archive says the member's data come to (member_data_size
    // below). A claim of the archive: the bytes delivered may fall short, and
    // the outcome then says why.
    std::uint64_t size = 0;
    // Something wrong with the header that does not stop the delivery (a
    // zip VMS field whose CRC fails, so no attributes are taken from it).
    std::string note;
};

enum class MemberStatus {
    kComplete,    // every byte the archive holds for the member, and they check
    kDamaged,     // bytes up to delivered are good; past them the archive is damaged
    kTruncated,   // the archive ends inside the member
    kUnsupported, // stored in a form not read (a zip compression method, encryption)
    kReadFailed,  // the archive could not be read (errno told in the message)
};

struct MemberOutcome {
    MemberStatus status = MemberStatus::kComplete;
    std::uint64_t delivered = 0;  // bytes delivered
    std::uint32_t block = 0;      // the saveset block at fault, when one is (from 1)
    std::string message;          // for people: "saveset block 17: CRC mismatch, not repairable (...)"
};

enum class ArchiveStatus {
    kComplete,
    kDamaged,     // damage outside the members' data: a lost block between members, a lying directory
    kTruncated,   // the archive is cut short
    kNotArchive,  // the bytes are no archive of the format opened
    kReadFailed,
};

struct ArchiveOutcome {
    ArchiveStatus status = ArchiveStatus::kComplete;  // the first problem's kind
    std::string message;                              // the first problem, for people
    unsigned problems = 0;                            // how many were met
    unsigned blocks_rebuilt = 0;                      // saveset blocks rebuilt from their XOR group
};

// Records a problem of the archive; the first one sets the status and the
// message.
void note_archive_problem(ArchiveOutcome& outcome, ArchiveStatus status, std::string message);

// The bytes of a member with these attributes: a sequential file's up to
// its end of file, (efblk - 1) * 512 + ffb; a relative or indexed file's
// whole allocation, hiblk * 512, since their end of file does not bound
// their buckets. efblk = 0 records no end of file (RMS sets efblk to 1 or
// more when it closes a file): such a sequential file is taken whole too,
// hiblk * 512, as zip on VMS stores it.
std::uint64_t member_data_size(const FileAttributes& attributes);

// Fills hiblk, efblk and ffb from header.attributes.
void decode_attribute_words(MemberHeader& header);
