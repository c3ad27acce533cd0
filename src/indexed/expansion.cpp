#include "indexed/expansion.h"

#include <algorithm>
#include <cstring>

#include "driver/run_options.h"
#include "platform/console.h"
#include "platform/little_endian.h"

namespace {

// The compk form: len, cnt, then the len stored key bytes.
constexpr std::size_t kKeyFormHeader = 2;
// A compd segment: a 2-byte len, the len bytes, and the 1-byte cnt.
constexpr std::size_t kSegmentOverhead = 3;

// Makes room for size bytes in the record's storage, keeping its bytes.
void reserve_record(std::vector<unsigned char>& record, std::size_t size) {
    if (record.size() < size) {
        record.resize(std::max(size, 2 * record.size()));
    }
}

// Ends the trace line a refusal interrupts, then says why the data segment
// at body byte pos cannot be expanded. Returns 1.
int refuse_segment(Console& console, bool traces, EntryPlace place, std::size_t pos, const char* why) {
    if (traces) {
        message(console, "\n");
    }
    message(console, "compressed data at VBN %u, offset %zu: the segment at body byte %zu %s\n", place.vbn,
            place.offset, pos, why);
    return 1;
}

}  // namespace

long expand_key(Expansion& expansion, const unsigned char* form, std::size_t readable, EntryPlace place,
                const RunOptions& options, Console& console) {
    if (readable < kKeyFormHeader) {
        message(console, "compressed key at VBN %u, offset %zu, reaches past freespace\n", place.vbn, place.offset);
        return -1;
    }
    const std::size_t len = form[0];
    const std::size_t cnt = form[1];
    if (verbose_traces(options)) {
        message(console, "compk, len=%zu, cnt=%zu\n", len, cnt);
    }
    const std::size_t keysz = expansion.keysz;
    if (kKeyFormHeader + len > readable) {
        message(console, "compressed key at VBN %u, offset %zu: its form of %zu bytes reaches past freespace\n",
                place.vbn, place.offset, kKeyFormHeader + len);
        return -1;
    }
    if (cnt + len > keysz) {
        message(console, "compressed key at VBN %u, offset %zu: len %zu and cnt %zu exceed keysz %zu\n", place.vbn,
                place.offset, len, cnt, keysz);
        return -1;
    }
    if (cnt > 0 && !expansion.have_key) {
        message(console, "compressed key at VBN %u, offset %zu: cnt %zu refers to a key before the first\n",
                place.vbn, place.offset, cnt);
        return -1;
    }
    if (cnt + len == 0 && keysz > 0) {
        message(console, "compressed key at VBN %u, offset %zu: no key byte to repeat\n", place.vbn, place.offset);
        return -1;
    }
    if (expansion.key.size() != keysz) {
        expansion.key.resize(keysz);
    }
    unsigned char* const key = expansion.key.data();
    std::copy(form + kKeyFormHeader, form + kKeyFormHeader + len, key + cnt);
    if (cnt + len < keysz) {
        std::fill(key + cnt + len, key + keysz, key[cnt + len - 1]);
    }
    expansion.have_key = true;
    std::copy(key, key + keysz, expansion.record.data());
    return static_cast<long>(kKeyFormHeader + len);
}

int expand_data(Expansion& expansion, const unsigned char* form, std::size_t n, EntryPlace place,
                const RunOptions& options, Console& console) {
    std::vector<unsigned char>& record = expansion.record;
    const bool traces = verbose_traces(options);
    if (traces) {
        message(console, "compd, rl=%zu", n);
    }
    std::size_t ulen = expansion.keysz;
    std::size_t pos = 0;
    while (pos < n) {
        const std::size_t len = n - pos >= 2 ? le16(form + pos) : n;
        if (pos + kSegmentOverhead + len > n) {
            return refuse_segment(console, traces, place, pos, "reaches past the body");
        }
        const std::size_t cnt = form[pos + 2 + len];
        if (traces) {
            message(console, ", len=%zu, cnt=%zu", len, cnt);
        }
        if (cnt > 0 && len == 0 && ulen == 0) {
            return refuse_segment(console, traces, place, pos, "has no byte to repeat");
        }
        reserve_record(record, ulen + len + cnt);
        unsigned char* const out = record.data() + ulen;
        std::copy(form + pos + 2, form + pos + 2 + len, out);
        if (cnt > 0) {
            std::memset(out + len, out[static_cast<std::ptrdiff_t>(len) - 1], cnt);
        }
        pos += len + kSegmentOverhead;
        ulen += len + cnt;
    }
    expansion.length = ulen;
    if (traces) {
        message(console, ", ulen=%zu\n", ulen);
    }
    return 0;
}

int expand_record(Expansion& expansion, const unsigned char* body, std::size_t rl, std::size_t readable,
                  EntryPlace place, const RunOptions& options, Console& console, std::size_t* length) {
    const std::size_t keysz = expansion.keysz;
    std::vector<unsigned char>& record = expansion.record;
    reserve_record(record, keysz);
    std::size_t taken = keysz;
    if (expansion.key_compressed) {
        const long form = expand_key(expansion, body, readable, place, options, console);
        if (form < 0) {
            return 1;
        }
        taken = static_cast<std::size_t>(form);
    } else if (keysz > readable) {
        message(console, "key at VBN %u, offset %zu: keysz %zu reaches past freespace\n", place.vbn, place.offset,
                keysz);
        return 1;
    } else {
        std::copy(body, body + keysz, record.begin());
    }

    if (expansion.data_compressed) {
        // A key that takes more than the body leaves no data segments.
        if (taken < rl && expand_data(expansion, body + taken, rl - taken, place, options, console) != 0) {
            return 1;
        }
        if (taken >= rl) {
            expansion.length = keysz;
            if (verbose_traces(options)) {
                message(console, "compd, rl=%ld, ulen=%zu\n", static_cast<long>(rl) - static_cast<long>(taken),
                        keysz);
            }
        }
    } else if (taken > rl) {
        message(console, "key at VBN %u, offset %zu, takes %zu bytes of a %zu-byte body\n", place.vbn, place.offset,
                taken, rl);
        return 1;
    } else {
        expansion.length = keysz + rl - taken;
        reserve_record(record, expansion.length);
        std::copy(body + taken, body + rl, record.begin() + static_cast<long>(keysz));
    }
    *length = expansion.length;
    return 0;
}
