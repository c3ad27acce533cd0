// The BACKUP saveset reader: blocks from a source it does not care about (a
// saveset file on disk, a tape file's records), each checked by its CRC and
// header checksum, a bad one rebuilt from its XOR group when the group
// allows it, then the records of the data blocks: the summary, each
// member's FILE record and its VBN records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archives/member.h"

enum class BlockRead {
    kBlock,     // the next block, to be checked
    kBadBlock,  // the next block, known bad already (a tape record read with an error); message says why
    kEnd,       // no more blocks
    kCut,       // the source ends inside the next block
    kFailed,    // a read failed; message says why
};

// Where a saveset's blocks come from. next reads the next block into block
// (resized to the bytes read, at most kLargestSavesetBlock); block_size is
// the saveset's block size as the source found it.
struct BlockSource {
    void* context = nullptr;
    BlockRead (*next)(void* context, std::vector<unsigned char>& block, std::string& message) = nullptr;
    std::size_t block_size = 0;
};

// A saveset file on disk: blocks of one size from offset 0.
struct DiskBlocks {
    int fd = -1;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;
    std::size_t block_size = 0;
};

// The block size of the saveset in fd: block 1's, when its header checks;
// else that of the first block header within the first blocks that checks
// and sits where its number and size put it. 0 when there is none (not a
// saveset, or a read failed: *failed is then set).
std::size_t find_saveset_block_size(int fd, std::uint64_t size, bool* failed);

BlockSource disk_block_source(DiskBlocks& disk);

// The block CRC (CRC-32 of the whole block with its CRC and checksum
// fields taken as zero) and the header checksum (CRC-16/ARC of the header
// so zeroed).
std::uint32_t saveset_block_crc(const unsigned char* block, std::size_t size);
std::uint16_t saveset_header_checksum(const unsigned char* block);

// Stores both in the block (the CRC as 0 when its flags say NOCRC).
void seal_saveset_block(unsigned char* block, std::size_t size);

// Why a block read at position (from 1) of a saveset of block_size-byte
// blocks is bad; kGood when it is not.
enum class BlockProblem { kGood, kWrongLength, kNoHeader, kHeaderChecksum, kCrc, kMisplaced, kWrongSize, kUnknownKind };
BlockProblem check_saveset_block(const unsigned char* block, std::size_t length, std::uint32_t position,
                                 std::size_t block_size);
const char* block_problem_text(BlockProblem problem);

// Rebuilds the block at position of a group from its XOR block and the
// group's other data blocks, byte for byte as BACKUP wrote it: the XOR of
// them all, with the header fields the XOR block overwrote restored (a data
// block's kind and number, the writer's system and subsystem and the flags
// copied from the XOR block) and the CRC and checksum computed again.
void rebuild_saveset_block(unsigned char* lost, const std::vector<const unsigned char*>& others,
                           const unsigned char* xor_block, std::size_t block_size, std::uint32_t position);

// A saveset's summary: its name, block size and XOR group size.
struct SavesetSummary {
    std::string name;
    std::uint32_t block_size = 0;
    std::uint16_t group_size = 0;
    bool has_group_size = false;
};
SavesetSummary decode_summary(const unsigned char* body, std::size_t size);

// A FILE record's attributes: the name (attribute 42), the FAT (52), the
// file characteristics (51). problem is set when an entry runs past the
// record.
struct FileRecord {
    std::string name;
    bool has_name = false;
    bool has_attributes = false;
    FileAttributes attributes;
    std::uint32_t characteristics = 0;
    std::string problem;
};
FileRecord decode_file_record(const unsigned char* body, std::size_t size);

// One block of the group being read.
struct SavesetBlock {
    std::vector<unsigned char> bytes;
    std::uint32_t position = 0;
    bool good = false;
    bool cut = false;     // the saveset ends inside it
    std::string problem;  // why it is bad: "CRC mismatch"
};

// A record inside the group: its header's fields and its body.
struct SavesetRecord {
    std::uint16_t type = 0;
    std::uint32_t flags = 0;
    std::uint32_t address = 0;
    const unsigned char* body = nullptr;
    std::size_t size = 0;
    std::size_t slot = 0;  // the group block holding it
};

struct SavesetReader {
    BlockSource source;
    std::size_t block_size = 0;
    SavesetSummary summary;
    bool group_size_known = false;
    std::size_t group_size = 0;  // data blocks per XOR group; 0: no XOR blocks

    std::vector<SavesetBlock> group;  // the blocks of the current group, its XOR block last
    std::size_t group_used = 0;
    std::size_t xor_slot = static_cast<std::size_t>(-1);  // the group's XOR block; -1 when it has none
    std::size_t slot = 0;    // the block being parsed
    std::size_t offset = 0;  // its next record header
    std::uint32_t next_position = 1;
    bool source_ended = false;
    bool cut = false;

    // A FILE record that ended the previous member's data, not yet read.
    bool pending_file = false;
    SavesetRecord pending;

    // The member being delivered.
    bool active = false;
    MemberHeader header;
    MemberOutcome outcome;
    std::uint64_t wanted = 0;    // bytes to deliver: header.size, or all held when there are no attributes
    std::uint32_t next_vbn = 1;  // the VBN its next record must start at
    const unsigned char* piece = nullptr;
    std::size_t piece_left = 0;

    // Since the last FILE record a block was lost: VBN records that follow
    // may belong to a file whose FILE record went with it.
    bool lost_block = false;
    std::uint32_t lost_position = 0;
    std::string last_name;  // the name of the last FILE record read

    // The bad block the record walk last met, and why it is bad.
    std::uint32_t step_block = 0;
    bool step_cut = false;
    std::string step_problem;

    ArchiveOutcome archive;
};

void saveset_open(SavesetReader& reader, BlockSource source);

// The next member's header, skipping what is left of the current one;
// false at the end of the saveset (reader.archive says how it ended).
bool saveset_next(SavesetReader& reader, MemberHeader& header);

// Up to capacity bytes of the member's data; 0 once they are all
// delivered, and reader.outcome then says how the delivery ended.
std::size_t saveset_read(SavesetReader& reader, unsigned char* buffer, std::size_t capacity);
