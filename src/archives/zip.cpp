#include "archives/zip.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "formats/record_attribute_block.h"
#include "platform/formatted.h"
#include "platform/raw_io.h"

namespace {

constexpr std::size_t kInputChunk = 1 << 16;
constexpr std::size_t kLargestInflateStep = 1 << 30;

using ull = unsigned long long;

// Reads size bytes at offset; false when the read fails (*failed set) or
// the file ends first.
bool read_exact(int fd, void* into, std::size_t size, std::uint64_t offset, bool* failed) {
    std::size_t got = 0;
    if (!read_full_at(fd, into, size, offset, &got)) {
        *failed = true;
        return false;
    }
    return got == size;
}

struct EndRecord {
    std::uint64_t offset = 0;  // of the end record, or of the zip64 end record when there is one
    std::uint64_t entries = 0;
    std::uint64_t directory_size = 0;
    std::uint64_t directory_offset = 0;
};

// The end of central directory record: the last signature in the file's
// last 64 KB whose comment ends within the file; the zip64 end record in
// its place when a locator points at one.
bool find_end_record(int fd, std::uint64_t size, EndRecord& end, bool* failed) {
    const std::size_t window = static_cast<std::size_t>(std::min<std::uint64_t>(size, kZipEndSize + kZipLongestComment));
    if (window < kZipEndSize) {
        return false;
    }
    std::vector<unsigned char> tail(window);
    if (!read_exact(fd, tail.data(), window, size - window, failed)) {
        return false;
    }
    for (std::size_t at = window - kZipEndSize + 1; at-- > 0;) {
        const unsigned char* record = tail.data() + at;
        if (le32(record) != kZipEndSignature || at + kZipEndSize + le16(record + kZipEndCommentLength) > window) {
            continue;
        }
        end.offset = size - window + at;
        end.entries = le16(record + kZipEndEntries);
        end.directory_size = le32(record + kZipEndDirectorySize);
        end.directory_offset = le32(record + kZipEndDirectoryOffset);
        unsigned char locator[kZip64LocatorSize];
        unsigned char zip64[kZip64EndSize];
        if (end.offset >= kZip64LocatorSize &&
            read_exact(fd, locator, sizeof locator, end.offset - kZip64LocatorSize, failed) &&
            le32(locator) == kZip64LocatorSignature) {
            const std::uint64_t at64 = le64(locator + kZip64LocatorEndOffset);
            if (at64 < end.offset && read_exact(fd, zip64, sizeof zip64, at64, failed) &&
                le32(zip64) == kZip64EndSignature) {
                end.offset = at64;
                end.entries = le64(zip64 + kZip64EndEntries);
                end.directory_size = le64(zip64 + kZip64EndDirectorySize);
                end.directory_offset = le64(zip64 + kZip64EndDirectoryOffset);
            }
        }
        return !*failed;
    }
    return false;
}

// Replaces the 32-bit sizes and offset that say 0xFFFFFFFF with the zip64
// field's values, which come in this order.
void apply_zip64(ZipEntry& entry, bool uncompressed, bool compressed, bool offset) {
    walk_zip_extra(entry.extra.data(), entry.extra.size(), [&](std::uint16_t id, const unsigned char* data, std::size_t size) {
        if (id != kZipExtraZip64) {
            return;
        }
        std::size_t at = 0;
        for (auto [wanted, field] : {std::pair{uncompressed, &entry.uncompressed}, std::pair{compressed, &entry.compressed},
                                     std::pair{offset, &entry.local_offset}}) {
            if (wanted && at + 8 <= size) {
                *field = le64(data + at);
                at += 8;
            }
        }
    });
}

// Reads the central header at offset into entry; its size in *length.
bool read_central(ZipReader& reader, std::uint64_t offset, ZipEntry& entry, std::uint64_t* length, bool* failed) {
    unsigned char fixed[kZipCentralSize];
    if (offset + kZipCentralSize > reader.directory_end ||
        !read_exact(reader.fd, fixed, sizeof fixed, offset, failed) || le32(fixed) != kZipCentralSignature) {
        return false;
    }
    const std::size_t name_length = le16(fixed + kZipCentralNameLength);
    const std::size_t extra_length = le16(fixed + kZipCentralExtraLength);
    const std::size_t comment_length = le16(fixed + kZipCentralCommentLength);
    *length = kZipCentralSize + name_length + extra_length + comment_length;
    if (offset + *length > reader.directory_end) {
        return false;
    }
    std::vector<unsigned char> variable(name_length + extra_length);
    if (!read_exact(reader.fd, variable.data(), variable.size(), offset + kZipCentralSize, failed)) {
        return false;
    }
    entry.name.assign(reinterpret_cast<const char*>(variable.data()), name_length);
    entry.extra.assign(variable.begin() + static_cast<std::ptrdiff_t>(name_length), variable.end());
    entry.flags = le16(fixed + kZipCentralFlags);
    entry.method = le16(fixed + kZipCentralMethod);
    entry.crc = le32(fixed + kZipCentralCrc);
    entry.compressed = le32(fixed + kZipCentralCompressed);
    entry.uncompressed = le32(fixed + kZipCentralUncompressed);
    entry.local_offset = le32(fixed + kZipCentralLocalOffset);
    apply_zip64(entry, entry.uncompressed == kZip32Escape, entry.compressed == kZip32Escape,
                entry.local_offset == kZip32Escape);
    entry.local_offset += reader.shift;
    return true;
}

// Reads the whole directory once: the entries it really holds, and those
// whose data would overlap an earlier one's (each member's data must be
// its own, or a few bytes could stand for any number of members).
void scan_directory(ZipReader& reader, bool* failed) {
    std::vector<ZipPlace> places;
    std::uint64_t at = reader.directory_offset;
    ZipEntry entry;
    std::uint64_t length = 0;
    while (places.size() < reader.entries && read_central(reader, at, entry, &length, failed)) {
        places.push_back({entry.local_offset, entry.local_offset + kZipLocalSize + entry.compressed, places.size()});
        at += length;
    }
    if (places.size() != reader.entries) {
        note_archive_problem(reader.archive, ArchiveStatus::kDamaged,
                             formatted("zip directory: its end record counts %llu members, it holds %zu",
                                       static_cast<ull>(reader.entries), places.size()));
        reader.entries = places.size();
    }
    std::sort(places.begin(), places.end(), [](const ZipPlace& a, const ZipPlace& b) { return a.start < b.start; });
    std::uint64_t reached = 0;
    for (const ZipPlace& place : places) {
        if (place.start < reached) {
            reader.refused.push_back(place.entry);
        }
        reached = std::max(reached, place.end);
    }
    std::sort(reader.refused.begin(), reader.refused.end());
}

void end_member(ZipReader& reader, MemberStatus status, std::string message) {
    reader.active = false;
    reader.outcome.status = status;
    reader.outcome.message = std::move(message);
    if (reader.inflater.open) {
        inflateEnd(reader.inflater.stream.get());
        reader.inflater.open = false;
    }
}

// The member's data have all been read: they must come to the stated size
// and CRC.
void finish_data(ZipReader& reader) {
    if (reader.produced != reader.entry.uncompressed) {
        end_member(reader, MemberStatus::kDamaged,
                   formatted("zip member data come to %llu bytes where its header says %llu",
                             static_cast<ull>(reader.produced), static_cast<ull>(reader.entry.uncompressed)));
    } else if (static_cast<std::uint32_t>(reader.crc) != reader.entry.crc) {
        end_member(reader, MemberStatus::kDamaged,
                   formatted("zip member data CRC-32 %08x where its header says %08x",
                             static_cast<unsigned>(reader.crc), reader.entry.crc));
    } else {
        end_member(reader, MemberStatus::kComplete, "");
    }
}

// Reads up to size compressed (or stored) bytes of the member into into;
// false when the file ends first, the member then ended.
bool read_compressed(ZipReader& reader, unsigned char* into, std::size_t size) {
    bool failed = false;
    std::size_t got = 0;
    if (!read_full_at(reader.fd, into, size, reader.data_offset, &got)) {
        failed = true;
    }
    if (failed || got != size) {
        end_member(reader, failed ? MemberStatus::kReadFailed : MemberStatus::kTruncated,
                   failed ? formatted("read: %s", std::strerror(errno))
                          : formatted("the zip ends inside the member's data, at offset %llu",
                                      static_cast<ull>(reader.data_offset + got)));
        return false;
    }
    reader.data_offset += size;
    reader.compressed_left -= size;
    return true;
}

// Makes the next bytes of the member's data in into (room bytes at most);
// *made the count. Ends the member when its data end.
void produce(ZipReader& reader, unsigned char* into, std::size_t room, std::size_t* made) {
    *made = 0;
    room = std::min(room, kLargestInflateStep);
    if (reader.entry.method == kZipStored) {
        if (reader.compressed_left == 0) {
            finish_data(reader);
            return;
        }
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(room, reader.compressed_left));
        if (!read_compressed(reader, into, count)) {
            return;
        }
        *made = count;
    } else {
        z_stream& stream = *reader.inflater.stream;
        if (stream.avail_in == 0 && reader.compressed_left > 0) {
            const std::size_t count =
                static_cast<std::size_t>(std::min<std::uint64_t>(reader.input.size(), reader.compressed_left));
            if (!read_compressed(reader, reader.input.data(), count)) {
                return;
            }
            stream.next_in = reader.input.data();
            stream.avail_in = static_cast<uInt>(count);
        }
        stream.next_out = into;
        stream.avail_out = static_cast<uInt>(room);
        const int status = inflate(&stream, Z_NO_FLUSH);
        *made = room - stream.avail_out;
        reader.crc = crc32(reader.crc, into, static_cast<uInt>(*made));
        reader.produced += *made;
        if (reader.produced > reader.entry.uncompressed) {
            end_member(reader, MemberStatus::kDamaged,
                       formatted("zip member data inflate past the %llu bytes its header says",
                                 static_cast<ull>(reader.entry.uncompressed)));
        } else if (status == Z_STREAM_END) {
            finish_data(reader);
        } else if (status != Z_OK && !(status == Z_BUF_ERROR && (stream.avail_in > 0 || reader.compressed_left > 0))) {
            end_member(reader, MemberStatus::kDamaged,
                       status == Z_BUF_ERROR
                           ? std::string("zip member's deflate data end before their stream does")
                           : formatted("zip member's deflate data are broken after %llu bytes (%s)",
                                       static_cast<ull>(reader.produced), stream.msg != nullptr ? stream.msg : "zlib"));
        }
        return;
    }
    reader.crc = crc32(reader.crc, into, static_cast<uInt>(*made));
    reader.produced += *made;
}

