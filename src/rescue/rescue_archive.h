// Archives met by the rescue: a PATH, or a file of a tree, that is a BACKUP
// saveset, a SIMH tape image of savesets or a zip made on VMS (recognised by
// content) is read member by member, each member converted as a file of its
// own with the attributes its archive holds for it, below a folder named as
// the archive: KIT.A/DIR/SUB/NAME.EXT for [DIR.SUB]NAME.EXT;3. A member
// that is itself an archive is opened in turn, to kDeepestArchive levels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archives/archive.h"
#include "rescue/rescue_file.h"

// How many archives deep the rescue opens members: a zip of savesets is
// two.
inline constexpr int kDeepestArchive = 4;

// An archive open for reading: an entry's file, or a member extracted.
struct ArchiveSource {
    int fd = -1;
    std::uint64_t size = 0;
    ArchiveFormat format = ArchiveFormat::kNone;
    RowKey key;                       // the archive's own place: its entry, and its member places if nested
    std::vector<std::string> inside;  // the members it lies inside, itself last; empty for an entry
    std::string folder;               // its members' folder, relative to OUTDIR
    int depth = 1;                    // 1 for an entry's archive
};

// The archive format of the bytes of fd; kNone for a file.
ArchiveFormat archive_format_of(int fd, std::uint64_t size);

// Reads the archive's members and hands each, extracted, to the sink (or
// converts it at once when the sink is full); with settings.plan only lists
// them. An archive whose own outcome is not complete (damage between its
// members, a cut archive) or that holds no member gets a row of its own.
// False, with nothing emitted, when the bytes are no archive after all, or
// a zip without a single VMS field: the caller then converts the file.
bool rescue_archive(const ArchiveSource& source, const FileList& list, const RescueSettings& settings, Worker& worker,
                    RescueSink& sink);

// The job of member number index of the archive, its output placed below
// the archive's folder (output, relative to it, empty when its name is
// refused; note says why the output is not its name).
MemberJob member_job(const ArchiveSource& source, const MemberHeader& header, const std::string& output,
                     const std::string& note, std::size_t index);

// The row reason of a delivery that fell short.
RowReason delivery_reason(const MemberOutcome& delivery);
