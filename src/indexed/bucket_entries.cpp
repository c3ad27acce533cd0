#include "indexed/bucket_entries.h"

#include "formats/indexed_layout.h"
#include "platform/formatted.h"
#include "platform/little_endian.h"

BucketHeader decode_data_bucket_header(const unsigned char* bucket, EntryLayout layout) {
    BucketHeader header = decode_bucket_header(bucket);
    if (layout == EntryLayout::kProlog2) {
        header.nxtrecid = bucket[kBucketNxtrecidOffset];
    }
    return header;
}

EntryWalk walk_entries(const EntryFormat& format, const unsigned char* bucket, std::size_t freespace) {
    return {format, bucket, freespace, kBucketHeaderSize};
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