// The attributes of the member's VMS fields: the PKWARE field (its CRC
// checked) first, then Info-ZIP's IM fields.
void take_attributes(ZipReader& reader, const std::vector<unsigned char>& extra) {
    bool found = false;
    walk_zip_extra(extra.data(), extra.size(), [&](std::uint16_t id, const unsigned char* data, std::size_t size) {
        if (found || (id != kZipExtraVms && id != kZipExtraVmsOld)) {
            return;
        }
        found = true;
        const VmsFieldContent field = decode_vms_field(data, size);
        if (!field.crc_ok) {
            reader.header.note = "its VMS extra field fails its CRC: no attributes are taken from it";
        } else if (!field.problem.empty()) {
            reader.header.note = field.problem;
        } else if (field.has_attributes) {
            reader.header.has_attributes = true;
            reader.header.attributes = field.attributes;
        }
    });
    if (!found) {
        std::string problem;
        reader.header.has_attributes = decode_im_fields(extra.data(), extra.size(), reader.header.attributes, problem);
        if (!problem.empty()) {
            reader.header.note = problem;
        }
    }
}

// Reads the local header in front of the member's data; the data offset
// and its extra area in *extra. Ends the member when there is none.
bool read_local_header(ZipReader& reader, std::vector<unsigned char>* extra) {
    bool failed = false;
    unsigned char local[kZipLocalSize];
    const std::uint64_t at = reader.entry.local_offset;
    if (!read_exact(reader.fd, local, sizeof local, at, &failed) || le32(local) != kZipLocalSignature) {
        end_member(reader, failed ? MemberStatus::kReadFailed : MemberStatus::kDamaged,
                   formatted("zip member has no local header at offset %llu", static_cast<ull>(at)));
        return false;
    }
    const std::size_t name_length = le16(local + kZipLocalNameLength);
    extra->resize(le16(local + kZipLocalExtraLength));
    if (!read_exact(reader.fd, extra->data(), extra->size(), at + kZipLocalSize + name_length, &failed)) {
        end_member(reader, failed ? MemberStatus::kReadFailed : MemberStatus::kTruncated,
                   "the zip ends inside the member's local header");
        return false;
    }
    reader.data_offset = at + kZipLocalSize + name_length + extra->size();
    return true;
}

