// The data record entries of one indexed bucket, walked one at a time as
// the copier and the probe both read them. The walk reports what it finds
// and prints nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/indexed_layout.h"
#include "platform/little_endian.h"

// Which entry layout a file's buckets hold.
enum class EntryLayout {
    kProlog3,  // two-byte record ids, six-byte rrv pointers
    kProlog2,  // prologs 1 and 2: one-byte ids, pointers of 2 to 5 bytes or none
};

// The entry layout of a prolog version: 3, or 1 and 2 (the caller has
// refused any other).
inline EntryLayout entry_layout_of(std::uint16_t ver_no) {
    return ver_no == kPrologVersion3 ? EntryLayout::kProlog3 : EntryLayout::kProlog2;
}

// A data bucket's header, its nxtrecid as the layout keeps it: prolog 1 and
// 2 buckets hold a one-byte id where prolog 3 ones hold two bytes.
BucketHeader decode_data_bucket_header(const unsigned char* bucket, EntryLayout layout);

// How the entries of a file are laid out.
struct EntryFormat {
    // Entries of live and deleted records carry the body length rl; without
    // it (fixed-length records stored whole) every body is fixed_length
    // bytes.
    bool length_field = true;
    std::size_t fixed_length = 0;
    EntryLayout layout = EntryLayout::kProlog3;
};

enum class EntryKind {
    kLive,
    kDeleted,
    kRrv,      // a pointer to a record that moved to another bucket
    kDamaged,  // fault says what
};

enum class EntryFault {
    kNone,
    kHeadPastFreespace,  // the entry's fixed part reaches past freespace
    kBodyPastFreespace,  // its body of rl bytes does
};

struct Entry {
    EntryKind kind = EntryKind::kDamaged;
    std::size_t offset = 0;  // in the bucket
    // The entry's first bytes (control byte, record id, rrv pointer): all
    // lie before freespace unless fault is kHeadPastFreespace with
    // head_read false. entry_ids decodes them.
    const unsigned char* head = nullptr;
    bool head_read = false;
    // Whether rl was read from the entry's length field rather than taken
    // from the format's fixed length.
    bool rl_read = false;
    const unsigned char* body = nullptr;
    std::size_t rl = 0;  // bytes of the body
    EntryFault fault = EntryFault::kNone;
};

// A walk over the entries of one bucket, from behind its header up to
// freespace (which the caller has checked against the bucket's bytes).
struct EntryWalk {
    EntryFormat format;
    const unsigned char* bucket = nullptr;
    std::size_t freespace = 0;
    std::size_t next = 0;  // offset of the next entry
};

// The fields of an entry's head.
struct EntryIds {
    std::uint8_t ctrl = 0;
    std::uint32_t record_id = 0;
    bool has_pointer = false;  // a prolog 1 or 2 entry may have no rrv pointer
    std::uint32_t rrv_id = 0;
    std::uint64_t rrv_vbn = 0;
};

// Decodes the head of an entry the walk returned with head_read set.
EntryIds entry_ids(const Entry& entry, const EntryFormat& format);

EntryWalk walk_entries(const EntryFormat& format, const unsigned char* bucket, std::size_t freespace);

// The bytes a prolog 1 or 2 entry's head takes: control byte and record id,
// then the rrv id and pointer unless it has none.
inline std::size_t short_head_size(unsigned char ctrl) {
    if ((ctrl & kEntryNoPointer) != 0) {
        return kShortEntryIdsSize;
    }
    return kShortEntryPointerOffset + (ctrl & kEntryPointerSizeCode) + kShortEntryPointerBase;
}

// Ends a walk at a damaged entry; returns true, as next_entry does.
inline bool walk_to_damage(EntryWalk& walk, Entry& entry, EntryFault fault) {
    entry.kind = EntryKind::kDamaged;
    entry.fault = fault;
    walk.next = walk.freespace;
    return true;
}

// The next entry; false when the entries end (at freespace, or after a
// damaged one was returned). Inline: the copier walks millions.
inline bool next_entry(EntryWalk& walk, Entry& entry) {
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
        return walk_to_damage(walk, entry, EntryFault::kHeadPastFreespace);
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
            return walk_to_damage(walk, entry, EntryFault::kHeadPastFreespace);
        }
        rl = le16(entry.head + head_size);
        entry.rl_read = true;
        body += kEntryLengthSize;
    }
    entry.rl = rl;
    if (freespace - body < rl) {
        return walk_to_damage(walk, entry, EntryFault::kBodyPastFreespace);
    }
    entry.kind = (ctrl & kEntryDeleted) != 0 ? EntryKind::kDeleted : EntryKind::kLive;
    entry.body = walk.bucket + body;
    walk.next = body + rl;
    return true;
}



// The message that reports a damaged entry of the bucket at vbn, without a
// line end.
std::string describe_entry_fault(const Entry& entry, std::uint32_t vbn, std::size_t freespace);
