#include "rms_builder.h"

namespace rms {

namespace {

constexpr std::uint16_t kEndOfBlockMarker = 0xFFFF;

std::size_t room_in_block(const Bytes& out) {
    return kBlockSize - out.size() % kBlockSize;
}

}  // namespace

Bytes bytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::string text(const Bytes& data) {
    return std::string(data.begin(), data.end());
}

void put_le16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void put_le32(Bytes& out, std::uint32_t value) {
    put_le16(out, static_cast<std::uint16_t>(value));
    put_le16(out, static_cast<std::uint16_t>(value >> 16));
}

void put_le16_at(Bytes& out, std::size_t offset, std::uint16_t value) {
    out[offset] = static_cast<unsigned char>(value);
    out[offset + 1] = static_cast<unsigned char>(value >> 8);
}

void put_le32_at(Bytes& out, std::size_t offset, std::uint32_t value) {
    put_le16_at(out, offset, static_cast<std::uint16_t>(value));
    put_le16_at(out, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

void add_var_record(VarFileBuilder& file, const Bytes& data) {
    const std::size_t stored = 2 + data.size() + (data.size() & 1);
    if (file.no_span && stored <= kBlockSize && stored > room_in_block(file.bytes) &&
        file.bytes.size() % kBlockSize != 0) {
        end_var_block(file);
    }
    put_le16(file.bytes, static_cast<std::uint16_t>(data.size()));
    file.bytes.insert(file.bytes.end(), data.begin(), data.end());
    if ((data.size() & 1) != 0) {
        file.bytes.push_back(file.pad_value);
    }
}

void end_var_block(VarFileBuilder& file) {
    if (file.bytes.size() % kBlockSize == 0) {
        return;
    }
    if (room_in_block(file.bytes) >= 2) {
        put_le16(file.bytes, kEndOfBlockMarker);
    }
    file.bytes.resize(file.bytes.size() + room_in_block(file.bytes) % kBlockSize, file.fill_value);
}

Bytes var_file(const std::vector<Bytes>& records, bool no_span) {
    VarFileBuilder file;
    file.no_span = no_span;
    for (const Bytes& record : records) {
        add_var_record(file, record);
    }
    return file.bytes;
}

Bytes with_tail(Bytes file, const Bytes& tail) {
    file.insert(file.end(), tail.begin(), tail.end());
    return file;
}

Bytes patched(Bytes file, std::size_t offset, const Bytes& replacement) {
    std::copy(replacement.begin(), replacement.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
    return file;
}

Bytes cut(Bytes file, std::size_t size) {
    file.resize(size);
    return file;
}

Bytes vfc_record(const Bytes& control, const Bytes& data) {
    Bytes stored = control;
    stored.insert(stored.end(), data.begin(), data.end());
    return stored;
}

void add_fix_record(FixFileBuilder& file, const Bytes& data) {
    const std::size_t length = file.record_length;
    if (file.no_span && !file.bytes.empty() && file.bytes.size() % kBlockSize + length > kBlockSize) {
        file.bytes.resize(file.bytes.size() + room_in_block(file.bytes) % kBlockSize, file.gap_value);
    }
    Bytes record = data;
    record.resize(length, ' ');
    file.bytes.insert(file.bytes.end(), record.begin(), record.end());
    if ((length & 1) != 0) {
        file.bytes.push_back(file.pad_value);
    }
}

Bytes fix_file(const std::vector<Bytes>& records, std::size_t record_length, bool no_span) {
    FixFileBuilder file;
    file.record_length = record_length;
    file.no_span = no_span;
    for (const Bytes& record : records) {
        add_fix_record(file, record);
    }
    return file.bytes;
}

void add_stream_record(Bytes& file, const Bytes& data, StreamFormat format) {
    file.insert(file.end(), data.begin(), data.end());
    file.push_back('\r');
    if (format == StreamFormat::kCrLf) {
        file.push_back('\n');
    }
}

Bytes stream_file(const std::vector<Bytes>& records, StreamFormat format) {
    Bytes file;
    for (const Bytes& record : records) {
        add_stream_record(file, record, format);
    }
    return file;
}

Bytes relative_prolog(const RelativeFileLayout& spec, std::size_t bucket_count) {
    Bytes file(kBlockSize, 0);
    file[16] = spec.flags;
    Bytes fields;
    put_le16(fields, spec.dvbn);
    put_le16(fields, 0);
    put_le32(fields, spec.mrn);
    const std::uint32_t eof = spec.eof >= 0 ? static_cast<std::uint32_t>(spec.eof)
                                            : static_cast<std::uint32_t>(spec.dvbn + bucket_count * spec.bks);
    put_le32(fields, eof);
    std::copy(fields.begin(), fields.end(), file.begin() + kRelativePrologDvbn);
    file.resize((spec.dvbn - 1u) * kBlockSize, 0);
    return file;
}

std::size_t relative_cell_size(const RelativeFileLayout& spec) {
    switch (spec.cells) {
        case CellFormat::kFixed:
            return 1u + spec.lrl;
        case CellFormat::kVfc:
            return 3u + spec.fsz + spec.lrl;
        case CellFormat::kVariable:
            break;
    }
    return 3u + spec.lrl;
}

Bytes relative_bucket(const RelativeFileLayout& spec, const std::vector<RelativeCell>& cells) {
    const std::size_t bucket_size = spec.bks * kBlockSize;
    const std::size_t stride = relative_cell_size(spec);
    Bytes bucket(bucket_size, 0);
    for (std::size_t i = 0; i < cells.size() && i * stride < bucket_size; ++i) {
        const RelativeCell& cell = cells[i];
        Bytes stored;
        stored.push_back(cell.dlc);
        if (spec.cells == CellFormat::kFixed) {
            Bytes record = cell.data;
            record.resize(spec.lrl, ' ');
            stored.insert(stored.end(), record.begin(), record.end());
        } else {
            Bytes control = cell.control;
            control.resize(spec.cells == CellFormat::kVfc ? spec.fsz : 0, 0);
            put_le16(stored, static_cast<std::uint16_t>(control.size() + cell.data.size()));
            stored.insert(stored.end(), control.begin(), control.end());
            stored.insert(stored.end(), cell.data.begin(), cell.data.end());
            stored.resize(stride, spec.stale_value);  // data longer than the cell are cut
        }
        // A cell that does not fit whole keeps the part that does.
        const std::size_t offset = i * stride;
        const std::size_t fits = std::min(stored.size(), bucket_size - offset);
        std::copy(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(fits),
                  bucket.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    return bucket;
}

Bytes relative_file(const RelativeFileLayout& spec) {
    Bytes file = relative_prolog(spec, spec.buckets.size());
    for (const std::vector<RelativeCell>& cells : spec.buckets) {
        const Bytes bucket = relative_bucket(spec, cells);
        file.insert(file.end(), bucket.begin(), bucket.end());
    }
    return file;
}

}  // namespace rms

namespace rms {

namespace {

constexpr std::size_t kKeyDescriptorSize = 96;
constexpr std::size_t kAreaDescriptorSize = 64;
constexpr std::size_t kBucketHeaderSize = 14;
constexpr std::size_t kRrvEntrySize = 9;
constexpr std::size_t kEntryHeaderSize = 11;
constexpr unsigned char kPointerSize2 = 2;
constexpr unsigned char kDeletedBit = 0x04;
constexpr unsigned char kRrvBit = 0x08;
constexpr unsigned char kNoPointerBit = 0x10;
constexpr std::uint16_t kKeyInFrontVersion = 3;  // the first prolog to store the key in front
constexpr std::uint8_t kInitIdx = 0x10;

std::size_t keysz_of(const IndexedKeyLayout& key) {
    std::size_t keysz = 0;
    for (std::uint8_t size : key.size) keysz += size;
    return keysz;
}

void put_at(Bytes& out, std::size_t offset, const Bytes& field) {
    std::copy(field.begin(), field.end(), out.begin() + static_cast<std::ptrdiff_t>(offset));
}


Bytes key_descriptor(const IndexedKeyLayout& key, std::uint32_t idxfl, std::uint16_t noff, std::uint8_t datbktsz,
                     std::uint32_t ldvbn, std::uint8_t keyref) {
    Bytes d(kKeyDescriptorSize, 0);
    put_le32_at(d, 0, idxfl);
    put_le16_at(d, 4, noff);
    d[6] = 1;  // ianum
    d[7] = 1;  // lanum
    d[8] = 0;  // danum
    d[9] = 1;  // rootlev
    d[10] = 1;  // idxbktsz
    d[11] = datbktsz;
    put_le32_at(d, 12, key.rootvbn);
    d[16] = key.flags;
    d[17] = key.datatype;
    d[18] = static_cast<unsigned char>(key.position.size());
    d[20] = static_cast<unsigned char>(keysz_of(key));
    d[21] = keyref;
    put_le16_at(d, 22, static_cast<std::uint16_t>(keysz_of(key)));
    put_le16_at(d, 24, 512);
    put_le16_at(d, 26, static_cast<std::uint16_t>(datbktsz * kBlockSize));
    for (std::size_t i = 0; i < key.position.size() && i < 8; ++i) {
        put_le16_at(d, 28 + 2 * i, key.position[i]);
        d[44 + i] = key.size[i];
        d[88 + i] = i < key.type.size() ? key.type[i] : 0;
    }
    Bytes name(32, ' ');
    if (key.counted_name) {
        name[0] = static_cast<unsigned char>(key.name.size());
        std::copy(key.name.begin(), key.name.end(), name.begin() + 1);
    } else {
        std::copy(key.name.begin(), key.name.end(), name.begin());
    }
    put_at(d, 52, name);
    put_le32_at(d, 84, ldvbn);
    return d;
}

// Area i: every field a value of its own, so that the dump shows each one.
Bytes area_descriptor(std::size_t i, std::uint8_t datbktsz) {
    Bytes d(kAreaDescriptorSize, 0);
    d[1] = 0x01;
    d[2] = static_cast<unsigned char>(i);
    d[3] = datbktsz;
    put_le16_at(d, 4, 0);
    d[6] = 0x02;
    d[7] = 0x20;
    put_le32_at(d, 8, 11);
    put_le32_at(d, 12, static_cast<std::uint32_t>(12 + i));
    put_le32_at(d, 16, 13);
    put_le32_at(d, 20, 14);
    put_le32_at(d, 24, 15);
    put_le32_at(d, 28, 16);
    put_le32_at(d, 32, 17);
    put_le16_at(d, 36, 18);
    put_le32_at(d, 40, 19);
    put_le16_at(d, 44, 0x0333);
    put_le16_at(d, 46, 0x0222);
    put_le16_at(d, 48, 0x0111);
    put_le32_at(d, 50, 20);
    put_le16_at(d, 62, 0xabcd);
    return d;
}

std::uint32_t first_bucket_vbn(const IndexedFileLayout& spec) {
    const std::uint32_t key_blocks = spec.extra_keys.empty() ? 0 : 1;
    const std::uint32_t area_blocks = (spec.areas + 7u) / 8u;
    return 2 + key_blocks + area_blocks;
}

// The key part of a stored record.
Bytes key_of(const IndexedKeyLayout& key, const Bytes& stored) {
    return Bytes(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(keysz_of(key)));
}

// The body of a live or deleted entry: its stored record, compressed as the
// key asks against previous_key, the key of the last live record before it
// (empty before the first). A live entry's key then becomes previous_key;
// deleted bodies are never expanded, so only live keys carry over.
Bytes entry_body(const IndexedKeyLayout& key, const IndexedEntry& entry, Bytes& previous_key) {
    const Bytes stored = stored_record(key, entry.record);
    const Bytes full_key = key_of(key, stored);
    const Bytes rest(stored.begin() + static_cast<std::ptrdiff_t>(full_key.size()), stored.end());
    Bytes body = (key.flags & kKeyCompression) != 0 ? compress_key(full_key, &previous_key) : full_key;
    const Bytes data = (key.flags & kDataCompression) != 0 ? compress_data(rest) : rest;
    body.insert(body.end(), data.begin(), data.end());
    if (entry.kind == EntryKind::kLive) previous_key = full_key;
    return body;
}

}  // namespace

Bytes stored_record(const IndexedKeyLayout& key, const Bytes& user) {
    Bytes stored;
    std::vector<bool> in_key(user.size(), false);
    for (std::size_t i = 0; i < key.position.size(); ++i) {
        for (std::size_t b = key.position[i]; b < key.position[i] + key.size[i]; ++b) {
            stored.push_back(b < user.size() ? user[b] : 0);
            if (b < user.size()) in_key[b] = true;
        }
    }
    for (std::size_t b = 0; b < user.size(); ++b) {
        if (!in_key[b]) stored.push_back(user[b]);
    }
    return stored;
}

Bytes compress_key(const Bytes& key, const Bytes* previous) {
    std::size_t cnt = 0;
    if (previous != nullptr) {
        while (cnt < key.size() && cnt < previous->size() && key[cnt] == (*previous)[cnt]) ++cnt;
    }
    // Trailing repeats of the byte before them are left out, as long as a
    // byte to repeat remains.
    std::size_t end = key.size();
    while (end > cnt && end >= 2 && key[end - 1] == key[end - 2]) --end;
    Bytes form(2 + end - cnt);
    form[0] = static_cast<unsigned char>(end - cnt);
    form[1] = static_cast<unsigned char>(cnt);
    std::copy(key.begin() + static_cast<std::ptrdiff_t>(cnt), key.begin() + static_cast<std::ptrdiff_t>(end),
              form.begin() + 2);
    return form;
}

Bytes compress_data(const Bytes& data) {
    Bytes form;
    Bytes literal;
    auto emit = [&](std::size_t repeats) {
        put_le16(form, static_cast<std::uint16_t>(literal.size()));
        form.insert(form.end(), literal.begin(), literal.end());
        form.push_back(static_cast<unsigned char>(repeats));
        literal.clear();
    };
    std::size_t i = 0;
    while (i < data.size()) {
        std::size_t run = 1;
        while (i + run < data.size() && data[i + run] == data[i]) ++run;
        literal.push_back(data[i]);
        if (run < 3) {
            literal.insert(literal.end(), run - 1, data[i]);
        } else {
            // Runs longer than a count byte continue in segments of no bytes.
            std::size_t repeats = run - 1;
            emit(std::min<std::size_t>(repeats, 255));
            for (repeats -= std::min<std::size_t>(repeats, 255); repeats > 0;
                 repeats -= std::min<std::size_t>(repeats, 255)) {
                emit(std::min<std::size_t>(repeats, 255));
            }
        }
        i += run;
    }
    if (!literal.empty()) emit(0);
    return form;
}

std::uint32_t indexed_bucket_vbn(const IndexedFileLayout& spec, std::size_t i) {
    const std::size_t slot = spec.slots.empty() ? i : spec.slots[i];
    return first_bucket_vbn(spec) + static_cast<std::uint32_t>(slot * spec.datbktsz);
}

Bytes indexed_head(const IndexedFileLayout& spec, std::size_t bucket_count) {
    const std::uint32_t ldvbn = bucket_count == 0 ? 0 : indexed_bucket_vbn(spec, 0);
    IndexedKeyLayout key0 = spec.key;
    if (bucket_count == 0) key0.flags |= kInitIdx;
    const std::uint32_t first = first_bucket_vbn(spec);
    Bytes file(static_cast<std::size_t>(first - 1) * kBlockSize, 0);

    put_at(file, 0, key_descriptor(key0, spec.extra_keys.empty() ? 0 : 2, 0, spec.datbktsz, ldvbn, 0));
    const std::uint32_t area_vbn = spec.extra_keys.empty() ? 2 : 3;
    file[102] = static_cast<unsigned char>(area_vbn);
    file[103] = spec.areas;
    put_le16_at(file, 104, static_cast<std::uint16_t>(first));
    put_le32_at(file, 108, 0);
    put_le32_at(file, 112, static_cast<std::uint32_t>(first + bucket_count * spec.datbktsz));
    put_le16_at(file, kIndexedPrologVersion, spec.ver_no);

    for (std::size_t k = 0; k < spec.extra_keys.size(); ++k) {
        const bool last = k + 1 == spec.extra_keys.size();
        const std::uint32_t idxfl = last ? 0 : 2;
        const auto noff = static_cast<std::uint16_t>(last ? 0 : (k + 1) * kKeyDescriptorSize);
        put_at(file, kBlockSize + k * kKeyDescriptorSize,
               key_descriptor(spec.extra_keys[k], idxfl, noff, spec.datbktsz, 0, static_cast<std::uint8_t>(k + 1)));
    }
    for (std::size_t i = 0; i < spec.areas; ++i) {
        put_at(file, (area_vbn - 1) * kBlockSize + i * kAreaDescriptorSize, area_descriptor(i, spec.datbktsz));
    }
    return file;
}

namespace {

// A prolog 1 or 2 entry: control byte, one-byte id, the rrv id and pointer
// unless it has none, then for a record its length (unless fixed) and the
// whole user record.
void add_short_entry(const IndexedFileLayout& spec, const IndexedEntry& entry, std::uint8_t rid, std::uint32_t vbn,
                     Bytes& bucket) {
    const std::size_t start = bucket.size();
    bucket.push_back(entry.pointer ? spec.pointer_code & 3 : kNoPointerBit);
    bucket.push_back(rid);
    if (entry.pointer) {
        bucket.push_back(rid);
        const std::size_t pointer_size = (spec.pointer_code & 3) + 2u;
        const std::uint64_t pointer = vbn;  // up to five bytes wide
        for (std::size_t i = 0; i < pointer_size; ++i) bucket.push_back(static_cast<unsigned char>(pointer >> (8 * i)));
    }
    if (entry.kind == EntryKind::kRrv) {
        bucket[start] |= entry.pointer ? kRrvBit : kRrvBit | kDeletedBit;
        return;
    }
    if (entry.kind == EntryKind::kDeleted) bucket[start] |= kDeletedBit;
    if (!spec.fixed_entries) put_le16(bucket, static_cast<std::uint16_t>(entry.record.size()));
    bucket.insert(bucket.end(), entry.record.begin(), entry.record.end());
}

}  // namespace

std::size_t indexed_entry_size(const IndexedFileLayout& spec, const IndexedEntry& entry, Bytes& previous_key) {
    if (spec.ver_no < kKeyInFrontVersion) {
        Bytes bucket;
        add_short_entry(spec, entry, 0, 0, bucket);
        return bucket.size();
    }
    if (entry.kind == EntryKind::kRrv) return kRrvEntrySize;
    const std::size_t head = spec.fixed_entries ? kRrvEntrySize : kEntryHeaderSize;
    return head + entry_body(spec.key, entry, previous_key).size();
}

Bytes indexed_bucket(const IndexedFileLayout& spec, const std::vector<IndexedEntry>& entries, std::uint32_t vbn,
                     std::uint32_t nxtbkt, Bytes& previous_key) {
    const bool short_entries = spec.ver_no < kKeyInFrontVersion;
    Bytes bucket(kBucketHeaderSize, 0);
    std::uint16_t rid = 1;
    for (const IndexedEntry& entry : entries) {
        if (short_entries) {
            add_short_entry(spec, entry, static_cast<std::uint8_t>(rid++), vbn, bucket);
            continue;
        }
        const std::size_t start = bucket.size();
        bucket.push_back(kPointerSize2);
        put_le16(bucket, rid);
        put_le16(bucket, rid++);
        put_le32(bucket, vbn);
        if (entry.kind == EntryKind::kRrv) {
            bucket[start] |= kRrvBit;
            continue;
        }
        if (entry.kind == EntryKind::kDeleted) bucket[start] |= kDeletedBit;
        const Bytes body = entry_body(spec.key, entry, previous_key);
        if (!spec.fixed_entries) put_le16(bucket, static_cast<std::uint16_t>(body.size()));
        bucket.insert(bucket.end(), body.begin(), body.end());
    }
    bucket[0] = static_cast<unsigned char>(vbn);  // checkchar
    put_le16_at(bucket, 2, static_cast<std::uint16_t>(vbn));
    put_le16_at(bucket, kBucketFreespace, static_cast<std::uint16_t>(bucket.size()));
    if (short_entries) {
        bucket[6] = static_cast<unsigned char>(rid);  // nxtrecid
        bucket[7] = 0xFF;                             // lstrecid
    } else {
        put_le16_at(bucket, 6, rid);
    }
    put_le32_at(bucket, kBucketNxtbkt, nxtbkt);
    bucket[13] = nxtbkt == indexed_bucket_vbn(spec, 0) ? 1 : 0;  // lastbkt
    bucket.resize(spec.datbktsz * kBlockSize, spec.stale_value);
    return bucket;
}

Bytes indexed_file(const IndexedFileLayout& spec) {
    const std::size_t count = spec.buckets.size();
    Bytes file = indexed_head(spec, count);
    file.resize(file.size() + count * spec.datbktsz * kBlockSize, 0);
    Bytes previous_key;
    for (std::size_t b = 0; b < count; ++b) {
        const std::uint32_t vbn = indexed_bucket_vbn(spec, b);
        const Bytes bucket =
            indexed_bucket(spec, spec.buckets[b], vbn, indexed_bucket_vbn(spec, (b + 1) % count), previous_key);
        put_at(file, (vbn - 1) * kBlockSize, bucket);
    }
    return file;
}

}  // namespace rms