// The next entry of a zip without a directory: its local header at
// reader.next_header. False at the end of the walk.
bool read_next_local(ZipReader& reader) {
    bool failed = false;
    unsigned char local[kZipLocalSize];
    const std::uint64_t at = reader.next_header;
    if (!read_exact(reader.fd, local, sizeof local, at, &failed) || le32(local) != kZipLocalSignature) {
        return false;
    }
    ZipEntry& entry = reader.entry;
    const std::size_t name_length = le16(local + kZipLocalNameLength);
    entry.extra.resize(le16(local + kZipLocalExtraLength));
    entry.name.resize(name_length);
    if (!read_exact(reader.fd, entry.name.data(), name_length, at + kZipLocalSize, &failed) ||
        !read_exact(reader.fd, entry.extra.data(), entry.extra.size(), at + kZipLocalSize + name_length, &failed)) {
        note_archive_problem(reader.archive, ArchiveStatus::kTruncated, "the zip ends inside a local header");
        return false;
    }
    entry.flags = le16(local + kZipLocalFlags);
    entry.method = le16(local + kZipLocalMethod);
    entry.crc = le32(local + kZipLocalCrc);
    entry.compressed = le32(local + kZipLocalCompressed);
    entry.uncompressed = le32(local + kZipLocalUncompressed);
    entry.local_offset = at;
    apply_zip64(entry, entry.uncompressed == kZip32Escape, entry.compressed == kZip32Escape, false);
    if ((entry.flags & kZipFlagDataDescriptor) != 0) {
        note_archive_problem(reader.archive, ArchiveStatus::kTruncated,
                             formatted("zip member %s gives its sizes after its data: without the directory the "
                                       "members after it cannot be found",
                                       entry.name.c_str()));
        return false;
    }
    reader.next_header = at + kZipLocalSize + name_length + entry.extra.size() + entry.compressed;
    return true;
}

}  // namespace

