// How often the whole rescue works: for many builder-made files of every
// kind, unrms-probe names the attributes and unrms -a - copies the file with
// them; the copy must be exactly the records the file was built from. A
// confident answer (exit 0) must never be a wrong one.
//
// A kind is a name and a generator; adding one is one generator function
// and one row of kKinds.
//
// A larger run, not part of the suite: UNRMS_EVALUATION_FILES sets the files
// per kind (default 60) and UNRMS_EVALUATION_SEED the first seed (default
// 0x5EED), e.g. UNRMS_EVALUATION_FILES=400 UNRMS_EVALUATION_SEED=7.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "rms_builder.h"
#include "run_tool.h"

namespace {

using rms::Bytes;

// A small deterministic generator (splitmix64), the same on every platform.
struct Prng {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [low, high].
    std::size_t in(std::size_t low, std::size_t high) { return low + next() % (high - low + 1); }
    bool chance(unsigned percent) { return next() % 100 < percent; }
};

struct BuiltFile {
    Bytes bytes;
    std::string records;  // exactly what unrms must write with the true attributes
    std::string truth;    // the attributes it was built with, for messages
};

const char* const kWords[] = {"the",  "record", "file",   "VMS",   "copy", "$",     "SET",    "DEFAULT", "block",
                              "of",   "and",    "length", "=",     "42",   "data",  "(a,b)", "print",  "index",
                              "DCL",  "to",     "RMS",    "value", "end",  "key",   "!",     "bucket", "line"};

Bytes text_line(Prng& prng, std::size_t longest) {
    std::string line;
    const std::size_t target = prng.in(0, longest);
    while (line.size() < target) {
        if (!line.empty()) line += ' ';
        line += kWords[prng.in(0, std::size(kWords) - 1)];
    }
    line.resize(std::min(line.size(), longest));
    return rms::bytes(line);
}

// Binary records as programs write them: a type code, a counter, a few
// fields, some zero fill.
Bytes binary_record(Prng& prng, std::size_t size, std::uint32_t counter) {
    Bytes record;
    record.push_back(static_cast<unsigned char>(prng.in(0, 7)));
    rms::put_le32(record, counter);
    while (record.size() < size) {
        record.push_back(prng.chance(40) ? 0 : static_cast<unsigned char>(prng.next()));
    }
    record.resize(size);
    return record;
}

std::string with_line_ends(const std::vector<Bytes>& records, bool line_ends) {
    std::string out;
    for (const Bytes& record : records) {
        out += rms::text(record);
        if (line_ends) out += '\n';
    }
    return out;
}

std::vector<Bytes> variable_records(Prng& prng, bool text) {
    std::vector<Bytes> records(prng.in(1, 150));
    std::uint32_t counter = static_cast<std::uint32_t>(prng.next());
    for (Bytes& record : records) {
        record = text ? text_line(prng, 132) : binary_record(prng, prng.in(6, prng.chance(10) ? 2000 : 300), counter++);
    }
    return records;
}

BuiltFile sequential_variable(Prng& prng, bool text) {
    std::vector<Bytes> records = variable_records(prng, text);
    return {rms::var_file(records, prng.chance(25)), with_line_ends(records, text),
            text ? "rfm=var rat=cr" : "rfm=var"};
}

BuiltFile variable_text(Prng& prng) { return sequential_variable(prng, true); }
BuiltFile variable_binary(Prng& prng) { return sequential_variable(prng, false); }

BuiltFile print_file(Prng& prng) {
    static const unsigned char kControls[][2] = {{0x01, 0x8D}, {0x01, 0x8D}, {0x01, 0x8D}, {0x00, 0x8D},
                                                 {0x01, 0x00}, {0x8C, 0x8D}, {0x02, 0x8D}, {0x00, 0x00}};
    std::vector<Bytes> lines(prng.in(1, 150));
    std::vector<Bytes> stored;
    for (Bytes& line : lines) {
        line = text_line(prng, 132);
        const unsigned char* control = kControls[prng.in(0, std::size(kControls) - 1)];
        stored.push_back(rms::vfc_record(Bytes(control, control + 2), line));
    }
    return {rms::var_file(stored), with_line_ends(lines, true), "rfm=vfc rat=prn fsz=2"};
}

std::size_t fixed_length(Prng& prng) {
    static const std::size_t kCommon[] = {2, 16, 32, 80, 128, 132, 256, 512, 600, 1024};
    return prng.chance(30) ? kCommon[prng.in(0, std::size(kCommon) - 1)] : prng.in(4, 300);
}

// Fixed-length text as such files hold it: fields at fixed columns (names,
// numbers, dates), or lines of prose, padded with blanks.
struct FieldLayout {
    std::vector<std::size_t> widths;
    std::vector<int> kinds;  // 0 word, 1 number, 2 date
};

FieldLayout field_layout(Prng& prng, std::size_t length) {
    FieldLayout layout;
    std::size_t used = 0;
    while (used + 4 <= length && layout.widths.size() < 12) {
        const std::size_t width = std::min(length - used, prng.in(4, 20));
        layout.widths.push_back(width);
        layout.kinds.push_back(static_cast<int>(prng.in(0, 2)));
        used += width;
    }
    return layout;
}

Bytes field_record(Prng& prng, const FieldLayout& layout, std::size_t length) {
    std::string record;
    for (std::size_t i = 0; i < layout.widths.size(); ++i) {
        std::string field;
        if (layout.kinds[i] == 0) {
            field = kWords[prng.in(0, std::size(kWords) - 1)];
        } else if (layout.kinds[i] == 1) {
            field = std::to_string(prng.in(0, 99999));
            field.insert(0, layout.widths[i] > field.size() ? layout.widths[i] - field.size() : 0, ' ');
        } else {
            field = std::to_string(prng.in(1970, 1999)) + "-0" + std::to_string(prng.in(1, 9));
        }
        field.resize(layout.widths[i], ' ');
        record += field;
    }
    record.resize(length, ' ');
    return rms::bytes(record);
}

BuiltFile sequential_fixed(Prng& prng, bool text) {
    const std::size_t length = std::max<std::size_t>(fixed_length(prng), text ? 8 : 4);
    std::vector<Bytes> records(prng.in(3, std::max<std::size_t>(4, 40000 / length)));
    std::uint32_t counter = static_cast<std::uint32_t>(prng.in(0, 100000));
    const bool prose = prng.chance(30);
    const FieldLayout layout = field_layout(prng, length);
    for (Bytes& record : records) {
        record = !text ? binary_record(prng, length, counter++)
                 : prose ? text_line(prng, length)
                         : field_record(prng, layout, length);
        record.resize(length, ' ');
    }
    return {rms::fix_file(records, length), with_line_ends(records, text),
            "rfm=fix lrl=" + std::to_string(length) + (text ? prose ? " rat=cr (prose)" : " rat=cr" : "")};
}

BuiltFile fixed_text(Prng& prng) { return sequential_fixed(prng, true); }
BuiltFile fixed_binary(Prng& prng) { return sequential_fixed(prng, false); }

// Stream text: lines ended by CR LF or by CR alone, each ending its line.
BuiltFile stream(Prng& prng, rms::StreamFormat format) {
    std::vector<Bytes> lines(prng.in(1, 300));
    for (Bytes& line : lines) {
        line = text_line(prng, 132);
    }
    return {rms::stream_file(lines, format), with_line_ends(lines, true),
            format == rms::StreamFormat::kCrLf ? "rfm=stm rat=cr" : "rfm=stmcr rat=cr"};
}

BuiltFile stream_crlf(Prng& prng) { return stream(prng, rms::StreamFormat::kCrLf); }
BuiltFile stream_cr(Prng& prng) { return stream(prng, rms::StreamFormat::kCr); }

BuiltFile relative(Prng& prng, bool text, rms::CellFormat cells = rms::CellFormat::kVariable) {
    rms::RelativeFileLayout spec;
    spec.cells = cells;
    spec.fsz = cells == rms::CellFormat::kVfc ? 2 : 0;
    spec.bks = static_cast<std::uint8_t>(prng.in(1, 4));
    spec.lrl = static_cast<std::uint16_t>(prng.in(8, prng.chance(20) ? 1500 : 200));
    spec.lrl = static_cast<std::uint16_t>(std::min<std::size_t>(spec.lrl, spec.bks * rms::kBlockSize - 5));
    const std::size_t cells_per_bucket = spec.bks * rms::kBlockSize / rms::relative_cell_size(spec);
    std::vector<Bytes> present;
    std::uint32_t counter = static_cast<std::uint32_t>(prng.next());
    spec.buckets.resize(prng.in(1, 8));
    for (auto& bucket : spec.buckets) {
        const std::size_t used = prng.in(prng.chance(50) ? cells_per_bucket : 1, cells_per_bucket);
        for (std::size_t i = 0; i < used; ++i) {
            Bytes data = text ? text_line(prng, spec.lrl) : binary_record(prng, prng.in(5, spec.lrl), counter++);
            if (cells == rms::CellFormat::kFixed) data.resize(spec.lrl, text ? ' ' : 0);
            if (prng.chance(15)) {
                bucket.push_back({rms::kCellDeleted, data});
            } else {
                bucket.push_back(rms::present_cell(data));
                present.push_back(data);
            }
        }
    }
    const char* rfm = cells == rms::CellFormat::kFixed ? " rfm=fix" : cells == rms::CellFormat::kVfc ? " rfm=vfc" : "";
    return {rms::relative_file(spec), with_line_ends(present, text),
            std::string("org=rel") + rfm + " bks=" + std::to_string(spec.bks) + " lrl=" + std::to_string(spec.lrl) + (text ? " rat=cr" : "")};
}

BuiltFile relative_text(Prng& prng) { return relative(prng, true); }
BuiltFile relative_binary(Prng& prng) { return relative(prng, false); }
BuiltFile relative_fixed_text(Prng& prng) { return relative(prng, true, rms::CellFormat::kFixed); }
BuiltFile relative_fixed_binary(Prng& prng) { return relative(prng, false, rms::CellFormat::kFixed); }
BuiltFile relative_vfc_text(Prng& prng) { return relative(prng, true, rms::CellFormat::kVfc); }

// How an indexed file of the evaluation stores its records.
struct IndexedForm {
    bool text = false;
    bool fixed = false;        // fixed-length records, of one length per file
    std::uint16_t ver_no = 3;  // prologs 1 and 2 compress nothing
};

// Indexed files: a key of one to three segments at positions of their own,
// buckets of one to 32 blocks chained in any order, deleted and rrv entries
// among the live ones, keys and data compressed or not.
BuiltFile indexed(Prng& prng, const IndexedForm& form) {
    static const std::uint8_t kFlags[] = {0, rms::kKeyCompression, rms::kDataCompression,
                                          rms::kKeyCompression | rms::kDataCompression};
    const bool text = form.text;
    rms::IndexedFileLayout spec;
    spec.ver_no = form.ver_no;
    spec.datbktsz = static_cast<std::uint8_t>(prng.chance(15) ? prng.in(9, 32) : prng.in(1, 8));
    spec.key.flags = form.ver_no == 3 ? kFlags[prng.in(0, std::size(kFlags) - 1)] : 0;
    spec.fixed_entries = form.fixed && spec.key.flags == 0;
    std::size_t key_end = 0;  // every record reaches past the last segment
    for (std::size_t i = prng.in(1, 3); i > 0; --i) {
        key_end += prng.in(0, 12);
        spec.key.position.push_back(static_cast<std::uint16_t>(key_end));
        spec.key.size.push_back(static_cast<std::uint8_t>(prng.in(1, 24)));
        key_end += spec.key.size.back();
    }
    // Segments need not be listed in the order of their positions.
    const std::size_t swapped = prng.in(0, spec.key.position.size() - 1);
    std::swap(spec.key.position[0], spec.key.position[swapped]);
    std::swap(spec.key.size[0], spec.key.size[swapped]);

    // The most an entry of a record can take: rl, the key form and the
    // segments of compressed data included.
    const bool data_compressed = (spec.key.flags & rms::kDataCompression) != 0;
    const auto entry_size = [&](std::size_t length) { return data_compressed ? 2 * length + 16 : length + 13; };
    const std::size_t room = spec.datbktsz * rms::kBlockSize - rms::kBucketFirstEntry;
    const std::size_t longest = std::min<std::size_t>(text ? 132 : 400, (room - 16) / (data_compressed ? 2 : 1));
    const std::size_t shortest = std::max<std::size_t>(key_end, 6);
    const std::size_t fixed_length = form.fixed ? prng.in(shortest, longest) : 0;
    std::vector<Bytes> live;
    std::uint32_t counter = static_cast<std::uint32_t>(prng.next());
    const auto record = [&] {
        if (!text) return binary_record(prng, form.fixed ? fixed_length : prng.in(shortest, longest), counter++);
        Bytes data = text_line(prng, key_end);
        data.resize(key_end, ' ');
        const Bytes rest = text_line(prng, longest - key_end);
        data.insert(data.end(), rest.begin(), rest.end());
        if (form.fixed) data.resize(fixed_length, ' ');
        return data;
    };
    spec.buckets.emplace_back();
    std::size_t used = 0;
    const auto place = [&](const rms::IndexedEntry& entry) {
        const std::size_t size = entry.kind == rms::EntryKind::kRrv ? 9 : entry_size(entry.record.size());
        if (used + size > room || prng.chance(3)) {
            spec.buckets.emplace_back();
            used = 0;
        }
        spec.buckets.back().push_back(entry);
        used += size;
    };
    for (std::size_t i = prng.in(1, 200); i > 0; --i) {
        if (prng.chance(8)) place(rms::deleted(record()));
        if (prng.chance(4)) place(rms::rrv_entry());
        live.push_back(record());
        place(rms::live(live.back()));
    }
    if (prng.chance(40)) {
        spec.slots.resize(spec.buckets.size());
        for (std::size_t i = 0; i < spec.slots.size(); ++i) spec.slots[i] = i;
        for (std::size_t i = spec.slots.size(); i > 1; --i) std::swap(spec.slots[i - 1], spec.slots[prng.in(0, i - 1)]);
    }
    return {rms::indexed_file(spec), with_line_ends(live, text),
            (form.fixed ? "org=idx rfm=fix lrl=" + std::to_string(fixed_length) : std::string("org=idx rfm=var")) +
                (text ? " rat=cr" : "") + " prolog=" + std::to_string(spec.ver_no) +
                " flags=" + std::to_string(spec.key.flags) +
                " segments=" + std::to_string(spec.key.position.size()) +
                " datbktsz=" + std::to_string(spec.datbktsz)};
}

BuiltFile indexed_text(Prng& prng) { return indexed(prng, {true}); }
BuiltFile indexed_binary(Prng& prng) { return indexed(prng, {false}); }
BuiltFile indexed_fixed_text(Prng& prng) { return indexed(prng, {true, true}); }
BuiltFile indexed_fixed_binary(Prng& prng) { return indexed(prng, {false, true}); }
BuiltFile indexed_prolog2_fixed(Prng& prng) { return indexed(prng, {prng.chance(50), true, 2}); }
BuiltFile indexed_prolog2_variable(Prng& prng) { return indexed(prng, {prng.chance(50), false, 2}); }

struct Kind {
    const char* name;
    BuiltFile (*generate)(Prng&);
    // The share recovered, in percent, below which the probe has lost
    // ground.
    int least_recovered = 95;
};

const Kind kKinds[] = {
    {"sequential var, text", variable_text},
    {"sequential var, binary", variable_binary},
    {"sequential vfc, print control", print_file},
    {"sequential fix, text", fixed_text},
    {"sequential fix, binary", fixed_binary},
    {"sequential stm, text", stream_crlf},
    {"sequential stmcr, text", stream_cr},
    {"relative var, text", relative_text},
    {"relative var, binary", relative_binary},
    {"relative fix, text", relative_fixed_text},
    // Binary records fit cells of other sizes wherever their bytes at the
    // cell boundaries are zeros or look like control bytes; with one or two
    // records to a bucket that happens often, and those answers exit 2.
    {"relative fix, binary", relative_fixed_binary, 75},
    {"relative vfc, text", relative_vfc_text},
    {"indexed var, text", indexed_text},
    {"indexed var, binary", indexed_binary},
    {"indexed fix, text", indexed_fixed_text},
    {"indexed fix, binary", indexed_fixed_binary},
    {"indexed prolog 2, fix", indexed_prolog2_fixed},
    {"indexed prolog 2, var", indexed_prolog2_variable},
};

// The environment variable as a number, or fallback when it is not set.
std::uint64_t setting(const char* name, std::uint64_t fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::strtoull(value, nullptr, 0) : fallback;
}

struct Tally {
    int recovered = 0;
    int confident = 0;
    int confident_wrong = 0;
};

TEST(ProbeEvaluation, RecoversTheRecordsOfEveryKind) {
    TempDir dir;
    std::printf("%-32s %9s %9s\n", "kind", "recovered", "confident");
    const int files = static_cast<int>(setting("UNRMS_EVALUATION_FILES", 60));
    std::uint64_t seed = setting("UNRMS_EVALUATION_SEED", 0x5EED);
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        Prng prng{seed++};
        Tally tally;
        for (int i = 0; i < files; ++i) {
            const BuiltFile file = kind.generate(prng);
            const std::string path = dir.write("DATA.DAT", file.bytes);
            ToolResult probe = run_unrms_probe({path});
            ASSERT_TRUE(probe.status == 0 || probe.status == 2) << probe.err;
            ToolResult copy = run_unrms({"-a", "-", path}, probe.out);
            const bool recovered = copy.status == 0 && copy.out == file.records;
            tally.recovered += recovered ? 1 : 0;
            tally.confident += probe.status == 0 ? 1 : 0;
            if (probe.status == 0 && !recovered) {
                ++tally.confident_wrong;
                ADD_FAILURE() << "file " << i << " (" << file.truth << "): confident and wrong: " << probe.out;
            }
        }
        std::printf("%-32s %8d%% %8d%%\n", kind.name, tally.recovered * 100 / files,
                    tally.confident * 100 / files);
        EXPECT_GE(tally.recovered * 100, files * kind.least_recovered);
        EXPECT_EQ(tally.confident_wrong, 0);
    }
}

}  // namespace
