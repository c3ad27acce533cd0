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

Bytes vfc_record(const Bytes& control, const Bytes& data) {
    Bytes stored = control;
    stored.insert(stored.end(), data.begin(), data.end());
    return stored;
}

void add_fix_record(FixFileBuilder& file, const Bytes& data) {
    const std::size_t length = file.record_length;
    if (!file.bytes.empty() && file.bytes.size() % kBlockSize + length > kBlockSize) {
        file.bytes.resize(file.bytes.size() + room_in_block(file.bytes) % kBlockSize, file.gap_value);
    }
    Bytes record = data;
    record.resize(length, ' ');
    file.bytes.insert(file.bytes.end(), record.begin(), record.end());
    if ((length & 1) != 0) {
        file.bytes.push_back(file.pad_value);
    }
}

Bytes fix_file(const std::vector<Bytes>& records, std::size_t record_length) {
    FixFileBuilder file;
    file.record_length = record_length;
    for (const Bytes& record : records) {
        add_fix_record(file, record);
    }
    return file.bytes;
}

Bytes relative_file(const RelativeFileSpec& spec) {
    const std::size_t bucket_size = spec.bks * kBlockSize;
    const std::size_t stride = spec.lrl + 3u;
    Bytes file(kBlockSize, 0);
    file[16] = spec.flags;
    Bytes fields;
    put_le16(fields, spec.dvbn);
    put_le16(fields, 0);
    put_le32(fields, spec.mrn);
    const std::uint32_t eof = spec.eof >= 0 ? static_cast<std::uint32_t>(spec.eof)
                                            : static_cast<std::uint32_t>(spec.dvbn + spec.buckets.size() * spec.bks);
    put_le32(fields, eof);
    std::copy(fields.begin(), fields.end(), file.begin() + kRelativePrologDvbn);
    file.resize((spec.dvbn - 1u) * kBlockSize, 0);

    for (const std::vector<RelativeCell>& cells : spec.buckets) {
        Bytes bucket(bucket_size, 0);
        std::size_t offset = 0;
        for (const RelativeCell& cell : cells) {
            if (offset + 3 > bucket_size) break;
            bucket[offset] = cell.dlc;
            bucket[offset + 1] = static_cast<unsigned char>(cell.data.size());
            bucket[offset + 2] = static_cast<unsigned char>(cell.data.size() >> 8);
            for (std::size_t i = 0; i < spec.lrl && offset + 3 + i < bucket_size; ++i) {
                bucket[offset + 3 + i] = i < cell.data.size() ? cell.data[i] : spec.stale_value;
            }
            offset += stride;
        }
        file.insert(file.end(), bucket.begin(), bucket.end());
    }
    return file;
}

}  // namespace rms