ZipInflater::~ZipInflater() {
    if (open) {
        inflateEnd(stream.get());
    }
}

VmsFieldContent decode_vms_field(const unsigned char* data, std::size_t size) {
    VmsFieldContent field;
    if (size < kVmsFieldEntries) {
        field.problem = "its VMS extra field is too short";
        return field;
    }
    field.crc_ok = crc32(crc32(0L, Z_NULL, 0), data + kVmsFieldEntries, static_cast<uInt>(size - kVmsFieldEntries)) ==
                   le32(data + kVmsFieldCrc);
    for (std::size_t at = kVmsFieldEntries; at + kVmsEntryHeader <= size;) {
        const std::uint16_t tag = le16(data + at);
        const std::size_t length = le16(data + at + 2);
        const unsigned char* value = data + at + kVmsEntryHeader;
        if (length > size - at - kVmsEntryHeader) {
            field.problem = formatted("its VMS extra field's entry %u of %zu bytes runs past the field", tag, length);
            break;
        }
        if (tag == kVmsTagRecattr && length == kRecordAttributeBlockSize) {
            std::memcpy(field.attributes.bytes.data(), value, kRecordAttributeBlockSize);
            field.has_attributes = true;
        } else if (tag == kVmsTagUchar && length >= 4) {
            field.characteristics = le32(value);
        }
        at += kVmsEntryHeader + length;
    }
    return field;
}

