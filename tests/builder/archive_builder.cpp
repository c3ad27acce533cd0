#include "archive_builder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "archives/saveset.h"
#include "attributes/attribute_reader.h"
#include "platform/console.h"
#include "platform/text_stream.h"

namespace archive {

namespace {

using rms::put_le16;
using rms::put_le32;

constexpr std::size_t kVbn = 512;
constexpr std::size_t kHeader = 256;
constexpr std::size_t kRecordHeader = 16;

void put_counted(Bytes& out, std::size_t at, const std::string& text, std::size_t field) {
    const std::size_t length = std::min(text.size(), field - 1);
    out[at] = static_cast<unsigned char>(length);
    std::memcpy(out.data() + at + 1, text.data(), length);
}

void put_entry(Bytes& body, std::uint16_t type, const Bytes& value) {
    put_le16(body, static_cast<std::uint16_t>(value.size()));
    put_le16(body, type);
    body.insert(body.end(), value.begin(), value.end());
}

Bytes le_bytes(std::uint64_t value, int size) {
    Bytes out;
    for (int i = 0; i < size; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    return out;
}

std::uint32_t fat_word(const Fat& f, std::size_t at) {
    return (static_cast<std::uint32_t>(f[at] | f[at + 1] << 8) << 16) | static_cast<std::uint32_t>(f[at + 2] | f[at + 3] << 8);
}

// The saveset as it is written: data blocks filled with records, an XOR
// block after every group.
struct SavesetWriter {
    explicit SavesetWriter(const SavesetLayout& given) : layout(given) {}

    const SavesetLayout& layout;
    Bytes out;
    Bytes block;
    std::size_t used = 0;  // bytes of the block written
    std::uint32_t position = 0;
    std::vector<Bytes> group;
    const SavesetMember* current = nullptr;  // the file the next block continues

    void start_block() {
        block.assign(layout.block_size, 0);
        ++position;
        rms::put_le16_at(block, 0, kHeader);
        rms::put_le16_at(block, 2, layout.opsys);
        rms::put_le16_at(block, 4, 1);
        rms::put_le16_at(block, 6, 1);
        rms::put_le32_at(block, 8, position);
        rms::put_le16_at(block, 32, 0x0101);
        rms::put_le16_at(block, 34, 1);
        rms::put_le32_at(block, 40, static_cast<std::uint32_t>(layout.block_size));
        rms::put_le32_at(block, 44, layout.no_crc ? 1 : 0);
        put_counted(block, 48, layout.name, 32);
        if (current != nullptr) {
            rms::put_le16_at(block, 80, static_cast<std::uint16_t>(position));
            put_counted(block, 92, current->name, 128);
            block[220] = current->attributes[0];
            block[221] = current->attributes[1];
            block[222] = current->attributes[2];
            block[223] = current->attributes[3];
            rms::put_le32_at(block, 228, fat_word(current->attributes, 4));
        }
        used = kHeader;
    }

    void end_block() {
        if (used + kRecordHeader <= layout.block_size) {
            rms::put_le16_at(block, used, static_cast<std::uint16_t>(layout.block_size - used - kRecordHeader));
        }
        seal_saveset_block(block.data(), block.size());
        out.insert(out.end(), block.begin(), block.end());
        group.push_back(block);
        if (layout.group_size != 0 && group.size() == layout.group_size) {
            write_xor_block();
        }
        used = 0;
    }

    void write_xor_block() {
        Bytes xor_block(layout.block_size, 0);
        for (const Bytes& data : group) {
            for (std::size_t i = 0; i < xor_block.size(); ++i) xor_block[i] ^= data[i];
        }
        ++position;
        rms::put_le16_at(xor_block, 0, kHeader);
        rms::put_le16_at(xor_block, 2, layout.opsys);
        rms::put_le16_at(xor_block, 4, 1);
        rms::put_le16_at(xor_block, 6, 2);
        rms::put_le32_at(xor_block, 8, position);
        rms::put_le32_at(xor_block, 44, layout.no_crc ? 1 : 0);
        seal_saveset_block(xor_block.data(), xor_block.size());
        out.insert(out.end(), xor_block.begin(), xor_block.end());
        group.clear();
    }

    std::size_t room() const { return layout.block_size - used; }

    // Writes a record, in a new block when it does not fit this one.
    void add_record(std::uint16_t type, std::uint32_t flags, std::uint32_t address, const Bytes& body) {
        const std::size_t padded = (body.size() + 15) / 16 * 16;
        if (used == 0 || kRecordHeader + padded > room()) {
            if (used != 0) end_block();
            start_block();
        }
        rms::put_le16_at(block, used, static_cast<std::uint16_t>(padded));
        rms::put_le16_at(block, used + 2, type);
        rms::put_le32_at(block, used + 4, flags);
        rms::put_le32_at(block, used + 8, address);
        std::memcpy(block.data() + used + kRecordHeader, body.data(), body.size());
        used += kRecordHeader + padded;
    }

    void add_member(const SavesetMember& member) {
        Bytes body;
        put_le16(body, 0x0101);
        put_entry(body, 42, rms::bytes(member.name));
        put_entry(body, 43, Bytes{1, 2});
        put_entry(body, 44, Bytes{7, 0, 1, 0, 1, 0});
        put_entry(body, 46, le_bytes(fat_word(member.attributes, 4), 4));
        if (member.has_attributes) {
            put_entry(body, 52, Bytes(member.attributes.begin(), member.attributes.end()));
        }
        put_entry(body, 51, le_bytes(member.directory ? 0x2080 : 0, 4));
        if (member.attribute_overrun) {
            put_le16(body, 64);
            put_le16(body, 79);
            put_le32(body, 0);
        } else {
            put_le32(body, 0);
        }
        const std::uint32_t flags = member.directory ? 0x02 : 0;
        add_record(3, flags, 0, body);
        current = &member;
        std::size_t blocks = (member.data.size() + kVbn - 1) / kVbn;
        Bytes data = member.data;
        data.resize(blocks * kVbn, kBlockTail);
        std::uint32_t vbn = member.first_vbn;
        for (std::size_t done = 0; done < blocks;) {
            std::size_t fit = room() >= kRecordHeader + kVbn ? (room() - kRecordHeader) / kVbn : 0;
            if (fit == 0) {
                end_block();
                start_block();
                continue;
            }
            if (layout.blocks_per_record != 0) fit = std::min(fit, layout.blocks_per_record);
            const std::size_t count = std::min(fit, blocks - done);
            add_record(4, flags, vbn, Bytes(data.begin() + static_cast<std::ptrdiff_t>(done * kVbn),
                                            data.begin() + static_cast<std::ptrdiff_t>((done + count) * kVbn)));
            vbn += static_cast<std::uint32_t>(count);
            done += count;
        }
    }
};

Bytes label_field(const std::string& text, std::size_t size) {
    std::string field = text.substr(0, size);
    field.resize(size, ' ');
    return rms::bytes(field);
}

std::string decimal(long value, int width) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*ld", width, value);
    return text;
}

Bytes deflated(const Bytes& data) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&stream, data.size()) + 16);
    stream.next_in = const_cast<unsigned char*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::uint32_t crc_of(const Bytes& data) {
    return static_cast<std::uint32_t>(crc32(crc32(0L, Z_NULL, 0), data.data(), static_cast<uInt>(data.size())));
}

