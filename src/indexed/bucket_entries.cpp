#include "indexed/bucket_entries.h"

#include "formats/indexed_layout.h"
#include "platform/formatted.h"
#include "platform/little_endian.h"

EntryWalk walk_entries(const EntryFormat& format, const unsigned char* bucket, std::size_t freespace) {
    return {format, bucket, freespace, kBucketHeaderSize};
}

namespace {

bool damaged(EntryWalk& walk, Entry& entry, EntryFault fault) {
    entry.kind = EntryKind::kDamaged;
    entry.fault = fault;
    walk.next = walk.freespace;
    return true;
}

}  // namespace

bool next_entry(EntryWalk& walk, Entry& entry) {
    const std::size_t at = walk.next;
    const std::size_t freespace = walk.freespace;
    if (at >= freespace) {
        return false;
    }
    entry = Entry{};
    entry.offset = at;
    entry.head = walk.bucket + at;
    if (freespace - at < kRrvEntrySize) {
        return damaged(walk, entry, EntryFault::kHeadPastFreespace);
    }
    entry.head_read = true;
    const unsigned char ctrl = entry.head[0];
    if ((ctrl & kEntryRrv) != 0) {
        entry.kind = EntryKind::kRrv;
        walk.next = at + kRrvEntrySize;
        return true;
    }
    std::size_t body = at + kRrvEntrySize;
    std::size_t rl = walk.format.fixed_length;
    if (walk.format.length_field) {
        if (freespace - at < kEntryHeaderSize) {
            return damaged(walk, entry, EntryFault::kHeadPastFreespace);
        }
        body = at + kEntryHeaderSize;
        rl = le16(entry.head + kEntryLengthOffset);
    }
    entry.rl = rl;
    if (freespace - body < rl) {
        return damaged(walk, entry, EntryFault::kBodyPastFreespace);
    }
    entry.kind = (ctrl & kEntryDeleted) != 0 ? EntryKind::kDeleted : EntryKind::kLive;
    entry.body = walk.bucket + body;
    walk.next = body + rl;
    return true;
}

std::string describe_entry_fault(const Entry& entry, std::uint32_t vbn, std::size_t freespace) {
    if (entry.fault == EntryFault::kBodyPastFreespace) {
        return formatted("entry at VBN %u, offset %zu: rl %zu reaches past freespace 0x%04zx", vbn, entry.offset,
                         entry.rl, freespace);
    }
    return formatted("entry at VBN %u, offset %zu, reaches past freespace 0x%04zx", vbn, entry.offset, freespace);
}
