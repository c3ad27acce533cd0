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

}  // namespace rms
