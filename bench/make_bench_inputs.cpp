// Writes the large synthetic inputs of the throughput benchmark: for every
// input a file of at least MEGABYTES of record data and its attribute file,
// then inputs.list, one line per timed run for bench/run:
//
//   FILE|OPTIONS|RECORDS|OUTPUT_BYTES
//
// OUTPUT_BYTES is the exact size of the standard output unrms must give.
// The files are built by the test-only RMS builder a record at a time and
// streamed to disk in whole blocks, so memory stays small whatever the size.
//
// usage: make_bench_inputs DIRECTORY [MEGABYTES]   (default 200)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "rms_builder.h"

namespace {

using rms::Bytes;

constexpr std::size_t kDrainSize = 1 << 20;

// A deterministic source of text (splitmix64), so every run of the
// benchmark reads the same bytes.
struct TextSource {
    std::uint64_t state = 0x2545F4914F6CDD1Dull;
};

std::uint64_t next_random(TextSource& source) {
    std::uint64_t z = (source.state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::size_t next_below(TextSource& source, std::size_t bound) {
    return static_cast<std::size_t>(next_random(source) % bound);
}

// One line of a listing or a log: words and numbers, length in [low, high].
void make_line(TextSource& source, std::size_t low, std::size_t high, Bytes& line) {
    static const char* const kWords[] = {
        "ACCOUNT", "BALANCE", "$", "SET", "DEFAULT", "SYS$LOGIN:", "CALL", "RETURN", "IF", "THEN",
        "ELSE",    "ENDIF",   "=", "+", "TOTAL",   "RECORD",     "FILE", "OPEN", "CLOSE", "READ",
        "WRITE",   "status",  "error", "the", "of", "and", "to", "in", "customer", "invoice",
        "posted",  "pending",
    };
    constexpr std::size_t kWordCount = sizeof kWords / sizeof kWords[0];
    const std::size_t length = low + next_below(source, high - low + 1);
    line.clear();
    while (line.size() < length) {
        if (next_below(source, 4) == 0) {
            const std::string number = std::to_string(next_below(source, 1000000));
            line.insert(line.end(), number.begin(), number.end());
        } else {
            const char* word = kWords[next_below(source, kWordCount)];
            line.insert(line.end(), word, word + std::char_traits<char>::length(word));
        }
        line.push_back(' ');
    }
    line.resize(length);
}

// Writes the whole blocks of `pending` (the builder's bytes not yet on disk)
// once a megabyte has gathered, or all of it at the end. The builder places
// records by their offset within the current block, which stays the same
// when whole blocks leave the front.
bool drain(std::FILE* file, Bytes& pending, bool at_end) {
    if (!at_end && pending.size() < kDrainSize) {
        return true;
    }
    const std::size_t size = at_end ? pending.size() : pending.size() / rms::kBlockSize * rms::kBlockSize;
    if (std::fwrite(pending.data(), 1, size, file) != size) {
        return false;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(size));
    return true;
}

// Writes what is pending, then the head over the first blocks again: the
// end of file it records is only known once the buckets are written.
bool finish_with_head(std::FILE* out, Bytes& pending, const Bytes& head) {
    if (!drain(out, pending, true) || std::fseek(out, 0, SEEK_SET) != 0) {
        return false;
    }
    pending = head;
    return drain(out, pending, true);
}

// What a writer put into its file.
struct Totals {
    std::uint64_t records = 0;
    std::uint64_t data_bytes = 0;  // record data, as unrms writes it without options
    bool ok = false;
};

// Variable-length text records of 60 to 100 bytes; with a control area, vfc
// print records whose data alone are written.
Totals write_var_records(std::FILE* out, std::uint64_t target, const Bytes& control) {
    TextSource source;
    rms::VarFileBuilder file;
    Bytes line;
    Totals totals;
    while (totals.data_bytes < target) {
        make_line(source, 60, 100, line);
        rms::add_var_record(file, control.empty() ? line : rms::vfc_record(control, line));
        ++totals.records;
        totals.data_bytes += line.size();
        if (!drain(out, file.bytes, false)) {
            return totals;
        }
    }
    rms::end_var_block(file);
    totals.ok = drain(out, file.bytes, true);
    return totals;
}

Totals write_seq_var(std::FILE* out, std::uint64_t target) {
    return write_var_records(out, target, {});
}

Totals write_seq_vfc(std::FILE* out, std::uint64_t target) {
    // Print control: one line feed before, a carriage return after.
    return write_var_records(out, target, {0x01, 0x8D});
}

// Fixed-length records of 132 bytes: print lines blank-padded to the width.
Totals write_seq_fix(std::FILE* out, std::uint64_t target) {
    TextSource source;
    rms::FixFileBuilder file;
    file.record_length = 132;
    Bytes line;
    Totals totals;
    while (totals.data_bytes < target) {
        make_line(source, 20, 132, line);
        rms::add_fix_record(file, line);
        ++totals.records;
        totals.data_bytes += file.record_length;
        if (!drain(out, file.bytes, false)) {
            return totals;
        }
    }
    totals.ok = drain(out, file.bytes, true);
    return totals;
}

// Stream text lines of 60 to 100 bytes, each ended by CR LF (rfm=stm).
Totals write_seq_stm(std::FILE* out, std::uint64_t target) {
    TextSource source;
    Bytes file;
    Bytes line;
    Totals totals;
    while (totals.data_bytes < target) {
        make_line(source, 60, 100, line);
        rms::add_stream_record(file, line, rms::StreamFormat::kCrLf);
        ++totals.records;
        totals.data_bytes += line.size();
        if (!drain(out, file, false)) {
            return totals;
        }
    }
    totals.ok = drain(out, file, true);
    return totals;
}

// A relative file of buckets of 4 blocks, cells of 100 bytes holding records
// of 60 to 100 bytes, about one cell in 16 deleted. The prolog's eof is only
// known at the end, so the prolog is written again then.
Totals write_rel_var(std::FILE* out, std::uint64_t target) {
    TextSource source;
    rms::RelativeFileLayout layout;
    layout.bks = 4;
    layout.lrl = 100;
    const std::size_t cells_per_bucket = layout.bks * rms::kBlockSize / (layout.lrl + 3u);
    Totals totals;
    Bytes pending = rms::relative_prolog(layout, 0);
    std::size_t buckets = 0;
    std::vector<rms::RelativeCell> cells(cells_per_bucket);
    while (totals.data_bytes < target) {
        for (rms::RelativeCell& cell : cells) {
            make_line(source, 60, 100, cell.data);
            cell.dlc = next_below(source, 16) == 0 ? rms::kCellDeleted : rms::kCellRecordPresent;
            if (cell.dlc == rms::kCellRecordPresent) {
                ++totals.records;
                totals.data_bytes += cell.data.size();
            }
        }
        const Bytes bucket = rms::relative_bucket(layout, cells);
        pending.insert(pending.end(), bucket.begin(), bucket.end());
        ++buckets;
        if (!drain(out, pending, false)) {
            return totals;
        }
    }
    totals.ok = finish_with_head(out, pending, rms::relative_prolog(layout, buckets));
    return totals;
}

// An indexed file whose data buckets of 4 blocks follow one another behind
// the descriptors, each chained to the next and the last back to the first;
// about one record in 16 deleted. Each bucket is filled while the next entry
// fits; the prolog's eof is only known at the end, so the head is written
// again then. make_record(source, number) gives the records in key order.
Totals write_indexed(std::FILE* out, std::uint64_t target, const rms::IndexedKeyLayout& key,
                     void (*make_record)(TextSource& source, std::uint64_t number, Bytes& record)) {
    TextSource source;
    rms::IndexedFileLayout layout;
    layout.key = key;
    layout.datbktsz = 4;
    const std::size_t bucket_size = layout.datbktsz * rms::kBlockSize;
    const std::uint32_t first_vbn = rms::indexed_bucket_vbn(layout, 0);
    Totals totals;
    Bytes pending = rms::indexed_head(layout, 0);
    Bytes bucket_key;  // the last live key of the buckets written
    Bytes filling_key;  // ... and of the entries gathered for the next
    std::vector<rms::IndexedEntry> entries;
    std::uint64_t number = 0;
    std::size_t buckets = 0;
    for (bool last = false; !last;) {
        std::size_t used = rms::kBucketFirstEntry;
        std::uint64_t data_bytes = 0;
        std::uint64_t records = 0;
        entries.clear();
        while (true) {
            rms::IndexedEntry entry;
            make_record(source, number, entry.record);
            entry.kind = next_below(source, 16) == 0 ? rms::EntryKind::kDeleted : rms::EntryKind::kLive;
            Bytes key_after = filling_key;
            const std::size_t size = rms::indexed_entry_size(layout, entry, key_after);
            if (used + size > bucket_size) {
                break;  // the record is dropped: the next bucket makes its own
            }
            used += size;
            filling_key = key_after;
            if (entry.kind == rms::EntryKind::kLive) {
                ++number;
                ++records;
                data_bytes += entry.record.size();
            }
            entries.push_back(entry);
        }
        totals.records += records;
        totals.data_bytes += data_bytes;
        last = totals.data_bytes >= target;
        const auto vbn = static_cast<std::uint32_t>(first_vbn + buckets * layout.datbktsz);
        const Bytes bucket =
            rms::indexed_bucket(layout, entries, vbn, last ? first_vbn : vbn + layout.datbktsz, bucket_key);
        pending.insert(pending.end(), bucket.begin(), bucket.end());
        ++buckets;
        if (!drain(out, pending, false)) {
            return totals;
        }
    }
    totals.ok = finish_with_head(out, pending, rms::indexed_head(layout, buckets));
    return totals;
}

// Text records of 60 to 100 bytes with a key of two segments inside them: a
// 8-digit record number at 20 and a 4-byte account at 2, so every record is
// put back together from five pieces.
void make_plain_record(TextSource& source, std::uint64_t number, Bytes& record) {
    make_line(source, 60, 100, record);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08llu", static_cast<unsigned long long>(number));
    std::copy(digits, digits + 8, record.begin() + 20);
}

Totals write_idx_plain(std::FILE* out, std::uint64_t target) {
    rms::IndexedKeyLayout key;
    key.position = {20, 2};
    key.size = {8, 4};
    return write_indexed(out, target, key, make_plain_record);
}

// A record of 132 bytes: the digits of its key, then text of 40 to 100
// bytes, padded with blanks.
void make_keyed_text(TextSource& source, const char* digits, Bytes& record) {
    Bytes line;
    make_line(source, 40, 100, line);
    record.assign(digits, digits + std::strlen(digits));
    record.insert(record.end(), line.begin(), line.end());
    record.resize(132, ' ');
}

// Records of 132 bytes, as a listing keeps them: a 10-digit record number,
// the key, then text of 40 to 100 bytes padded with blanks. Consecutive keys
// share their leading digits and the padding is a run, so key and data
// compression both shorten every record.
void make_padded_record(TextSource& source, std::uint64_t number, Bytes& record) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%010llu", static_cast<unsigned long long>(number));
    make_keyed_text(source, digits, record);
}

Totals write_idx_compressed(std::FILE* out, std::uint64_t target) {
    rms::IndexedKeyLayout key;
    key.position = {0};
    key.size = {10};
    key.flags = rms::kKeyCompression | rms::kDataCompression;
    return write_indexed(out, target, key, make_padded_record);
}

// Fixed-length records of 132 bytes, as a master file keeps them: a key of
// two segments in front, in order (a 6-digit account and a 6-digit entry
// number), then text of 40 to 100 bytes padded with blanks.
void make_master_record(TextSource& source, std::uint64_t number, Bytes& record) {
    char digits[48];
    std::snprintf(digits, sizeof digits, "%06llu%06llu", static_cast<unsigned long long>(number / 1000 % 1000000),
                  static_cast<unsigned long long>(number % 1000));
    make_keyed_text(source, digits, record);
}

Totals write_idx_fix_compressed(std::FILE* out, std::uint64_t target) {
    rms::IndexedKeyLayout key;
    key.position = {0, 6};
    key.size = {6, 6};
    key.flags = rms::kKeyCompression | rms::kDataCompression;
    return write_indexed(out, target, key, make_master_record);
}

// One timed run of an input: the options, and the bytes each record adds to
// its data on standard output (a line end, or raw mode's length word).
struct Run {
    const char* options;
    unsigned bytes_per_record;
};

struct BenchInput {
    const char* file;
    const char* attributes;
    Totals (*write)(std::FILE* out, std::uint64_t target);
    std::vector<Run> runs;
};

// The inputs. With -l each record of an indexed file also gets its two-byte
// length: 3 bytes beside the data.
const std::vector<BenchInput>& bench_inputs() {
    static const std::vector<BenchInput> inputs = {
        {"seq_var.txt", "org=seq rfm=var rat=cr lrl=100\n", write_seq_var, {{"", 1}, {"-r", 2}}},
        {"seq_fix.dat", "org=seq rfm=fix rat=cr lrl=132\n", write_seq_fix, {{"", 1}, {"-r", 0}}},
        {"seq_vfc.lis", "org=seq rfm=vfc rat=prn fsz=2 lrl=100\n", write_seq_vfc, {{"", 1}}},
        {"seq_stm.txt", "org=seq rfm=stm rat=cr lrl=100\n", write_seq_stm, {{"", 1}}},
        {"rel_var.rel", "org=rel rfm=var rat=cr lrl=100 bks=4\n", write_rel_var, {{"", 1}}},
        {"idx_plain.idx", "org=idx rfm=var rat=cr\n", write_idx_plain, {{"", 1}, {"-l", 3}}},
        {"idx_compressed.idx", "org=idx rfm=var rat=cr\n", write_idx_compressed, {{"", 1}}},
        {"idx_fix_compressed.idx", "org=idx rfm=fix rat=cr lrl=132\n", write_idx_fix_compressed, {{"", 1}}},
    };
    return inputs;
}

bool write_text(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s DIRECTORY [MEGABYTES]\n", argv[0]);
        return 1;
    }
    const std::string directory = argv[1];
    const std::uint64_t target = (argc == 3 ? std::strtoull(argv[2], nullptr, 10) : 200) << 20;

    std::string list;
    for (const BenchInput& input : bench_inputs()) {
        const std::string path = directory + "/" + input.file;
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr) {
            std::perror(path.c_str());
            return 1;
        }
        const Totals totals = input.write(out, target);
        if (std::fclose(out) != 0 || !totals.ok || !write_text(path + ".attr", input.attributes)) {
            std::fprintf(stderr, "%s: could not be written\n", path.c_str());
            return 1;
        }
        for (const Run& run : input.runs) {
            list += std::string(input.file) + "|" + run.options + "|" + std::to_string(totals.records) + "|" +
                    std::to_string(totals.data_bytes + totals.records * run.bytes_per_record) + "\n";
        }
    }
    // Written last: a list on disk means every input is complete.
    if (!write_text(directory + "/inputs.list", list)) {
        std::fprintf(stderr, "%s/inputs.list: could not be written\n", directory.c_str());
        return 1;
    }
    return 0;
}
