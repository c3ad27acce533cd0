#include "indexed/descriptor_dumps.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "formats/indexed_layout.h"
#include "platform/console.h"
#include "platform/raw_io.h"

namespace {

struct FlagName {
    std::uint8_t bit;
    const char* name;
};

constexpr FlagName kFlagNames[] = {
    {0x01, "dupkeys"}, {0x02, "chgkeys"},   {0x04, "nulkeys"},  {0x08, "idx_compr"},
    {0x10, "initidx"}, {0x40, "key_compr"}, {0x80, "rec_compr"},
};

constexpr const char* kDatatypeNames[] = {
    "string",  "sgnword",  "unsgnword",  "sgnlong",  "unsgnlong",  "packed",  "sgnquad",  "unsgnquad",  "collated",
    "dstring", "dsgnword", "dunsgnword", "dsgnlong", "dunsgnlong", "dpacked", "dsgnquad", "dunsgnquad", "dcollated",
};

// Codes 32 to 40 are the descending forms of codes 0 to 8.
constexpr std::uint8_t kDescendingFirst = 32;
constexpr std::uint8_t kNamedPerDirection = 9;

// A key number is a byte: a chain longer than that has lost its way.
constexpr int kMaxKeys = 256;

constexpr std::size_t kAreasPerBlock = kBlockSize / kAreaDescriptorSize;

void print_datatype(const char* format_name, const char* format_number, std::uint8_t code, Console& console) {
    const char* name = key_datatype_name(code);
    if (name != nullptr) {
        message(console, format_name, name);
    } else {
        message(console, format_number, code);
    }
}

// Reads the block *next_vbn into block and advances *next_vbn; false after
// a message naming what the dump was after.
bool read_next_block(int input_fd, unsigned char* block, std::uint32_t* next_vbn, const char* what,
                     Console& console) {
    const std::uint32_t vbn = *next_vbn;
    std::size_t got = 0;
    if (!read_full_at(input_fd, block, kBlockSize, vbn_offset(vbn), &got)) {
        report_system_error(console, "read");
        return false;
    }
    if (got < kBlockSize) {
        message(console, "%s: the file ends after %zu of the 512 bytes of VBN %u\n", what, got, vbn);
        return false;
    }
    ++*next_vbn;
    return true;
}

}  // namespace

std::string key_flag_names(std::uint8_t flags) {
    std::string names;
    for (const FlagName& flag : kFlagNames) {
        if ((flags & flag.bit) != 0) {
            names += names.empty() ? "" : ",";
            names += flag.name;
        }
    }
    return names;
}

const char* key_datatype_name(std::uint8_t code) {
    if (code < kNamedPerDirection) {
        return kDatatypeNames[code];
    }
    if (code >= kDescendingFirst && code < kDescendingFirst + kNamedPerDirection) {
        return kDatatypeNames[code - kDescendingFirst + kNamedPerDirection];
    }
    return nullptr;
}