// IM method 1: a 1 bit and the byte for each non-zero byte, a 0 bit for
// each zero byte, least significant bit first.
Bytes bit_packed(const Bytes& data) {
    Bytes out;
    std::size_t bit = 0;
    auto put = [&](unsigned value) {
        if (bit % 8 == 0) out.push_back(0);
        out.back() = static_cast<unsigned char>(out.back() | (value & 1) << (bit % 8));
        ++bit;
    };
    for (unsigned char byte : data) {
        put(byte != 0);
        if (byte != 0) {
            for (int k = 0; k < 8; ++k) put(byte >> k);
        }
    }
    return out;
}

Bytes im_field(const char* id, const Bytes& structure, unsigned method) {
    Bytes stored = structure;
    if (method == 1) {
        stored = bit_packed(structure);
    } else if (method == 2) {
        stored.clear();
        put_le16(stored, 8);
        put_le32(stored, crc_of(structure));
        const Bytes compressed = deflated(structure);
        stored.insert(stored.end(), compressed.begin(), compressed.end());
    }
    Bytes field;
    put_le16(field, 0x4D49);
    put_le16(field, static_cast<std::uint16_t>(12 + stored.size()));
    field.insert(field.end(), id, id + 4);
    put_le16(field, static_cast<std::uint16_t>(method));
    put_le16(field, static_cast<std::uint16_t>(structure.size()));
    put_le32(field, 0);
    field.insert(field.end(), stored.begin(), stored.end());
    return field;
}

}  // namespace

