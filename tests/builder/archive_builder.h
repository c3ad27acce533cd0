// Builds archives from the members they must yield, for tests and fuzz
// seeds: BACKUP savesets (summary, FILE and VBN records, block CRCs and
// checksums, XOR blocks), SIMH tape images with ANSI labels, and zips as
// zip -V on VMS makes them. Every layout detail a reader depends on is
// placed here on purpose, so a test states its members and compares them
// with what the readers deliver; damage is then done to the bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rms_builder.h"

namespace archive {

using rms::Bytes;
using Fat = std::array<unsigned char, 32>;

// A record attribute block: org and rfm codes, rat bits, lrl, and the
// longwords stored high word first.
Fat fat(unsigned org, unsigned rfm, unsigned rat, unsigned lrl, std::uint32_t hiblk, std::uint32_t efblk,
        unsigned ffb, unsigned bks = 0, unsigned fsz = 0);

// A sequential file's attributes for data of size bytes: efblk and ffb
// from the size, hiblk the blocks it fills (at least allocated).
Fat sequential_fat(unsigned rfm, unsigned rat, unsigned lrl, std::size_t size, std::uint32_t allocated = 0);

// The record attribute block of a file of size bytes built with the
// assignments ("org=seq rfm=var rat=cr lrl=80"): a sequential file ends where
// its bytes do, a relative or indexed one keeps all its blocks. Assignments
// the attribute reader refuses give an all-zero block.
Fat fat_from_assignments(const std::string& assignments, std::size_t size);

struct SavesetMember {
    std::string name;  // attribute 42
    Fat attributes{};
    bool has_attributes = true;
    Bytes data;  // stored from VBN 1 in whole blocks, the last filled with kBlockTail
    bool directory = false;
    std::uint32_t first_vbn = 1;       // the address of its first VBN record: 0 or 2 lie
    bool attribute_overrun = false;    // the RECATTR entry claims more bytes than the record holds
};

// The bytes BACKUP leaves after the end of file in a last block.
inline constexpr unsigned char kBlockTail = 0xEE;

struct SavesetLayout {
    std::string name = "TEST.BCK";
    std::size_t block_size = 2048;
    std::uint16_t group_size = 4;  // 0: no XOR blocks
    bool no_crc = false;
    std::uint16_t opsys = 0x0400;
    std::size_t blocks_per_record = 0;  // VBN records of at most this many blocks; 0: as many as fit
    std::vector<SavesetMember> members;
};

Bytes saveset(const SavesetLayout& layout);

// The saveset with block position (from 1) overwritten by noise after its
// header, so that its CRC fails.
Bytes with_bad_block(Bytes saveset, std::size_t block_size, std::uint32_t position);

// SIMH framing: a data record (lengths, data, pad), a tape mark.
void add_tape_record(Bytes& tape, const Bytes& data);
void add_tape_mark(Bytes& tape);

// An 80-byte ANSI label: its id ("HDR1") then the fields, blank padded.
Bytes ansi_label(const std::string& text);

struct TapeFile {
    std::string identifier;  // HDR1's file identifier
    Bytes saveset;
    std::size_t block_size = 2048;
    bool labelled = true;
    long eof1_blocks = -1;  // EOF1's block count: -1 the file's blocks
};

// VOL1 once, then each file with its labels and tape marks, two tape
// marks at the end.
Bytes simh_tape(const std::vector<TapeFile>& files);

struct ZipMember {
    std::string name;
    Bytes data;  // the bytes stored, before compression
    bool deflate = true;
    bool vms = true;          // a PKWARE VMS field 0x000C in both headers
    bool im = false;          // Info-ZIP's IM fields instead
    unsigned im_method = 0;   // how the IM structures are compressed: 0, 1 or 2
    Fat attributes{};
    bool bad_vms_crc = false;
    long long stated_size = -1;  // the uncompressed size the headers state: -1 the true one
    int data_of = -1;            // the central header points at member data_of's local header
};

struct ZipOptions {
    std::size_t prefix = 0;  // bytes in front of the zip, as a self-extracting program puts them
    bool zip64_end = false;  // a zip64 end record and locator, the end record's fields 0xFFFF
};

Bytes zip_archive(const std::vector<ZipMember>& members, const ZipOptions& options = {});

// The PKWARE VMS field's data for a FAT, its CRC computed, as zip -V writes
// it (tags 4, 3, 17-20, 13, 21-23, 29).
Bytes vms_field_data(const Fat& attributes);

// A FAB and an XABFHC that hold the FAT's fields, as IM fields compressed
// with method.
Bytes im_fields(const Fat& attributes, unsigned method);

}  // namespace archive
