// Reads whole archives the way a caller of archive.h does, for the tests:
// each member's header, its bytes and its outcome.
#pragma once

#include <string>
#include <vector>

#include "archive_builder.h"
#include "archives/archive.h"
#include "platform/raw_io.h"
#include "run_tool.h"

struct ReadMember {
    MemberHeader header;
    std::string data;
    MemberOutcome outcome;
};

struct ReadArchive {
    ArchiveFormat format = ArchiveFormat::kNone;
    bool opened = false;
    std::vector<ReadMember> members;
    ArchiveOutcome outcome;
};

// Reads the archive in the file at path, its data in pieces of piece bytes.
inline ReadArchive read_archive_file(const std::string& path, std::size_t piece = 4096) {
    ReadArchive result;
    int fd = -1;
    std::uint64_t size = 0;
    if (!open_raw_input(path.c_str(), &fd)) {
        return result;
    }
    file_kind(fd, &size);
    bool failed = false;
    result.format = recognise_archive(fd, size, &failed);
    Archive archive;
    result.opened = archive_open(archive, fd, size, result.format);
    if (result.opened) {
        MemberHeader header;
        std::vector<unsigned char> buffer(piece);
        while (archive_next(archive, header)) {
            ReadMember member;
            member.header = header;
            while (std::size_t got = archive_read(archive, buffer.data(), buffer.size())) {
                member.data.append(reinterpret_cast<const char*>(buffer.data()), got);
            }
            member.outcome = archive_member_outcome(archive);
            result.members.push_back(std::move(member));
        }
    }
    result.outcome = archive_outcome(archive);
    close_descriptor(fd);
    return result;
}

inline ReadArchive read_archive_bytes(const rms::Bytes& bytes, std::size_t piece = 4096) {
    TempDir dir;
    return read_archive_file(dir.write("archive", bytes), piece);
}
