#include "indexed/expansion.h"

#include <algorithm>
#include <cstring>

#include "platform/console.h"
#include "platform/formatted.h"
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
// at body byte pos cannot be expanded. Returns false.
bool refuse_segment(Console* trace, std::string& fault, EntryPlace place, std::size_t pos, const char* why) {
    if (trace != nullptr) {
        message(*trace, "\n");
    }
    fault = formatted("compressed data at VBN %u, offset %zu: the segment at body byte %zu %s", place.vbn,
                      place.offset, pos, why);
    return false;
}

}  // namespace

bool expand_key(Expansion& expansion, const unsigned char* form, std::size_t readable, EntryPlace place,
                Console* trace, std::string& fault, std::size_t* taken) {
    if (readable < kKeyFormHeader) {
        fault = formatted("compressed key at VBN %u, offset %zu, reaches past freespace", place.vbn, place.offset);
        return false;
    }
    const std::size_t len = form[0];
    const std::size_t cnt = form[1];
    if (trace != nullptr) {
        message(*trace, "compk, len=%zu, cnt=%zu\n", len, cnt);
    }
    const std::size_t keysz = expansion.keysz;
    if (kKeyFormHeader + len > readable) {
        fault = formatted("compressed key at VBN %u, offset %zu: its form of %zu bytes reaches past freespace",
                          place.vbn, place.offset, kKeyFormHeader + len);
        return false;
    }
    if (cnt + len > keysz) {
        fault = formatted("compressed key at VBN %u, offset %zu: len %zu and cnt %zu exceed keysz %zu", place.vbn,
                          place.offset, len, cnt, keysz);
        return false;
    }
    if (cnt > 0 && !expansion.have_key) {
        fault = formatted("compressed key at VBN %u, offset %zu: cnt %zu refers to a key before the first", place.vbn,
                          place.offset, cnt);
        return false;
    }
    if (cnt + len == 0 && keysz > 0) {
        fault = formatted("compressed key at VBN %u, offset %zu: no key byte to repeat", place.vbn, place.offset);
        return false;
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
    *taken = kKeyFormHeader + len;
    return true;
}

bool expand_data(Expansion& expansion, const unsigned char* form, std::size_t n, EntryPlace place, Console* trace,
                 std::string& fault) {
    std::vector<unsigned char>& record = expansion.record;
    if (trace != nullptr) {
        message(*trace, "compd, rl=%zu", n);
    }
    std::size_t ulen = expansion.keysz;
    std::size_t pos = 0;
    while (pos < n) {
        const std::size_t len = n - pos >= 2 ? le16(form + pos) : n;
        if (pos + kSegmentOverhead + len > n) {
            return refuse_segment(trace, fault, place, pos, "reaches past the body");
        }
        const std::size_t cnt = form[pos + 2 + len];
        if (trace != nullptr) {
            message(*trace, ", len=%zu, cnt=%zu", len, cnt);
        }
        if (cnt > 0 && len == 0 && ulen == 0) {
            return refuse_segment(trace, fault, place, pos, "has no byte to repeat");
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
    if (trace != nullptr) {
        message(*trace, ", ulen=%zu\n", ulen);
    }
    return true;
}

bool expand_record(Expansion& expansion, const unsigned char* body, std::size_t rl, std::size_t readable,
                   EntryPlace place, Console* trace, std::string& fault, std::size_t* length) {
    const std::size_t keysz = expansion.keysz;
    std::vector<unsigned char>& record = expansion.record;
    reserve_record(record, keysz);
    std::size_t taken = keysz;
    if (expansion.key_compressed) {
        if (!expand_key(expansion, body, readable, place, trace, fault, &taken)) {
            return false;
        }
    } else if (keysz > readable) {
        fault = formatted("key at VBN %u, offset %zu: keysz %zu reaches past freespace", place.vbn, place.offset, keysz);
        return false;
    } else {
        std::copy(body, body + keysz, record.begin());
    }

    if (expansion.data_compressed) {
        // A key that takes more than the body leaves no data segments.
        if (taken < rl && !expand_data(expansion, body + taken, rl - taken, place, trace, fault)) {
            return false;
        }
        if (taken >= rl) {
            expansion.length = keysz;
            if (trace != nullptr) {
                message(*trace, "compd, rl=%ld, ulen=%zu\n", static_cast<long>(rl) - static_cast<long>(taken), keysz);
            }
        }
    } else if (taken > rl) {
        fault = formatted("key at VBN %u, offset %zu, takes %zu bytes of a %zu-byte body", place.vbn, place.offset,
                          taken, rl);
        return false;
    } else {
        expansion.length = keysz + rl - taken;
        reserve_record(record, expansion.length);
        std::copy(body + taken, body + rl, record.begin() + static_cast<long>(keysz));
    }
    *length = expansion.length;
    return true;
}
