// OpenVMS BACKUP savesets: a run of blocks of one size, nothing before the
// first or after the last. Each block is a 256-byte block header, then (in
// data blocks) records: a 16-byte record header and its body, every header
// at a multiple of 16 from the block start. Records never cross a block
// boundary. Every 'group size' data blocks are followed by an XOR block,
// the byte-wise XOR of the whole group, headers included; the last group
// may be shorter and is still closed by one, so a saveset ends with an XOR
// block.
#pragma once

#include <cstddef>
#include <cstdint>

// Block header.
inline constexpr std::size_t kBlockHeaderSize = 256;
inline constexpr std::size_t kBbhSize = 0;        // W: 256
inline constexpr std::size_t kBbhOpsys = 2;       // W: the writer's operating system
inline constexpr std::size_t kBbhSubsys = 4;      // W: 1 (0 reported for BACKUP V8.3: never checked)
inline constexpr std::size_t kBbhApplic = 6;      // W: data or XOR block
inline constexpr std::size_t kBbhNumber = 8;      // L: the block's position, from 1, XOR blocks counted
inline constexpr std::size_t kBbhStruclev = 32;   // W: 0x0101 in data blocks
inline constexpr std::size_t kBbhVolnum = 34;     // W
inline constexpr std::size_t kBbhCrc = 36;        // L: CRC-32 of the block, 0 with kBlockNoCrc
inline constexpr std::size_t kBbhBlocksize = 40;  // L: the block size
inline constexpr std::size_t kBbhFlags = 44;      // L
inline constexpr std::size_t kBbhSsname = 48;     // 32 bytes, counted ASCII: the saveset name
// The "current file" of the block: the one whose FILE record begins it, or
// else the one whose VBN records continue here. Zero in block 1.
inline constexpr std::size_t kBbhFid = 80;        // 3 W
inline constexpr std::size_t kBbhFilename = 92;   // 128 bytes, counted ASCII
inline constexpr std::size_t kBbhFilenameSize = 128;
inline constexpr std::size_t kBbhRtype = 220;     // B: FAT byte 0
inline constexpr std::size_t kBbhRattrib = 221;   // B: FAT byte 1
inline constexpr std::size_t kBbhRsize = 222;     // W: FAT lrl
inline constexpr std::size_t kBbhBktsize = 224;   // B
inline constexpr std::size_t kBbhVfcsize = 225;   // B
inline constexpr std::size_t kBbhMaxrec = 226;    // W
inline constexpr std::size_t kBbhFilesize = 228;  // L: allocated blocks
inline constexpr std::size_t kBbhChecksum = 254;  // W: CRC-16/ARC of the header

inline constexpr std::uint16_t kBlockApplicData = 1;
inline constexpr std::uint16_t kBlockApplicXor = 2;
inline constexpr std::uint16_t kBlockStructureLevel = 0x0101;
inline constexpr std::uint32_t kBlockNoCrc = 0x01;

// The block sizes a reader accepts: BACKUP's /BLOCK_SIZE takes 2048 to
// 65534 (rounded up to a multiple of 512); anything from a header and one
// record header up to 64 KB is read.
inline constexpr std::size_t kSmallestSavesetBlock = 512;
inline constexpr std::size_t kLargestSavesetBlock = 65536;

// XOR groups: BACKUP's /GROUP_SIZE takes 0 (no XOR blocks) to 100.
inline constexpr std::size_t kLargestXorGroup = 100;

// Record header.
inline constexpr std::size_t kRecordHeaderSize = 16;
inline constexpr std::size_t kRecordAlignment = 16;
inline constexpr std::size_t kBrhRsize = 0;    // W: body size
inline constexpr std::size_t kBrhRtype = 2;    // W
inline constexpr std::size_t kBrhFlags = 4;    // L
inline constexpr std::size_t kBrhAddress = 8;  // L: a VBN record's first VBN

enum : std::uint16_t {
    kRecordNull = 0,  // fills the rest of the block
    kRecordSummary = 1,
    kRecordVolume = 2,
    kRecordFile = 3,
    kRecordVbn = 4,
    kRecordAlias = 11,
};

// Record flags.
inline constexpr std::uint32_t kRecordBadData = 0x01;
inline constexpr std::uint32_t kRecordDirectory = 0x02;
inline constexpr std::uint32_t kRecordAliasEntry = 0x10;

// SUMMARY and FILE bodies: a structure level word, then entries of a size
// word, a type word and size bytes of value, with no alignment. The list
// ends at an entry of size 0 or at the end of the body, whichever comes
// first.
inline constexpr std::size_t kAttributeListStart = 2;
inline constexpr std::size_t kAttributeEntryHeader = 4;

// Summary attributes.
enum : std::uint16_t {
    kSummarySsname = 1,
    kSummaryBlocksize = 13,
    kSummaryXorsize = 14,
};

// FILE attributes.
enum : std::uint16_t {
    kFileFilename = 42,
    kFileStruclev = 43,
    kFileFid = 44,
    kFileFilesize = 46,
    kFileRecattr = 52,
    kFileUchar = 51,
};

// UCHAR bit of a directory file.
inline constexpr std::uint32_t kFileCharDirectory = 0x2000;

// VBN record bodies hold whole blocks of the file.
inline constexpr std::size_t kVbnBlockSize = 512;

// CRC-16/ARC (polynomial 0x8005 reflected, no final XOR), continued from
// crc: the block header checksum is this over the header with its CRC and
// checksum fields zero, from 0.
std::uint16_t crc16_arc(std::uint16_t crc, const unsigned char* data, std::size_t size);
