#include "indexed/copy_array.h"

#include <algorithm>

#include "platform/console.h"

namespace {

void list_entries(const CopyArray& array, const char* heading, Console& console) {
    message(console, "%s", heading);
    for (int i = 0; i < array.count; ++i) {
        const CopyEntry& entry = array.entries[i];
        message(console, "cp[%d]=(%d,%d,%d)\n", i, entry.src, entry.len, entry.pos);
    }
}

void insert_at(CopyArray& array, int index, CopyEntry entry) {
    std::copy_backward(array.entries + index, array.entries + array.count, array.entries + array.count + 1);
    array.entries[index] = entry;
    ++array.count;
}

}  // namespace

void build_copy_array(const KeyDescriptor& key, CopyArray& array, Console* trace) {
    array.count = 0;
    const int segments = std::min<int>(key.segments, kMaxKeySegments);

    // The key pieces, ordered by position; equal positions keep segment order.
    std::int32_t stored = 0;
    for (int j = 0; j < segments; ++j) {
        int index = 0;
        while (index < array.count && array.entries[index].pos <= key.position[j]) {
            ++index;
        }
        insert_at(array, index, {stored, key.size[j], key.position[j]});
        stored += key.size[j];
    }
    if (trace != nullptr) {
        list_entries(array, "copy array with keys\n", *trace);
    }

    // The data pieces in the gaps before the key pieces, then the tail.
    std::int32_t data = stored;
    std::int32_t position = 0;
    for (int k = 0; k < array.count; ++k) {
        if (array.entries[k].pos > position) {
            const std::int32_t gap = array.entries[k].pos - position;
            insert_at(array, k, {data, gap, position});
            data += gap;
        }
        position += array.entries[k].len;
    }
    array.entries[array.count++] = {data, kTailLength, position};
    if (trace != nullptr) {
        list_entries(array, "copy array with keys and data\n", *trace);
        list_entries(array, "collapsed copy array (nyi)\n", *trace);
    }
}

void build_whole_record_copy_array(CopyArray& array) {
    array.entries[0] = {0, kTailLength, 0};
    array.count = 1;
}

bool copy_array_in_user_order(const CopyArray& array) {
    return std::all_of(array.entries, array.entries + array.count,
                       [](const CopyEntry& entry) { return entry.src == entry.pos; });
}

std::int32_t copy_array_minimum_length(const CopyArray& array) {
    std::int32_t minimum = 0;
    for (int i = 0; i < array.count; ++i) {
        const CopyEntry& entry = array.entries[i];
        minimum = std::max(minimum, entry.len == kTailLength ? entry.src : entry.src + entry.len);
    }
    return minimum;
}
