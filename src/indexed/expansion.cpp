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
constexpr std::size_t kSegmentData = 2;

// Pieces are copied and filled in strides of 16 and 32 bytes, which cost a
// few moves and no call; the strides may reach up to kStride bytes past the
// piece, and the caller vouches for those bytes.
constexpr std::size_t kStride = 32;
constexpr std::size_t kFirstStride = 16;

void copy_in_strides(unsigned char* to, const unsigned char* from, std::size_t n) {
    std::memcpy(to, from, kFirstStride);
    for (std::size_t i = kFirstStride; i < n; i += kStride) {
        std::memcpy(to + i, from + i, kStride);
    }
}

void fill_in_strides(unsigned char* to, unsigned char byte, std::size_t n) {
    unsigned char pattern[kStride];
    std::memset(pattern, byte, kStride);
    std::memcpy(to, pattern, kFirstStride);
    for (std::size_t i = kFirstStride; i < n; i += kStride) {
        std::memcpy(to + i, pattern, kStride);
    }
}

// Copies n bytes, in strides when from has `readable` bytes and to has
// `room`, each kStride beyond the n.
void copy_piece(unsigned char* to, std::size_t room, const unsigned char* from, std::size_t readable, std::size_t n) {
    if (n + kStride <= room && n + kStride <= readable) {
        copy_in_strides(to, from, n);
    } else {
        std::memcpy(to, from, n);
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

// Says why check_key refuses the key at form (readable bytes of it),
// testing in the order the key is read. Returns false.
bool refuse_key(const Expansion& expansion, const unsigned char* form, std::size_t readable, EntryPlace place,
                std::string& fault) {
    if (!expansion.key_compressed) {
        fault = formatted("key at VBN %u, offset %zu: keysz %zu reaches past freespace", place.vbn, place.offset,
                          expansion.keysz);
        return false;
    }
    if (readable < kKeyFormHeader) {
        fault = formatted("compressed key at VBN %u, offset %zu, reaches past freespace", place.vbn, place.offset);
        return false;
    }
    const std::size_t len = form[0];
    const std::size_t cnt = form[1];
    if (kKeyFormHeader + len > readable) {
        fault = formatted("compressed key at VBN %u, offset %zu: its form of %zu bytes reaches past freespace",
                          place.vbn, place.offset, kKeyFormHeader + len);
    } else if (cnt + len > expansion.keysz) {
        fault = formatted("compressed key at VBN %u, offset %zu: len %zu and cnt %zu exceed keysz %zu", place.vbn,
                          place.offset, len, cnt, expansion.keysz);
    } else if (cnt > 0 && !expansion.have_key) {
        fault = formatted("compressed key at VBN %u, offset %zu: cnt %zu refers to a key before the first", place.vbn,
                          place.offset, cnt);
    } else {
        fault = formatted("compressed key at VBN %u, offset %zu: no key byte to repeat", place.vbn, place.offset);
    }
    return false;
}

// Whether a compk form of len stored and cnt shared bytes, readable bytes
// of it in the body, can be expanded: it lies before freespace and inside
// the key, refers back only to a key before it, and leaves a byte to repeat.
bool key_form_fits(const Expansion& expansion, std::size_t len, std::size_t cnt, std::size_t readable) {
    const std::size_t keysz = expansion.keysz;
    return kKeyFormHeader + len <= readable && cnt + len <= keysz && (cnt == 0 || expansion.have_key) &&
           (cnt + len != 0 || keysz == 0);
}

// Checks the key at the front of a body, printing the compk trace: a compk
// form must fit (key_form_fits), a plain key lie before freespace. *taken
// is the bytes of the body the key takes.
bool check_key(const Expansion& expansion, const unsigned char* body, std::size_t readable, EntryPlace place,
               Console* trace, std::string& fault, std::size_t* taken) {
    const std::size_t keysz = expansion.keysz;
    if (!expansion.key_compressed) {
        *taken = keysz;
        return keysz <= readable || refuse_key(expansion, body, readable, place, fault);
    }
    if (readable < kKeyFormHeader) {
        return refuse_key(expansion, body, readable, place, fault);
    }
    const std::size_t len = body[0];
    const std::size_t cnt = body[1];
    if (trace != nullptr) {
        message(*trace, "compk, len=%zu, cnt=%zu\n", len, cnt);
    }
    if (!key_form_fits(expansion, len, cnt, readable)) {
        return refuse_key(expansion, body, readable, place, fault);
    }
    *taken = kKeyFormHeader + len;
    return true;
}

// Expands the compk form at form (readable bytes of it), which check_key
// accepted, into the key buffer.
void expand_key(Expansion& expansion, const unsigned char* form, std::size_t readable) {
    const std::size_t keysz = expansion.keysz;
    const std::size_t len = form[0];
    const std::size_t cnt = form[1];
    if (expansion.key.size() < keysz + kStride) {
        expansion.key.resize(keysz + kStride);
    }
    unsigned char* const key = expansion.key.data();
    copy_piece(key + cnt, expansion.key.size() - cnt, form + kKeyFormHeader, readable - kKeyFormHeader, len);
    if (cnt + len < keysz) {
        std::memset(key + cnt + len, key[cnt + len - 1], keysz - cnt - len);
    }
    expansion.have_key = true;
}

// Uncompressed data must follow the key inside the body.
bool check_plain_data(std::size_t taken, std::size_t rl, EntryPlace place, std::string& fault) {
    if (taken > rl) {
        fault = formatted("key at VBN %u, offset %zu, takes %zu bytes of a %zu-byte body", place.vbn, place.offset,
                          taken, rl);
        return false;
    }
    return true;
}

// The compd segment at pos of the n bytes at form, behind ulen expanded
// bytes: its len and cnt, once it is found to lie inside the n bytes and to
// have a byte to repeat. Traces its len and cnt.
bool read_segment(const unsigned char* form, std::size_t n, std::size_t pos, std::size_t ulen, EntryPlace place,
                  Console* trace, std::string& fault, std::size_t* len, std::size_t* cnt) {
    *len = n - pos >= kSegmentData ? le16(form + pos) : n;
    if (pos + kSegmentOverhead + *len > n) {
        return refuse_segment(trace, fault, place, pos, "reaches past the body");
    }
    *cnt = form[pos + kSegmentData + *len];
    if (trace != nullptr) {
        message(*trace, ", len=%zu, cnt=%zu", *len, *cnt);
    }
    if (*cnt > 0 && *len == 0 && ulen == 0) {
        return refuse_segment(trace, fault, place, pos, "has no byte to repeat");
    }
    return true;
}

// Checks the n bytes of compd segments at form and adds what they expand
// to onto *ulen, the bytes before them (the key).
bool measure_data(const unsigned char* form, std::size_t n, EntryPlace place, Console* trace, std::string& fault,
                  std::size_t* ulen) {
    if (trace != nullptr) {
        message(*trace, "compd, rl=%zu", n);
    }
    std::size_t expanded = *ulen;
    std::size_t len = 0;
    std::size_t cnt = 0;
    for (std::size_t pos = 0; pos < n; pos += len + kSegmentOverhead) {
        if (!read_segment(form, n, pos, expanded, place, trace, fault, &len, &cnt)) {
            return false;
        }
        expanded += len + cnt;
    }
    if (trace != nullptr) {
        message(*trace, ", ulen=%zu\n", expanded);
    }
    *ulen = expanded;
    return true;
}

// Checks a body as expand_record_into does and finds the length of the
// record it expands to, printing the compk and compd traces; writes
// nothing.
bool measure_record(Expansion& expansion, const unsigned char* body, std::size_t rl, std::size_t readable,
                    EntryPlace place, Console* trace, std::string& fault, std::size_t* measured) {
    const std::size_t keysz = expansion.keysz;
    std::size_t taken = 0;
    if (!check_key(expansion, body, readable, place, trace, fault, &taken)) {
        return false;
    }
    std::size_t length = keysz;
    if (expansion.data_compressed) {
        // A key that takes more than the body leaves no data segments.
        if (taken < rl) {
            if (!measure_data(body + taken, rl - taken, place, trace, fault, &length)) {
                return false;
            }
        } else if (trace != nullptr) {
            message(*trace, "compd, rl=%ld, ulen=%zu\n", static_cast<long>(rl) - static_cast<long>(taken), keysz);
        }
    } else if (!check_plain_data(taken, rl, place, fault)) {
        return false;
    } else {
        length += rl - taken;
    }
    *measured = length;
    return true;
}

}  // namespace

ExpansionResult expand_record_into(Expansion& expansion, const unsigned char* body, std::size_t rl,
                                   std::size_t readable, EntryPlace place, std::string& fault, unsigned char* out,
                                   std::size_t room, std::size_t* length) {
    // The key, checked as check_key checks it (here without a trace).
    const std::size_t keysz = expansion.keysz;
    std::size_t taken = keysz;
    if (expansion.key_compressed) {
        if (readable < kKeyFormHeader || !key_form_fits(expansion, body[0], body[1], readable)) {
            refuse_key(expansion, body, readable, place, fault);
            return ExpansionResult::kRefused;
        }
        taken = kKeyFormHeader + body[0];
    } else if (keysz > readable) {
        refuse_key(expansion, body, readable, place, fault);
        return ExpansionResult::kRefused;
    }
    if (keysz > room) {
        return ExpansionResult::kNoRoom;
    }
    // Every piece of the body ends by its end: when kStride bytes follow
    // the body before freespace, every piece may be read in strides.
    const bool strides_readable = readable - rl >= kStride;
    if (expansion.key_compressed) {
        expand_key(expansion, body, readable);
        copy_piece(out, room, expansion.key.data(), keysz + kStride, keysz);
    } else {
        copy_piece(out, room, body, readable, keysz);
    }
    std::size_t ulen = keysz;
    if (!expansion.data_compressed) {
        if (!check_plain_data(taken, rl, place, fault)) {
            return ExpansionResult::kRefused;
        }
        const std::size_t n = rl - taken;
        if (n > room - ulen) {
            return ExpansionResult::kNoRoom;
        }
        copy_piece(out + ulen, room - ulen, body + taken, readable - taken, n);
        *length = ulen + n;
        return ExpansionResult::kExpanded;
    }
    const unsigned char* const form = body + taken;
    const std::size_t n = rl > taken ? rl - taken : 0;
    std::size_t len = 0;
    std::size_t cnt = 0;
    for (std::size_t pos = 0; pos < n; pos += len + kSegmentOverhead) {
        if (!read_segment(form, n, pos, ulen, place, nullptr, fault, &len, &cnt)) {
            return ExpansionResult::kRefused;
        }
        const std::size_t left = room - ulen;
        unsigned char* const next = out + ulen;
        const unsigned char* const data = form + pos + kSegmentData;
        if (len + cnt + kStride <= left && strides_readable) {
            // The common case: room and bytes to spare for strides.
            copy_in_strides(next, data, len);
            if (cnt > 0) {
                fill_in_strides(next + len, next[static_cast<std::ptrdiff_t>(len) - 1], cnt);
            }
        } else if (len + cnt <= left) {
            std::memcpy(next, data, len);
            if (cnt > 0) {
                std::memset(next + len, next[static_cast<std::ptrdiff_t>(len) - 1], cnt);
            }
        } else {
            return ExpansionResult::kNoRoom;
        }
        ulen += len + cnt;
    }
    *length = ulen;
    return ExpansionResult::kExpanded;
}

bool expand_record(Expansion& expansion, const unsigned char* body, std::size_t rl, std::size_t readable,
                   EntryPlace place, Console* trace, std::string& fault, std::size_t* length) {
    std::size_t measured = 0;
    if (!measure_record(expansion, body, rl, readable, place, trace, fault, &measured)) {
        return false;
    }
    // Room for the strides behind the record: never empty, so that even an
    // empty record is written to storage.
    std::vector<unsigned char>& record = expansion.record;
    if (record.size() < measured + kStride) {
        record.resize(std::max(measured + kStride, 2 * record.size()));
    }
    // The body was checked and the room made: this expansion succeeds.
    expand_record_into(expansion, body, rl, readable, place, fault, record.data(), record.size(), length);
    expansion.length = *length;
    return true;
}
