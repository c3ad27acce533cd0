// The on-disk structures of indexed files: VBN 1 (the descriptor of key 0
// followed by the prolog fields), further key descriptors, area
// descriptors, data bucket headers and data record entries. Each is decoded
// from its bytes into a plain record; all fields are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/blocks.h"

// Key descriptors: key 0 at offset 0 of VBN 1, the others wherever the
// chain of idxfl and noff leads.
inline constexpr std::size_t kKeyDescriptorSize = 96;
inline constexpr int kMaxKeySegments = 8;

// Key flag bits.
inline constexpr std::uint8_t kKeyInitIdx = 0x10;
inline constexpr std::uint8_t kKeyCompressed = 0x40;
inline constexpr std::uint8_t kRecordCompressed = 0x80;

struct KeyDescriptor {
    std::uint32_t idxfl;
    std::uint16_t noff;
    std::uint8_t ianum, lanum, danum, rootlev, idxbktsz, datbktsz;
    std::uint32_t rootvbn;
    std::uint8_t flags, datatype, segments, nullchar, keysz, keyref;
    std::uint16_t minrecsz, idxfill, datfill;
    std::uint16_t position[kMaxKeySegments];
    std::uint8_t size[kMaxKeySegments];
    const unsigned char* keynam;  // the 32-byte field, inside the decoded block
    std::uint32_t ldvbn;
    std::uint8_t type[kMaxKeySegments];
};

// Decodes the kKeyDescriptorSize bytes at p; keynam keeps pointing into them.
KeyDescriptor decode_key_descriptor(const unsigned char* p);

inline constexpr std::size_t kKeyDatbktszOffset = 11;
inline constexpr std::size_t kKeySegmentsOffset = 18;
inline constexpr std::size_t kKeyNameOffset = 52;
inline constexpr std::size_t kKeyLdvbnOffset = 84;
inline constexpr std::size_t kKeyNameSize = 32;

// The prolog fields behind key 0 in VBN 1.
struct Prolog {
    std::uint8_t avbn, amax;
    std::uint16_t dvbn;
    std::uint32_t mrn, eof;
    std::uint16_t ver_no, gbc, colvbn;
};

Prolog decode_prolog(const unsigned char* vbn1);

// Prolog 3 stores the primary key in front of each record and may compress
// keys and data; prologs 1 and 2 store each record whole and uncompressed,
// behind entries with one-byte record ids.
inline constexpr std::uint16_t kPrologVersion1 = 1;
inline constexpr std::uint16_t kPrologVersion2 = 2;
inline constexpr std::uint16_t kPrologVersion3 = 3;

// Area descriptors: 64 bytes, 8 to a block.
inline constexpr std::size_t kAreaDescriptorSize = 64;

struct AreaDescriptor {
    std::uint8_t flags, areaid, arbktsz;
    std::uint16_t volume;
    std::uint8_t aln, aop;
    std::uint32_t avail, cvbn, cnblk, used, nxtvbn, nxt, nxblk;
    std::uint16_t deq;
    std::uint32_t loc;
    std::uint16_t rfi[3];  // the words at 44, 46 and 48
    std::uint32_t total_alloc;
    std::uint16_t check;
};

AreaDescriptor decode_area_descriptor(const unsigned char* p);

// The header at the start of every data bucket.
inline constexpr std::size_t kBucketHeaderSize = 14;

struct BucketHeader {
    std::uint8_t checkchar, indexno;
    std::uint16_t adrsample, freespace, nxtrecid;
    std::uint32_t nxtbkt;
    std::uint8_t level, bktcb;
};

BucketHeader decode_bucket_header(const unsigned char* bucket);

// In prolog 1 and 2 buckets nxtrecid is the byte at 6 (lstrecid follows it).
inline constexpr std::size_t kBucketNxtrecidOffset = 6;
inline constexpr std::size_t kBucketNxtbktOffset = 8;

// Data record entries of prolog 3: control byte, two-byte record id, rrv
// pointer (two-byte id, four-byte VBN), then (except in rrv entries, and in
// fixed-length records stored uncompressed) the two-byte body length rl,
// then the body.
inline constexpr std::size_t kRrvEntrySize = 9;
inline constexpr std::size_t kEntryHeaderSize = 11;
inline constexpr std::size_t kEntryRecordIdOffset = 1;
inline constexpr std::size_t kEntryRrvIdOffset = 3;
inline constexpr std::size_t kEntryRrvVbnOffset = 5;
inline constexpr std::size_t kEntryLengthOffset = 9;
inline constexpr std::uint8_t kEntryDeleted = 0x04;
inline constexpr std::uint8_t kEntryRrv = 0x08;

// Data record entries of prologs 1 and 2: control byte, one-byte record id,
// then, unless kEntryNoPointer is set, a one-byte rrv id and an rrv pointer
// of (control & kEntryPointerSizeCode) + 2 bytes. An rrv entry ends there;
// a record goes on with a two-byte length (variable-length records only)
// and the whole user record.
inline constexpr std::uint8_t kEntryNoPointer = 0x10;
inline constexpr std::uint8_t kEntryPointerSizeCode = 0x03;
inline constexpr std::size_t kShortEntryIdsSize = 2;
inline constexpr std::size_t kShortEntryRrvIdOffset = 2;
inline constexpr std::size_t kShortEntryPointerOffset = 3;
inline constexpr std::size_t kShortEntryPointerBase = 2;
inline constexpr std::size_t kEntryLengthSize = 2;