bool expand_im_structure(std::uint16_t method, const unsigned char* data, std::size_t size, std::size_t length,
                         std::vector<unsigned char>& out) {
    if (method == kImStored) {
        out.assign(data, data + size);
        return true;
    }
    if (method == kImBits) {
        // One bit per byte, least significant first across the bytes: 1
        // means the next 8 bits are the byte, 0 a zero byte.
        out.assign(length, 0);
        std::size_t bit = 0;
        auto next_bit = [&]() { return (data[bit / 8] >> (bit % 8)) & 1; };
        for (std::size_t i = 0; i < length; ++i) {
            if (bit >= size * 8) {
                return false;
            }
            if (next_bit() == 0) {
                ++bit;
                continue;
            }
            ++bit;
            if (bit + 8 > size * 8) {
                return false;
            }
            unsigned value = 0;
            for (int k = 0; k < 8; ++k, ++bit) {
                value |= static_cast<unsigned>(next_bit()) << k;
            }
            out[i] = static_cast<unsigned char>(value);
        }
        return true;
    }
    if (method != kImDeflated || size < kImDeflateHeader) {
        return false;
    }
    const std::uint16_t inner = le16(data);
    const std::uint32_t crc = le32(data + 2);
    const unsigned char* payload = data + kImDeflateHeader;
    const std::size_t payload_size = size - kImDeflateHeader;
    if (inner == kZipStored) {
        out.assign(payload, payload + payload_size);
    } else if (inner == kZipDeflated) {
        out.assign(length, 0);
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
            return false;
        }
        stream.next_in = const_cast<unsigned char*>(payload);
        stream.avail_in = static_cast<uInt>(payload_size);
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(length);
        const int status = inflate(&stream, Z_FINISH);
        out.resize(stream.total_out);
        inflateEnd(&stream);
        if (status != Z_STREAM_END) {
            return false;
        }
    } else {
        return false;
    }
    return crc32(crc32(0L, Z_NULL, 0), out.data(), static_cast<uInt>(out.size())) == crc;
}

bool decode_im_fields(const unsigned char* extra, std::size_t size, FileAttributes& attributes, std::string& problem) {
    std::vector<unsigned char> fab;
    std::vector<unsigned char> fhc;
    walk_zip_extra(extra, size, [&](std::uint16_t id, const unsigned char* data, std::size_t length) {
        if (id != kZipExtraInfoZipVms) {
            return;
        }
        if (length < kImData) {
            problem = formatted("an IM extra field of %zu bytes", length);
            return;
        }
        std::vector<unsigned char>* structure = std::memcmp(data + kImBlockId, "VFAB", 4) == 0   ? &fab
                                                : std::memcmp(data + kImBlockId, "VFHC", 4) == 0 ? &fhc
                                                                                                : nullptr;
        const std::size_t structure_length = le16(data + kImLength);
        if (structure == nullptr) {
            return;
        }
        if (structure_length > kImLongestStructure ||
            !expand_im_structure(le16(data + kImFlags) & kImMethodMask, data + kImData, length - kImData,
                                 structure_length, *structure)) {
            problem = formatted("its IM %.4s structure does not decode", reinterpret_cast<const char*>(data));
            structure->clear();
        }
    });
    attributes = FileAttributes{};
    unsigned char* fat = attributes.bytes.data();
    if (fhc.size() >= kFhcGbc + 2) {
        fat[attribute_offset::kOrgRfm] = fhc[kFhcRfo];
        fat[attribute_offset::kRat] = fhc[kFhcAtr];
        std::memcpy(fat + attribute_offset::kLrl, fhc.data() + kFhcLrl, 2);
        // The XAB keeps hbk and ebk as plain longwords; the FAT high word first.
        store_fat_longword(fat + kFatHiblk, le32(fhc.data() + kFhcHbk));
        store_fat_longword(fat + kFatEfblk, le32(fhc.data() + kFhcEbk));
        std::memcpy(fat + kFatFfb, fhc.data() + kFhcFfb, 2);
        fat[attribute_offset::kBks] = fhc[kFhcBkz];
        fat[attribute_offset::kFsz] = fhc[kFhcHsz];
        std::memcpy(fat + kFatMrs, fhc.data() + kFhcMrz, 2);
        std::memcpy(fat + kFatDeq, fhc.data() + kFhcDxq, 2);
        std::memcpy(fat + kFatGbc, fhc.data() + kFhcGbc, 2);
        return true;
    }
    if (fab.size() >= kFabGbc + 2) {
        fat[attribute_offset::kOrgRfm] = static_cast<unsigned char>((fab[kFabOrg] & 0xF0) | (fab[kFabRfm] & 0x0F));
        fat[attribute_offset::kRat] = fab[kFabRat];
        fat[attribute_offset::kBks] = fab[kFabBks];
        fat[attribute_offset::kFsz] = fab[kFabFsz];
        std::memcpy(fat + kFatMrs, fab.data() + kFabMrs, 2);
        std::memcpy(fat + kFatDeq, fab.data() + kFabDeq, 2);
        std::memcpy(fat + kFatGbc, fab.data() + kFabGbc, 2);
        if (problem.empty()) {
            problem = "its IM fields hold a FAB but no XABFHC: no end of file";
        }
        return true;
    }
    if (problem.empty() && (!fab.empty() || !fhc.empty())) {
        problem = "its IM structures are too short to give its attributes";
    }
    return false;
}

