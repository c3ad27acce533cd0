#include "mixed_tree.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace rms {

namespace {

// splitmix64: the same files on every platform.
struct Random {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t in(std::size_t low, std::size_t high) { return low + next() % (high - low + 1); }
};

const char* const kWords[] = {"$",     "SET",  "DEFAULT", "SYS$LOGIN:", "WRITE", "ACCOUNT", "TOTAL", "record",
                              "the",   "file", "of",      "posted",     "42",    "1987",    "=",     "CALL"};

Bytes text_line(Random& random, std::size_t longest) {
    std::string line;
    const std::size_t target = random.in(1, longest);
    while (line.size() < target) {
        if (!line.empty()) line += ' ';
        line += kWords[random.in(0, std::size(kWords) - 1)];
    }
    line.resize(std::min(line.size(), longest));
    return bytes(line);
}

// A type byte, a counter, fields with zero bytes among them.
Bytes binary_record(Random& random, std::size_t size, std::uint32_t counter) {
    Bytes record{static_cast<unsigned char>(random.in(0, 7))};
    put_le32(record, counter);
    while (record.size() < size) {
        record.push_back(random.in(0, 9) < 4 ? 0 : static_cast<unsigned char>(random.next()));
    }
    record.resize(size);
    return record;
}

std::string joined(const std::vector<Bytes>& records, bool line_ends) {
    std::string out;
    for (const Bytes& record : records) {
        out += text(record);
        if (line_ends) out += '\n';
    }
    return out;
}

std::vector<Bytes> some_records(Random& random, bool as_text, std::size_t longest) {
    std::vector<Bytes> records(random.in(5, 40));
    std::uint32_t counter = static_cast<std::uint32_t>(random.next());
    for (Bytes& record : records) {
        record = as_text ? text_line(random, longest) : binary_record(random, random.in(6, longest), counter++);
    }
    return records;
}

// Binary records carry rat=cr too, as most real files of them do.
void sequential_var(Random& random, bool as_text, MixedFile& file) {
    const std::vector<Bytes> records = some_records(random, as_text, 80);
    file.bytes = var_file(records);
    file.attributes = "org=seq rfm=var rat=cr";
    file.records = joined(records, true);
}

void print_control(Random& random, MixedFile& file) {
    const std::vector<Bytes> lines = some_records(random, true, 80);
    std::vector<Bytes> stored;
    for (const Bytes& line : lines) {
        stored.push_back(vfc_record(Bytes{0x01, 0x8D}, line));
    }
    file.bytes = var_file(stored);
    file.attributes = "org=seq rfm=vfc rat=prn fsz=2";
    file.records = joined(lines, true);
}

void sequential_fix(Random& random, bool as_text, MixedFile& file) {
    const std::size_t length = random.in(as_text ? 20 : 8, 80);
    std::vector<Bytes> records = some_records(random, as_text, length);
    for (Bytes& record : records) {
        record.resize(length, as_text ? ' ' : 0);
    }
    file.bytes = fix_file(records, length);
    file.attributes = std::string("org=seq rfm=fix lrl=") + std::to_string(length) + (as_text ? " rat=cr" : "");
    file.records = joined(records, as_text);
}

void relative(Random& random, MixedFile& file) {
    RelativeFileLayout spec;
    spec.bks = static_cast<std::uint8_t>(random.in(1, 2));
    spec.lrl = static_cast<std::uint16_t>(random.in(20, 80));
    const std::size_t cells = spec.bks * kBlockSize / (spec.lrl + 3u);
    std::vector<Bytes> present;
    spec.buckets.resize(random.in(1, 3));
    for (auto& bucket : spec.buckets) {
        for (std::size_t i = random.in(1, cells); i > 0; --i) {
            present.push_back(text_line(random, spec.lrl));
            bucket.push_back(present_cell(present.back()));
        }
    }
    file.bytes = relative_file(spec);
    file.attributes = "org=rel rfm=var rat=cr bks=" + std::to_string(spec.bks) + " lrl=" + std::to_string(spec.lrl);
    file.records = joined(present, true);
}

void indexed(Random& random, bool as_text, MixedFile& file) {
    IndexedFileLayout spec;
    spec.datbktsz = 2;
    spec.key.position = {0};
    spec.key.size = {8};
    spec.key.flags = random.in(0, 1) != 0 ? kKeyCompression | kDataCompression : 0;
    const std::size_t room = spec.datbktsz * kBlockSize - kBucketFirstEntry - 16;
    std::vector<Bytes> records;
    Bytes previous_key;
    std::size_t used = room;  // the first record opens the first bucket
    for (std::size_t i = random.in(5, 40); i > 0; --i) {
        Bytes record = bytes(std::to_string(10000000 + records.size() * 7));
        const Bytes rest = as_text ? text_line(random, 60) : binary_record(random, random.in(6, 60), 0);
        record.insert(record.end(), rest.begin(), rest.end());
        const IndexedEntry entry = live(record);
        // Sized against the key before it; the slack in room covers a key
        // that a new bucket stores whole.
        const std::size_t size = indexed_entry_size(spec, entry, previous_key);
        if (used + size > room) {
            spec.buckets.emplace_back();
            used = 0;
        }
        used += size;
        spec.buckets.back().push_back(entry);
        records.push_back(record);
    }
    file.bytes = indexed_file(spec);
    file.attributes = as_text ? "org=idx rfm=var rat=cr" : "org=idx rfm=var";
    file.records = joined(records, as_text);
}

}  // namespace

MixedFile mixed_file(std::uint64_t seed, std::size_t index, std::size_t files_per_directory) {
    Random random{seed * 0x100000001B3ull + index};
    MixedFile file;
    char name[32];
    std::snprintf(name, sizeof name, "D%03zu/F%05zu.DAT", index / files_per_directory, index);
    file.name = name;
    constexpr std::size_t kKinds = 8;
    file.sidecar = index / kKinds % 2 == 0;
    switch (index % kKinds) {
        case 0: sequential_var(random, true, file); break;
        case 1: sequential_var(random, false, file); break;
        case 2: print_control(random, file); break;
        case 3: sequential_fix(random, true, file); break;
        case 4: sequential_fix(random, false, file); break;
        case 5: relative(random, file); break;
        case 6: indexed(random, true, file); break;
        default: indexed(random, false, file); break;
    }
    return file;
}

bool write_mixed_file(const std::string& root, const MixedFile& file) {
    const std::filesystem::path path = std::filesystem::path(root) / file.name;
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    const auto put = [](const std::filesystem::path& where, const std::string& content) {
        std::ofstream out(where, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        return static_cast<bool>(out);
    };
    return !error && put(path, text(file.bytes)) &&
           (!file.sidecar || put(path.string() + ".attr", file.attributes + "\n"));
}

}  // namespace rms
