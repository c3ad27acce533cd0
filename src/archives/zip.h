// The zip reader: members listed by the central directory (or, in a zip cut
// before its directory, found from their local headers one after another),
// stored or deflated, each member's data CRC-32 checked; the record
// attributes of a member zip on VMS made come from its PKWARE VMS field
// (0x000C) or Info-ZIP's "IM" fields (0x4D49).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

#include "archives/member.h"
#include "formats/zip_layout.h"
#include "platform/little_endian.h"

// Calls visit(id, data, size) for each extra field of a header's extra
// area; false when a field runs past the area.
template <typename Visit>
bool walk_zip_extra(const unsigned char* extra, std::size_t size, Visit visit);

// The PKWARE VMS field's data (after its id and size): its CRC checked, its
// RECATTR and UCHAR entries taken.
struct VmsFieldContent {
    bool crc_ok = false;
    bool has_attributes = false;
    FileAttributes attributes;
    std::uint32_t characteristics = 0;
    std::string problem;  // an entry runs past the field
};
VmsFieldContent decode_vms_field(const unsigned char* data, std::size_t size);

// The attributes of a member's "IM" fields (all of its extra area): the FAT
// built from its XABFHC, or from its FAB alone (no end of file then).
// False when it has no IM field that gives them; problem says why when one
// was there but could not be read.
bool decode_im_fields(const unsigned char* extra, std::size_t size, FileAttributes& attributes, std::string& problem);

// Decodes an IM structure stored with the given method into out (length
// bytes); false when its data do not make one.
bool expand_im_structure(std::uint16_t method, const unsigned char* data, std::size_t size, std::size_t length,
                         std::vector<unsigned char>& out);

// One member as a header (central, or local in a cut zip) describes it.
struct ZipEntry {
    std::string name;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressed = 0;
    std::uint64_t uncompressed = 0;
    std::uint64_t local_offset = 0;
    std::vector<unsigned char> extra;
};

struct ZipPlace {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t entry = 0;
};

// zlib's state points back at its z_stream, which must therefore never
// move: it lives on the heap.
struct ZipInflater {
    std::unique_ptr<z_stream> stream;
    bool open = false;
    ZipInflater() = default;
    ZipInflater(const ZipInflater&) = delete;
    ZipInflater& operator=(const ZipInflater&) = delete;
    ~ZipInflater();
};

struct ZipReader {
    int fd = -1;
    std::uint64_t size = 0;
    bool from_directory = true;  // false: no central directory, the local headers are walked
    std::uint64_t directory_offset = 0;
    std::uint64_t directory_end = 0;
    std::uint64_t entries = 0;   // in the directory
    std::uint64_t shift = 0;     // bytes in front of the zip (a self-extracting program)
    std::uint64_t next_header = 0;
    std::uint64_t index = 0;
    std::vector<std::uint64_t> refused;  // entries whose data overlap an earlier entry's, sorted

    bool active = false;
    MemberHeader header;
    MemberOutcome outcome;
    ZipEntry entry;
    std::uint64_t data_offset = 0;
    std::uint64_t compressed_left = 0;
    std::uint64_t produced = 0;
    std::uint64_t wanted = 0;
    unsigned long crc = 0;
    ZipInflater inflater;
    std::vector<unsigned char> input;
    std::vector<unsigned char> scratch;
    ArchiveOutcome archive;
};

// Whether fd begins with a local header or ends with an end of central
// directory record.
bool looks_like_zip(int fd, std::uint64_t size, bool* failed);

// Reads the end records and checks the directory; false (reader.archive
// saying why) when fd holds no zip.
bool zip_open(ZipReader& reader, int fd, std::uint64_t size);
bool zip_next(ZipReader& reader, MemberHeader& header);
std::size_t zip_read(ZipReader& reader, unsigned char* buffer, std::size_t capacity);

template <typename Visit>
bool walk_zip_extra(const unsigned char* extra, std::size_t size, Visit visit) {
    std::size_t at = 0;
    while (at + kZipExtraHeader <= size) {
        const std::uint16_t id = le16(extra + at);
        const std::size_t length = le16(extra + at + 2);
        if (length > size - at - kZipExtraHeader) {
            return false;
        }
        visit(id, extra + at + kZipExtraHeader, length);
        at += kZipExtraHeader + length;
    }
    return true;
}