Fat fat(unsigned org, unsigned rfm, unsigned rat, unsigned lrl, std::uint32_t hiblk, std::uint32_t efblk,
        unsigned ffb, unsigned bks, unsigned fsz) {
    Fat f{};
    f[0] = static_cast<unsigned char>(org << 4 | rfm);
    f[1] = static_cast<unsigned char>(rat);
    f[2] = static_cast<unsigned char>(lrl);
    f[3] = static_cast<unsigned char>(lrl >> 8);
    for (auto [at, value] : {std::pair{4, hiblk}, std::pair{8, efblk}}) {
        f[at] = static_cast<unsigned char>(value >> 16);
        f[at + 1] = static_cast<unsigned char>(value >> 24);
        f[at + 2] = static_cast<unsigned char>(value);
        f[at + 3] = static_cast<unsigned char>(value >> 8);
    }
    f[12] = static_cast<unsigned char>(ffb);
    f[13] = static_cast<unsigned char>(ffb >> 8);
    f[14] = static_cast<unsigned char>(bks);
    f[15] = static_cast<unsigned char>(fsz);
    return f;
}

Fat sequential_fat(unsigned rfm, unsigned rat, unsigned lrl, std::size_t size, std::uint32_t allocated) {
    const auto blocks = static_cast<std::uint32_t>((size + kVbn - 1) / kVbn);
    return fat(0, rfm, rat, lrl, std::max(blocks, allocated), static_cast<std::uint32_t>(size / kVbn + 1),
               static_cast<unsigned>(size % kVbn));
}

Fat fat_from_assignments(const std::string& assignments, std::size_t size) {
    TextStream stream;
    text_stream_from_text(stream, assignments);
    FileAttributes attributes;
    Console console;
    console_open(console, -1, -1);
    std::string refused;
    console.message_sink = &refused;
    if (!read_attributes(stream, "attributes", attributes, console)) {
        return Fat{};
    }
    const auto blocks = static_cast<std::uint32_t>((size + kVbn - 1) / kVbn);
    const bool sequential = org_of(attributes) == kOrgSequential;
    return fat(org_of(attributes), rfm_of(attributes), rat_of(attributes), lrl_of(attributes), blocks,
               sequential ? static_cast<std::uint32_t>(size / kVbn + 1) : blocks + 1,
               sequential ? static_cast<unsigned>(size % kVbn) : 0, bks_of(attributes), fsz_of(attributes));
}

Bytes saveset(const SavesetLayout& layout) {
    SavesetWriter writer(layout);
    Bytes summary;
    put_le16(summary, 0x0101);
    put_entry(summary, 1, rms::bytes(layout.name));
    put_entry(summary, 2, rms::bytes("BACKUP [KIT...] " + layout.name + "/SAVE_SET"));
    put_entry(summary, 13, le_bytes(layout.block_size, 4));
    put_entry(summary, 14, le_bytes(layout.group_size, 2));
    put_le32(summary, 0);
    writer.add_record(1, 0, 0, summary);
    for (const SavesetMember& member : layout.members) {
        writer.add_member(member);
    }
    writer.end_block();
    if (!writer.group.empty() && layout.group_size != 0) {
        writer.write_xor_block();
    }
    return writer.out;
}

Bytes with_bad_block(Bytes saveset, std::size_t block_size, std::uint32_t position) {
    const std::size_t start = (position - 1) * block_size;
    for (std::size_t i = start + kHeader; i < start + block_size; i += 7) saveset[i] ^= 0x5A;
    return saveset;
}

void add_tape_record(Bytes& tape, const Bytes& data) {
    put_le32(tape, static_cast<std::uint32_t>(data.size()));
    tape.insert(tape.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) tape.push_back(0);
    put_le32(tape, static_cast<std::uint32_t>(data.size()));
}

void add_tape_mark(Bytes& tape) { put_le32(tape, 0); }

Bytes ansi_label(const std::string& text) { return label_field(text, 80); }

