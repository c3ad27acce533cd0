// The data record entries of one indexed bucket, walked one at a time as
// the copier and the probe both read them. The walk reports what it finds
// and prints nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// How the entries of a file are laid out.
struct EntryFormat {
    // Entries of live and deleted records carry the body length rl; without
    // it (fixed-length records stored whole) every body is fixed_length
    // bytes.
    bool length_field = true;
    std::size_t fixed_length = 0;
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
    // head_read false.
    const unsigned char* head = nullptr;
    bool head_read = false;
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

EntryWalk walk_entries(const EntryFormat& format, const unsigned char* bucket, std::size_t freespace);

// The next entry; false when the entries end (at freespace, or after a
// damaged one was returned).
bool next_entry(EntryWalk& walk, Entry& entry);

// The message that reports a damaged entry of the bucket at vbn, without a
// line end.
std::string describe_entry_fault(const Entry& entry, std::uint32_t vbn, std::size_t freespace);