bool looks_like_zip(int fd, std::uint64_t size, bool* failed) {
    *failed = false;
    unsigned char head[4];
    if (read_exact(fd, head, sizeof head, 0, failed) && le32(head) == kZipLocalSignature) {
        return true;
    }
    EndRecord end;
    return !*failed && find_end_record(fd, size, end, failed);
}

bool zip_open(ZipReader& reader, int fd, std::uint64_t size) {
    reader.fd = fd;
    reader.size = size;
    reader.input.resize(kInputChunk);
    reader.scratch.resize(kInputChunk);
    bool failed = false;
    EndRecord end;
    if (!find_end_record(fd, size, end, &failed)) {
        unsigned char head[4];
        if (!failed && read_exact(fd, head, sizeof head, 0, &failed) && le32(head) == kZipLocalSignature) {
            reader.from_directory = false;
            note_archive_problem(reader.archive, ArchiveStatus::kTruncated,
                                 "the zip has no end of central directory record: it is cut short; its members "
                                 "are found from their local headers");
            return true;
        }
        note_archive_problem(reader.archive, failed ? ArchiveStatus::kReadFailed : ArchiveStatus::kNotArchive,
                             failed ? formatted("read: %s", std::strerror(errno)) : "not a zip archive");
        return false;
    }
    // The directory ends where the end record begins; bytes in front of the
    // zip (a self-extracting program) move everything by as many.
    if (end.directory_offset > end.offset || end.directory_size > end.offset - end.directory_offset) {
        note_archive_problem(reader.archive, ArchiveStatus::kDamaged,
                             formatted("zip directory of %llu bytes at offset %llu runs past its end record at %llu",
                                       static_cast<ull>(end.directory_size), static_cast<ull>(end.directory_offset),
                                       static_cast<ull>(end.offset)));
        return false;
    }
    reader.shift = end.offset - end.directory_offset - end.directory_size;
    reader.directory_offset = end.directory_offset + reader.shift;
    reader.directory_end = end.offset;
    reader.entries = end.entries;
    reader.next_header = reader.directory_offset;
    scan_directory(reader, &failed);
    if (failed) {
        note_archive_problem(reader.archive, ArchiveStatus::kReadFailed, formatted("read: %s", std::strerror(errno)));
        return false;
    }
    return true;
}