Bytes simh_tape(const std::vector<TapeFile>& files) {
    Bytes tape;
    if (!files.empty() && files.front().labelled) {
        add_tape_record(tape, ansi_label("VOL1TAPE01" + std::string(27, ' ') + "D%C"));
    }
    int sequence = 0;
    for (const TapeFile& file : files) {
        ++sequence;
        const std::size_t blocks = file.saveset.size() / file.block_size;
        auto hdr1 = [&](const char* id, long count) {
            return ansi_label(std::string(id) + rms::text(label_field(file.identifier, 17)) + "TAPE01" + "0001" +
                              decimal(sequence, 4) +
                              "0001" + "00" + " 99001" + " 00000" + " " + decimal(count, 6) + "DECVMSBACKUP ");
        };
        auto hdr2 = [&](const char* id) {
            return ansi_label(std::string(id) + "F" + decimal(static_cast<long>(file.block_size), 5) +
                              decimal(static_cast<long>(file.block_size), 5) + std::string(35, ' ') + "00");
        };
        if (file.labelled) {
            add_tape_record(tape, hdr1("HDR1", 0));
            add_tape_record(tape, hdr2("HDR2"));
            add_tape_mark(tape);
        }
        for (std::size_t b = 0; b < blocks; ++b) {
            add_tape_record(tape, Bytes(file.saveset.begin() + static_cast<std::ptrdiff_t>(b * file.block_size),
                                        file.saveset.begin() + static_cast<std::ptrdiff_t>((b + 1) * file.block_size)));
        }
        add_tape_mark(tape);
        if (file.labelled) {
            add_tape_record(tape, hdr1("EOF1", file.eof1_blocks >= 0 ? file.eof1_blocks : static_cast<long>(blocks)));
            add_tape_record(tape, hdr2("EOF2"));
            add_tape_mark(tape);
        }
    }
    add_tape_mark(tape);
    return tape;
}

Bytes vms_field_data(const Fat& attributes) {
    Bytes entries;
    auto put_tag = [&entries](std::uint16_t tag, const Bytes& value) {
        put_le16(entries, tag);
        put_le16(entries, static_cast<std::uint16_t>(value.size()));
        entries.insert(entries.end(), value.begin(), value.end());
    };
    put_tag(4, Bytes(attributes.begin(), attributes.end()));
    put_tag(3, le_bytes(0, 4));
    for (std::uint16_t date : {17, 18, 19, 20}) put_tag(date, le_bytes(0x00A1B2C3D4E5F6ull, 8));
    put_tag(13, le_bytes(1, 2));
    put_tag(21, le_bytes(0x00010004, 4));
    put_tag(22, le_bytes(0xEE00, 2));
    put_tag(23, le_bytes(0, 2));
    put_tag(29, le_bytes(0, 1));
    Bytes data = le_bytes(crc_of(entries), 4);
    data.insert(data.end(), entries.begin(), entries.end());
    return data;
}

Bytes im_fields(const Fat& f, unsigned method) {
    Bytes fab(80, 0);
    fab[0] = 3;
    fab[1] = 80;
    fab[29] = static_cast<unsigned char>(f[0] & 0xF0);
    fab[30] = f[1];
    fab[31] = static_cast<unsigned char>(f[0] & 0x0F);
    fab[54] = f[16];
    fab[55] = f[17];
    fab[62] = f[14];
    fab[63] = f[15];
    Bytes fhc(44, 0);
    fhc[0] = 29;
    fhc[1] = 44;
    fhc[8] = f[0];
    fhc[9] = f[1];
    fhc[10] = f[2];
    fhc[11] = f[3];
    rms::put_le32_at(fhc, 12, fat_word(f, 4));
    rms::put_le32_at(fhc, 16, fat_word(f, 8));
    fhc[20] = f[12];
    fhc[21] = f[13];
    fhc[22] = f[14];
    fhc[23] = f[15];
    fhc[24] = f[16];
    fhc[25] = f[17];
    Bytes fields = im_field("VMSV", rms::bytes(std::string("V6.2", 5)), 0);
    for (const Bytes& field : {im_field("VFAB", fab, method), im_field("VFHC", fhc, method)}) {
        fields.insert(fields.end(), field.begin(), field.end());
    }
    return fields;
}

