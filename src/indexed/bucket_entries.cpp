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

// The bytes a prolog 1 or 2 entry's head takes: control byte and record id,
// then the rrv id and pointer unless it has none.
std::size_t short_head_size(unsigned char ctrl) {
    if ((ctrl & kEntryNoPointer) != 0) {
        return kShortEntryIdsSize;
    }
    return kShortEntryPointerOffset + (ctrl & kEntryPointerSizeCode) + kShortEntryPointerBase;
}

}  // namespace

bool next_entry(EntryWalk& walk, Entry& entry) {
    const std::size_t at = walk.next;
    const std::size_t freespace = walk.freespace;
    if (at >= freespace) {
        return false;
    }
    // Every field is set here or on the way out (kind always on the way
    // out): cheaper than building a whole Entry for each of many entries.
    entry.offset = at;
    entry.head = walk.bucket + at;
    entry.head_read = false;
    entry.rl_read = false;
    entry.body = nullptr;
    entry.rl = 0;
    entry.fault = EntryFault::kNone;
    const std::size_t room = freespace - at;
    std::size_t head_size = kRrvEntrySize;
    if (walk.format.layout == EntryLayout::kProlog2) {
        // The control byte says how long the rest of the head is.
        head_size = room < kShortEntryIdsSize ? kShortEntryIdsSize : short_head_size(entry.head[0]);
    }
    if (room < head_size) {
        return damaged(walk, entry, EntryFault::kHeadPastFreespace);
    }
    entry.head_read = true;
    const unsigned char ctrl = entry.head[0];
    if ((ctrl & kEntryRrv) != 0) {
        entry.kind = EntryKind::kRrv;
        walk.next = at + head_size;
        return true;
    }
    std::size_t body = at + head_size;
    std::size_t rl = walk.format.fixed_length;
    if (walk.format.length_field) {
        if (room < head_size + kEntryLengthSize) {
            return damaged(walk, entry, EntryFault::kHeadPastFreespace);
        }
        rl = le16(entry.head + head_size);
        entry.rl_read = true;
        body += kEntryLengthSize;
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

EntryIds entry_ids(const Entry& entry, const EntryFormat& format) {
    const unsigned char* const head = entry.head;
    EntryIds ids;
    ids.ctrl = head[0];
    if (format.layout == EntryLayout::kProlog3) {
        ids.record_id = le16(head + kEntryRecordIdOffset);
        ids.has_pointer = true;
        ids.rrv_id = le16(head + kEntryRrvIdOffset);
        ids.rrv_vbn = le32(head + kEntryRrvVbnOffset);
        return ids;
    }
    ids.record_id = head[1];
    if ((ids.ctrl & kEntryNoPointer) == 0) {
        ids.has_pointer = true;
        ids.rrv_id = head[kShortEntryRrvIdOffset];
        for (std::size_t i = short_head_size(ids.ctrl) - kShortEntryPointerOffset; i > 0; --i) {
            ids.rrv_vbn = ids.rrv_vbn << 8 | head[kShortEntryPointerOffset + i - 1];
        }
    }
    return ids;
}

std::string describe_entry_fault(const Entry& entry, std::uint32_t vbn, std::size_t freespace) {
    if (entry.fault == EntryFault::kBodyPastFreespace) {
        return formatted("entry at VBN %u, offset %zu: rl %zu reaches past freespace 0x%04zx", vbn, entry.offset,
                         entry.rl, freespace);
    }
    return formatted("entry at VBN %u, offset %zu, reaches past freespace 0x%04zx", vbn, entry.offset, freespace);
}
