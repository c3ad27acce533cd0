// The copy array: how the pieces of a stored record (the primary key's
// segments in front, the other bytes behind) go back into the user's byte
// order. Built once per copy from key 0 and applied to every record.
#pragma once

#include <cstdint>

#include "formats/indexed_layout.h"

struct Console;

// The len bytes at offset src of the stored record belong at position pos
// of the user record. len -1 marks the tail: the bytes from src to the end.
struct CopyEntry {
    std::int32_t src;
    std::int32_t len;
    std::int32_t pos;
};

inline constexpr std::int32_t kTailLength = -1;

// Room for every key segment, a gap piece before each, and the tail.
inline constexpr int kMaxCopyEntries = 2 * kMaxKeySegments + 1;

struct CopyArray {
    CopyEntry entries[kMaxCopyEntries];
    int count = 0;
};

// Builds the array from the segments, positions and sizes of key (at most
// kMaxKeySegments segments), entries ordered by pos, and lists it under its
// three headings (the -v3 trace) on trace when given.
void build_copy_array(const KeyDescriptor& key, CopyArray& array, Console* trace);

// The array of records stored whole, in user order (prologs 1 and 2): the
// tail alone.
void build_whole_record_copy_array(CopyArray& array);

// Whether every piece stays where it lies (the key's segments lie in front,
// in order, from position 0): stored records are then user records.
bool copy_array_in_user_order(const CopyArray& array);

// The fewest bytes a stored record must hold for every piece of the array.
std::int32_t copy_array_minimum_length(const CopyArray& array);