Bytes zip_archive(const std::vector<ZipMember>& members, const ZipOptions& options) {
    Bytes out(options.prefix, 'X');
    Bytes directory;
    std::vector<std::uint32_t> local_offsets;
    for (const ZipMember& member : members) {
        const Bytes stored = member.deflate ? deflated(member.data) : member.data;
        Bytes extra;
        if (member.vms) {
            Bytes data = vms_field_data(member.attributes);
            if (member.bad_vms_crc) data[0] ^= 1;
            put_le16(extra, 0x000C);
            put_le16(extra, static_cast<std::uint16_t>(data.size()));
            extra.insert(extra.end(), data.begin(), data.end());
        } else if (member.im) {
            extra = im_fields(member.attributes, member.im_method);
        }
        const auto size = static_cast<std::uint32_t>(member.stated_size >= 0 ? member.stated_size : member.data.size());
        auto common = [&](Bytes& header) {
            put_le16(header, 20);  // version needed
            put_le16(header, 0);   // flags
            put_le16(header, member.deflate ? 8 : 0);
            put_le32(header, 0);   // time and date
            put_le32(header, crc_of(member.data));
            put_le32(header, static_cast<std::uint32_t>(stored.size()));
            put_le32(header, size);
            put_le16(header, static_cast<std::uint16_t>(member.name.size()));
            put_le16(header, static_cast<std::uint16_t>(extra.size()));
        };
        local_offsets.push_back(static_cast<std::uint32_t>(out.size() - options.prefix));
        put_le32(out, 0x04034b50);
        common(out);
        out.insert(out.end(), member.name.begin(), member.name.end());
        out.insert(out.end(), extra.begin(), extra.end());
        out.insert(out.end(), stored.begin(), stored.end());

        put_le32(directory, 0x02014b50);
        put_le16(directory, member.vms || member.im ? 0x0217 : 0x0314);
        common(directory);
        put_le16(directory, 0);  // comment
        put_le16(directory, 0);  // disk
        put_le16(directory, 0);  // internal attributes
        put_le32(directory, (member.name.back() == '/' ? 0040755u : 0100644u) << 16);
        put_le32(directory, 0);  // the local offset, set below
        directory.insert(directory.end(), member.name.begin(), member.name.end());
        directory.insert(directory.end(), extra.begin(), extra.end());
    }
    // Each central header's local offset, now that all are known.
    std::size_t at = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const int target = members[i].data_of >= 0 ? members[i].data_of : static_cast<int>(i);
        rms::put_le32_at(directory, at + 42, local_offsets[static_cast<std::size_t>(target)]);
        at += 46 + (directory[at + 28] | directory[at + 29] << 8) + (directory[at + 30] | directory[at + 31] << 8);
    }
    const auto directory_offset = static_cast<std::uint32_t>(out.size() - options.prefix);
    out.insert(out.end(), directory.begin(), directory.end());
    const auto count = static_cast<std::uint16_t>(members.size());
    if (options.zip64_end) {
        const std::uint64_t end64 = out.size() - options.prefix;
        put_le32(out, 0x06064b50);
        out.insert(out.end(), {44, 0, 0, 0, 0, 0, 0, 0});
        put_le16(out, 0x0217);
        put_le16(out, 45);
        put_le32(out, 0);
        put_le32(out, 0);
        for (std::uint64_t value : {std::uint64_t{count}, std::uint64_t{count}, std::uint64_t{directory.size()},
                                    std::uint64_t{directory_offset}}) {
            const Bytes word = le_bytes(value, 8);
            out.insert(out.end(), word.begin(), word.end());
        }
        put_le32(out, 0x07064b50);
        put_le32(out, 0);
        const Bytes where = le_bytes(end64, 8);
        out.insert(out.end(), where.begin(), where.end());
        put_le32(out, 1);
    }
    put_le32(out, 0x06054b50);
    put_le16(out, 0);
    put_le16(out, 0);
    put_le16(out, options.zip64_end ? 0xFFFF : count);
    put_le16(out, options.zip64_end ? 0xFFFF : count);
    put_le32(out, options.zip64_end ? 0xFFFFFFFF : static_cast<std::uint32_t>(directory.size()));
    put_le32(out, options.zip64_end ? 0xFFFFFFFF : directory_offset);
    put_le16(out, 0);
    return out;
}

}  // namespace archive
