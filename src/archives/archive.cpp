#include "archives/archive.h"

#include "archives/saveset.h"
#include "archives/simh_tape.h"
#include "archives/zip.h"

struct ArchiveReaders {
    DiskBlocks disk;
    SavesetReader saveset;
    TapeReader tape;
    ZipReader zip;
    ArchiveOutcome refused;  // why archive_open failed, for a format that keeps no reader
};

Archive::Archive() = default;
Archive::~Archive() = default;
Archive::Archive(Archive&&) noexcept = default;
Archive& Archive::operator=(Archive&&) noexcept = default;

ArchiveFormat recognise_archive(int fd, std::uint64_t size, bool* failed) {
    // Savesets and tape images first: either may end with a zip member,
    // whose end record the search for a zip's would find. A zip's first
    // bytes are never a block header at a block's place.
    if (find_saveset_block_size(fd, size, failed) != 0) {
        return ArchiveFormat::kSaveset;
    }
    if (!*failed && looks_like_simh_tape(fd, size, failed)) {
        return ArchiveFormat::kSimhTape;
    }
    if (!*failed && looks_like_zip(fd, size, failed)) {
        return ArchiveFormat::kZip;
    }
    return ArchiveFormat::kNone;
}

const char* archive_format_name(ArchiveFormat format) {
    switch (format) {
        case ArchiveFormat::kSaveset: return "saveset";
        case ArchiveFormat::kSimhTape: return "tape image";
        case ArchiveFormat::kZip: return "zip";
        case ArchiveFormat::kNone: break;
    }
    return "none";
}

bool archive_open(Archive& archive, int fd, std::uint64_t size, ArchiveFormat format) {
    archive.format = format;
    archive.readers = std::make_unique<ArchiveReaders>();
    ArchiveReaders& readers = *archive.readers;
    switch (format) {
        case ArchiveFormat::kSaveset: {
            bool failed = false;
            readers.disk.fd = fd;
            readers.disk.size = size;
            readers.disk.block_size = find_saveset_block_size(fd, size, &failed);
            if (readers.disk.block_size == 0) {
                note_archive_problem(readers.refused, failed ? ArchiveStatus::kReadFailed : ArchiveStatus::kNotArchive,
                                     failed ? "read failed" : "no saveset block header");
                return false;
            }
            saveset_open(readers.saveset, disk_block_source(readers.disk));
            return true;
        }
        case ArchiveFormat::kSimhTape:
            tape_open(readers.tape, fd, size);
            return true;
        case ArchiveFormat::kZip:
            return zip_open(readers.zip, fd, size);
        case ArchiveFormat::kNone:
            break;
    }
    note_archive_problem(readers.refused, ArchiveStatus::kNotArchive, "not an archive");
    return false;
}

bool archive_next(Archive& archive, MemberHeader& header) {
    ArchiveReaders& readers = *archive.readers;
    switch (archive.format) {
        case ArchiveFormat::kSaveset: return saveset_next(readers.saveset, header);
        case ArchiveFormat::kSimhTape: return tape_next(readers.tape, header);
        case ArchiveFormat::kZip: return zip_next(readers.zip, header);
        case ArchiveFormat::kNone: break;
    }
    return false;
}

std::size_t archive_read(Archive& archive, unsigned char* buffer, std::size_t capacity) {
    ArchiveReaders& readers = *archive.readers;
    switch (archive.format) {
        case ArchiveFormat::kSaveset: return saveset_read(readers.saveset, buffer, capacity);
        case ArchiveFormat::kSimhTape: return tape_read(readers.tape, buffer, capacity);
        case ArchiveFormat::kZip: return zip_read(readers.zip, buffer, capacity);
        case ArchiveFormat::kNone: break;
    }
    return 0;
}

const MemberOutcome& archive_member_outcome(const Archive& archive) {
    const ArchiveReaders& readers = *archive.readers;
    switch (archive.format) {
        case ArchiveFormat::kSimhTape: return readers.tape.saveset.outcome;
        case ArchiveFormat::kZip: return readers.zip.outcome;
        default: return readers.saveset.outcome;
    }
}

const ArchiveOutcome& archive_outcome(const Archive& archive) {
    const ArchiveReaders& readers = *archive.readers;
    if (readers.refused.problems > 0) {
        return readers.refused;
    }
    switch (archive.format) {
        case ArchiveFormat::kSaveset: return readers.saveset.archive;
        case ArchiveFormat::kSimhTape: return readers.tape.archive;
        case ArchiveFormat::kZip: return readers.zip.archive;
        case ArchiveFormat::kNone: break;
    }
    return readers.refused;
}
