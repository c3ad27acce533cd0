// The archives VMS files come in: BACKUP savesets, SIMH tape images holding
// savesets, and zip archives made on VMS. One interface reads all three,
// member by member, through a descriptor the caller owns.
//
// How a caller uses it:
//
//   1. Recognise. recognise_archive(fd, size) looks at the content alone
//      (never the name): a zip's local header or end record, a saveset's
//      block header whose checksum holds (block 1's, or block 2's to 4's
//      where their numbers put them when block 1 is damaged), a tape
//      image's first record framed as SIMH frames one and holding an ANSI
//      label or a saveset block. kNone: treat the file as a file.
//
//   2. Open. archive_open(archive, fd, size, format) with a regular file's
//      descriptor and size; fd must stay open until the archive is done
//      with, and only positioned reads are made through it. False when
//      the bytes are not that format after all; archive_outcome says why.
//      One Archive per open archive, no state shared between them: a
//      member that is itself an archive (a saveset inside a zip) is the
//      caller's to write to a temporary file and open again, to the depth
//      it allows.
//
//   3. Iterate. archive_next(archive, header) fills the next member's
//      header and returns true; false at the end of the archive. Calling it
//      again before the member's data are read skips them.
//        header.name: exactly as stored: "[DIR.SUB]NAME.EXT;3" from a
//          saveset, "zip/readme.txt" from a zip. Map it to an output path
//          with member_names.h; never use it as a path.
//        header.saveset, tape_file: which saveset of a tape it came from.
//          Two savesets on one tape may hold members of the same name.
//        header.has_attributes, attributes: the 32-byte record attribute
//          block, whole, as the archive holds it (a zip member without a
//          VMS field has none: it is a file like any in a tree).
//          hiblk, efblk, ffb: its longwords, high word first.
//        header.directory: a directory file or entry.
//        header.size: the bytes the delivery should come to: a sequential
//          member cut at its end of file, (efblk - 1) * 512 + ffb; a
//          relative or indexed member every block the archive holds, its
//          whole allocation (its end of file does not bound its buckets);
//          efblk = 0 (no end of file recorded) the whole allocation too.
//          It is the archive's claim: never allocate by it.
//        header.note: what was wrong with the header itself, if anything.
//
//   4. Read. archive_read(archive, buffer, capacity) copies the next piece
//      of the member's bytes into the caller's buffer and returns its
//      length, 0 once the delivery is over. The member is never held whole
//      in memory: a saveset is read an XOR group at a time (at most 101
//      blocks of at most 64 KB), a zip member 64 KB of compressed data at a
//      time. The bytes are the member's raw blocks (record length words and
//      all), ready for the copiers with header.attributes.
//
//   5. Outcomes. archive_member_outcome once archive_read returned 0:
//        kComplete: every byte, checked (saveset block CRCs and checksums,
//          zip CRC-32).
//        kDamaged: the bytes delivered (outcome.delivered) are good, the
//          rest is lost: "saveset block 17: CRC mismatch, not repairable (2
//          bad blocks in its XOR group)"; outcome.block names the saveset
//          block. A member whose FILE record went with a lost block is
//          reported under the name the next block's header gives it, with
//          nothing delivered. A zip member whose data fail their CRC is
//          damaged after all its bytes were delivered.
//        kTruncated: the archive ends inside the member.
//        kUnsupported: a zip compression method other than stored and
//          deflated, or an encrypted member.
//        kReadFailed: a read failed.
//      A bad saveset block whose XOR group holds no other bad block is
//      rebuilt byte for byte, and the members it touches come out whole
//      (archive_outcome(...).blocks_rebuilt counts them).
//      archive_outcome, at any time and after the last member: damage
//      outside the members' data (a lost block between members, the end
//      record of a zip that lies about its directory, tape labels whose
//      counts disagree), or a cut archive; the first problem's kind and
//      message, and how many there were.
//
// What is refused, and why: blocks that fail their checks are never read as
// records (their records could say anything); a VBN record that does not
// continue its file, holds no whole blocks, or lies past the file's
// allocation ends the member's delivery there; a FILE record whose
// attribute entries run past it gives a member with nothing delivered; a
// record that runs past its block loses the rest of that block; a zip
// member whose data overlap another's, run into the directory, or are
// stored with two different sizes is delivered not at all; a deflate stream
// that makes more than the header's size is stopped there. Each is a
// message, never a crash, and nothing read is ever larger than the
// archive's own bytes justify.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "archives/member.h"

enum class ArchiveFormat { kNone, kSaveset, kSimhTape, kZip };

// The format of the bytes of fd, from its content; kNone when it is none of
// them or the file cannot be read (*failed is then set, errno telling why).
ArchiveFormat recognise_archive(int fd, std::uint64_t size, bool* failed);

// "saveset", "tape image", "zip".
const char* archive_format_name(ArchiveFormat format);

// The open format's reader, defined with the readers.
struct ArchiveReaders;

struct Archive {
    ArchiveFormat format = ArchiveFormat::kNone;
    std::unique_ptr<ArchiveReaders> readers;

    Archive();
    ~Archive();
    Archive(Archive&&) noexcept;
    Archive& operator=(Archive&&) noexcept;
};

bool archive_open(Archive& archive, int fd, std::uint64_t size, ArchiveFormat format);
bool archive_next(Archive& archive, MemberHeader& header);
std::size_t archive_read(Archive& archive, unsigned char* buffer, std::size_t capacity);
const MemberOutcome& archive_member_outcome(const Archive& archive);
const ArchiveOutcome& archive_outcome(const Archive& archive);