void print_key_line(const unsigned char* p, int key_number, Console& console) {
    const KeyDescriptor key = decode_key_descriptor(p);
    message(console, "key #%d: idxfl=%d", key_number, static_cast<std::int32_t>(key.idxfl));
    message(console, ",noff=0x%x,ianum=%d,lanum=%d,danum=%d,rootlev=%d,idxbktsz=%d,datbktsz=%d,rootvbn=%d", key.noff,
            key.ianum, key.lanum, key.danum, key.rootlev, key.idxbktsz, key.datbktsz,
            static_cast<std::int32_t>(key.rootvbn));
    message(console, ",flags=(%s)", key_flag_names(key.flags).c_str());
    print_datatype(",datatype=%s", ",datatype=%d", key.datatype, console);
    message(console, ",segments=%d,nullchar=%d,keysz=%d,keyref=%d,minrecsz=%d,idxfill=%d,datfill=%d", key.segments,
            key.nullchar, key.keysz, key.keyref, key.minrecsz, key.idxfill, key.datfill);
    // The descriptor has room for 8 segments; a larger count shows those.
    const int shown = std::clamp<int>(key.segments, 1, kMaxKeySegments);
    message(console, ",position=(%d", key.position[0]);
    for (int i = 1; i < shown; ++i) {
        message(console, ",%d", key.position[i]);
    }
    message(console, "),size=(%d", key.size[0]);
    for (int i = 1; i < shown; ++i) {
        message(console, ",%d", key.size[i]);
    }
    message(console, ")");
    // A first byte below a blank is the length of the name behind it;
    // otherwise the name ends at a blank, or with the field.
    const char* name = reinterpret_cast<const char*>(key.keynam);
    if (key.keynam[0] < 0x20) {
        message(console, ",keynam='%.*s'", static_cast<int>(key.keynam[0]), name + 1);
    } else {
        const unsigned char* end = std::find(key.keynam, key.keynam + kKeyNameSize, ' ');
        message(console, ",keynam='%.*s'", static_cast<int>(end - key.keynam), name);
    }
    message(console, ",ldvbn=%d", static_cast<std::int32_t>(key.ldvbn));
    print_datatype(",type=(%s", ",type=(%d", key.type[0], console);
    for (int i = 1; i < shown; ++i) {
        print_datatype(",%s", ",%d", key.type[i], console);
    }
    message(console, ")\n");
}

void dump_key_descriptors(int input_fd, const unsigned char* vbn1, std::uint32_t* next_vbn, Console& console) {
    unsigned char block[kBlockSize];
    const unsigned char* in_hand = vbn1;
    std::uint32_t vbn_in_hand = 1;
    std::size_t offset = 0;
    for (int key_number = 0;; ++key_number) {
        if (key_number == kMaxKeys) {
            message(console, "key descriptor chain does not end after %d keys\n", kMaxKeys);
            return;
        }
        print_key_line(in_hand + offset, key_number, console);
        const KeyDescriptor key = decode_key_descriptor(in_hand + offset);
        if (key.idxfl == 0) {
            return;
        }
        if (key.idxfl != vbn_in_hand) {
            if (!read_next_block(input_fd, block, next_vbn, "key descriptors", console)) {
                return;
            }
            in_hand = block;
            vbn_in_hand = key.idxfl;
        }
        if (key.noff + kKeyDescriptorSize > kBlockSize) {
            message(console, "key #%d: descriptor at noff 0x%x reaches past its block (VBN %u)\n", key_number + 1,
                    key.noff, key.idxfl);
            return;
        }
        offset = key.noff;
    }
}

void dump_area_descriptors(int input_fd, int count, std::uint32_t* next_vbn, Console& console) {
    unsigned char block[kBlockSize];
    for (int i = 0; i < count; ++i) {
        if (i % kAreasPerBlock == 0 && !read_next_block(input_fd, block, next_vbn, "area descriptors", console)) {
            return;
        }
        print_area_line(block + kAreaDescriptorSize * (i % kAreasPerBlock), i, console);
    }
}

void print_area_line(const unsigned char* p, int i, Console& console) {
    const AreaDescriptor area = decode_area_descriptor(p);
    message(console, "area #%d: flags=0x%02x,areaid=%d,arbktsz=%d,volume=%d,aln=0x%02x,aop=0x%02x", i, area.flags,
            area.areaid, area.arbktsz, area.volume, area.aln, area.aop);
    message(console, ",avail=%d,cvbn=%d,cnblk=%d,used=%d,nxtvbn=%d,nxt=%d,nxblk=%d,deq=%d,loc=%d",
            static_cast<std::int32_t>(area.avail), static_cast<std::int32_t>(area.cvbn),
            static_cast<std::int32_t>(area.cnblk), static_cast<std::int32_t>(area.used),
            static_cast<std::int32_t>(area.nxtvbn), static_cast<std::int32_t>(area.nxt),
            static_cast<std::int32_t>(area.nxblk), area.deq, static_cast<std::int32_t>(area.loc));
    message(console, ",rfi=0x%04x%04x%04x,total_alloc=%d,check=0x%04x\n", area.rfi[2], area.rfi[1], area.rfi[0],
            static_cast<std::int32_t>(area.total_alloc), area.check);
}
