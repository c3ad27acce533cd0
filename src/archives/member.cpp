#include "archives/member.h"

#include "formats/blocks.h"
#include "formats/record_attribute_block.h"

void note_archive_problem(ArchiveOutcome& outcome, ArchiveStatus status, std::string message) {
    if (outcome.problems++ == 0) {
        outcome.status = status;
        outcome.message = std::move(message);
    }
}

std::uint64_t member_data_size(const FileAttributes& attributes) {
    const unsigned char* fat = attributes.bytes.data();
    const std::uint64_t allocation = static_cast<std::uint64_t>(fat_longword(fat + kFatHiblk)) * kBlockSize;
    const std::uint32_t efblk = fat_longword(fat + kFatEfblk);
    if (org_of(attributes) != kOrgSequential || efblk == 0) {
        return allocation;
    }
    return vbn_offset(efblk) + le16(fat + kFatFfb);
}

void decode_attribute_words(MemberHeader& header) {
    const unsigned char* fat = header.attributes.bytes.data();
    header.hiblk = fat_longword(fat + kFatHiblk);
    header.efblk = fat_longword(fat + kFatEfblk);
    header.ffb = le16(fat + kFatFfb);
}
