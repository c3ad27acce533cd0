// Zip archives, and the fields with which zip on OpenVMS keeps a file's
// record attributes. A zip is local headers each followed by its member's
// data, then the central directory (one header per member), then the end
// of central directory record (and, for zip64, its own end record and
// locator in front of it).
#pragma once

#include <cstddef>
#include <cstdint>

// Local file header.
inline constexpr std::uint32_t kZipLocalSignature = 0x04034b50;
inline constexpr std::size_t kZipLocalSize = 30;
inline constexpr std::size_t kZipLocalFlags = 6;
inline constexpr std::size_t kZipLocalMethod = 8;
inline constexpr std::size_t kZipLocalCrc = 14;
inline constexpr std::size_t kZipLocalCompressed = 18;
inline constexpr std::size_t kZipLocalUncompressed = 22;
inline constexpr std::size_t kZipLocalNameLength = 26;
inline constexpr std::size_t kZipLocalExtraLength = 28;

// Central directory header.
inline constexpr std::uint32_t kZipCentralSignature = 0x02014b50;
inline constexpr std::size_t kZipCentralSize = 46;
inline constexpr std::size_t kZipCentralMadeBy = 4;  // W: high byte the host system
inline constexpr std::size_t kZipCentralFlags = 8;
inline constexpr std::size_t kZipCentralMethod = 10;
inline constexpr std::size_t kZipCentralCrc = 16;
inline constexpr std::size_t kZipCentralCompressed = 20;
inline constexpr std::size_t kZipCentralUncompressed = 24;
inline constexpr std::size_t kZipCentralNameLength = 28;
inline constexpr std::size_t kZipCentralExtraLength = 30;
inline constexpr std::size_t kZipCentralCommentLength = 32;
inline constexpr std::size_t kZipCentralDisk = 34;
inline constexpr std::size_t kZipCentralExternal = 38;
inline constexpr std::size_t kZipCentralLocalOffset = 42;

inline constexpr unsigned kZipHostVms = 2;

// General purpose flags.
inline constexpr std::uint16_t kZipFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kZipFlagDataDescriptor = 0x0008;

// Compression methods read.
inline constexpr std::uint16_t kZipStored = 0;
inline constexpr std::uint16_t kZipDeflated = 8;

// End of central directory record, with a comment of up to 65535 bytes
// after it.
inline constexpr std::uint32_t kZipEndSignature = 0x06054b50;
inline constexpr std::size_t kZipEndSize = 22;
inline constexpr std::size_t kZipEndDisk = 4;
inline constexpr std::size_t kZipEndEntries = 10;  // W: entries in the whole directory
inline constexpr std::size_t kZipEndDirectorySize = 12;
inline constexpr std::size_t kZipEndDirectoryOffset = 16;
inline constexpr std::size_t kZipEndCommentLength = 20;
inline constexpr std::size_t kZipLongestComment = 65535;

// Zip64: a locator right before the end record points at the zip64 end
// record; fields of 0xFFFF or 0xFFFFFFFF are then found there, and a
// member's in its extra field 0x0001 (uncompressed size, compressed size,
// local header offset, disk: the ones whose 32-bit field is 0xFFFFFFFF, in
// that order).
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
inline constexpr std::size_t kZip64LocatorSize = 20;
inline constexpr std::size_t kZip64LocatorEndOffset = 8;  // Q
inline constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
inline constexpr std::size_t kZip64EndSize = 56;
inline constexpr std::size_t kZip64EndEntries = 32;          // Q
inline constexpr std::size_t kZip64EndDirectorySize = 40;    // Q
inline constexpr std::size_t kZip64EndDirectoryOffset = 48;  // Q
inline constexpr std::uint32_t kZip32Escape = 0xFFFFFFFF;
inline constexpr std::uint16_t kZipExtraZip64 = 0x0001;

// Extra fields: a W id, a W size, size bytes.
inline constexpr std::size_t kZipExtraHeader = 4;

// The PKWARE OpenVMS field: a CRC-32 of the bytes from offset 8 to the end
// of the field, then entries of a W tag, a W size and size bytes, the tags
// and sizes of the VMS ATR$ constants. Zip 2.1 wrote the same layout under
// 0x010C.
inline constexpr std::uint16_t kZipExtraVms = 0x000C;
inline constexpr std::uint16_t kZipExtraVmsOld = 0x010C;
inline constexpr std::size_t kVmsFieldCrc = 0;        // offsets in the field's data
inline constexpr std::size_t kVmsFieldEntries = 4;
inline constexpr std::size_t kVmsEntryHeader = 4;
inline constexpr std::uint16_t kVmsTagRecattr = 4;    // the 32-byte FAT
inline constexpr std::uint16_t kVmsTagUchar = 3;      // file characteristics

// The Info-ZIP OpenVMS field "IM": one RMS structure per field, several
// fields to a member.
inline constexpr std::uint16_t kZipExtraInfoZipVms = 0x4D49;
inline constexpr std::size_t kImBlockId = 0;     // 4 ASCII bytes, offsets in the field's data
inline constexpr std::size_t kImFlags = 4;       // W: bits 0-2 the compression
inline constexpr std::size_t kImLength = 6;      // W: the structure's length
inline constexpr std::size_t kImData = 12;
inline constexpr std::uint16_t kImMethodMask = 7;
inline constexpr std::uint16_t kImStored = 0;
inline constexpr std::uint16_t kImBits = 1;      // a 1 bit, then a byte; a 0 bit: a zero byte
inline constexpr std::uint16_t kImDeflated = 2;  // W method (8 or 0), L CRC-32, raw deflate
inline constexpr std::size_t kImDeflateHeader = 6;

// The FAB ("VFAB") and XABFHC ("VFHC") fields that make a FAT.
inline constexpr std::size_t kFabDeq = 20;   // W
inline constexpr std::size_t kFabOrg = 29;   // B: the organisation << 4
inline constexpr std::size_t kFabRat = 30;
inline constexpr std::size_t kFabRfm = 31;
inline constexpr std::size_t kFabMrs = 54;   // W
inline constexpr std::size_t kFabBks = 62;
inline constexpr std::size_t kFabFsz = 63;
inline constexpr std::size_t kFabGbc = 72;   // W
inline constexpr std::size_t kFabSize = 80;
inline constexpr std::size_t kFhcRfo = 8;    // B: org << 4 | rfm
inline constexpr std::size_t kFhcAtr = 9;
inline constexpr std::size_t kFhcLrl = 10;   // W
inline constexpr std::size_t kFhcHbk = 12;   // L, plain little-endian
inline constexpr std::size_t kFhcEbk = 16;   // L, plain little-endian
inline constexpr std::size_t kFhcFfb = 20;   // W
inline constexpr std::size_t kFhcBkz = 22;
inline constexpr std::size_t kFhcHsz = 23;
inline constexpr std::size_t kFhcMrz = 24;   // W
inline constexpr std::size_t kFhcDxq = 26;   // W
inline constexpr std::size_t kFhcGbc = 28;   // W
inline constexpr std::size_t kFhcSize = 44;
// The longest structure the field carries (the XABPRO, 88 bytes) rounded
// up: a field claiming more is refused.
inline constexpr std::size_t kImLongestStructure = 256;