bool zip_next(ZipReader& reader, MemberHeader& header) {
    if (reader.active) {
        end_member(reader, MemberStatus::kComplete, "");
    }
    bool failed = false;
    std::uint64_t length = 0;
    if (reader.from_directory) {
        if (reader.index >= reader.entries || !read_central(reader, reader.next_header, reader.entry, &length, &failed)) {
            return false;
        }
        reader.next_header += length;
    } else if (!read_next_local(reader)) {
        return false;
    }
    const std::uint64_t index = reader.index++;
    const ZipEntry& entry = reader.entry;
    reader.header = MemberHeader{};
    reader.outcome = MemberOutcome{};
    reader.header.name = entry.name;
    reader.header.directory = !entry.name.empty() && entry.name.back() == '/';
    reader.active = true;
    std::vector<unsigned char> local_extra;
    if (!reader.from_directory) {
        reader.data_offset = entry.local_offset + kZipLocalSize + entry.name.size() + entry.extra.size();
    } else if (!read_local_header(reader, &local_extra)) {
        header = reader.header;
        return true;
    }
    // Zip writes the VMS field in both headers; the central one is read,
    // the local one when the central header lacks it.
    take_attributes(reader, entry.extra);
    if (!reader.header.has_attributes && reader.header.note.empty() && !local_extra.empty()) {
        take_attributes(reader, local_extra);
    }
    decode_attribute_words(reader.header);
    // The member's bytes as stored; a sequential file cut at its end of
    // file, as zip -VV stores the whole allocation.
    reader.header.size = entry.uncompressed;
    if (reader.header.has_attributes && org_of(reader.header.attributes) == kOrgSequential &&
        reader.header.efblk != 0) {
        reader.header.size = std::min(reader.header.size, member_data_size(reader.header.attributes));
    }
    reader.wanted = reader.header.size;
    reader.produced = 0;
    reader.crc = crc32(0L, Z_NULL, 0);
    reader.compressed_left = entry.compressed;
    header = reader.header;
    if (std::binary_search(reader.refused.begin(), reader.refused.end(), index)) {
        end_member(reader, MemberStatus::kDamaged, "zip member's data overlap another member's: the directory lies");
    } else if (reader.from_directory && (reader.data_offset > reader.directory_offset ||
                                         entry.compressed > reader.directory_offset - reader.data_offset)) {
        end_member(reader, MemberStatus::kDamaged,
                   formatted("zip member's %llu bytes at offset %llu run past the members into the directory",
                             static_cast<ull>(entry.compressed), static_cast<ull>(reader.data_offset)));
    } else if ((entry.flags & kZipFlagEncrypted) != 0) {
        end_member(reader, MemberStatus::kUnsupported, "zip member is encrypted");
    } else if (entry.method == kZipStored && entry.compressed != entry.uncompressed) {
        end_member(reader, MemberStatus::kDamaged,
                   formatted("zip member stored with %llu bytes says it has %llu", static_cast<ull>(entry.compressed),
                             static_cast<ull>(entry.uncompressed)));
    } else if (entry.method == kZipDeflated) {
        if (reader.inflater.stream == nullptr) {
            reader.inflater.stream = std::make_unique<z_stream>();
        }
        *reader.inflater.stream = z_stream{};
        if (inflateInit2(reader.inflater.stream.get(), -MAX_WBITS) != Z_OK) {
            end_member(reader, MemberStatus::kReadFailed, "zlib: no memory to inflate");
        } else {
            reader.inflater.open = true;
        }
    } else if (entry.method != kZipStored) {
        end_member(reader, MemberStatus::kUnsupported,
                   formatted("zip member compressed with method %u, which is not read", entry.method));
    }
    return true;
}

std::size_t zip_read(ZipReader& reader, unsigned char* buffer, std::size_t capacity) {
    std::size_t total = 0;
    while (reader.active && total < capacity) {
        // Bytes past the end of file are made too, for the CRC, but not
        // delivered.
        const bool delivering = reader.outcome.delivered < reader.wanted;
        unsigned char* into = delivering ? buffer + total : reader.scratch.data();
        const std::size_t room = delivering ? static_cast<std::size_t>(std::min<std::uint64_t>(
                                                  capacity - total, reader.wanted - reader.outcome.delivered))
                                            : reader.scratch.size();
        std::size_t made = 0;
        produce(reader, into, room, &made);
        if (delivering) {
            total += made;
            reader.outcome.delivered += made;
        }
    }
    return total;
}
