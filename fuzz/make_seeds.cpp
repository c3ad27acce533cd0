// Writes the seed corpus of every fuzz target from files the test builder
// makes, each behind the header of run options and attributes that the
// targets read first.
//
// usage: make_seeds CORPUS_DIRECTORY
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive_builder.h"

namespace {

using rms::Bytes;
using rms::bytes;

struct Seed {
    std::string target;
    std::string name;
    Bytes content;
};

// Header bits: 0-1 newline (3 undecided), 2 -l, 3 -p, 4 -r, 5-7 verbose level.
constexpr unsigned char kUndecided = 3;
constexpr unsigned char kVerbose2 = 2 << 5;
// The harness maps header levels 5 and 6 to the dumps and traces.
constexpr unsigned char kDumps = 5 << 5;
constexpr unsigned char kTraces = 6 << 5;

Bytes with_header(unsigned char options, std::uint16_t lrl, unsigned char fsz, unsigned char bks,
                  unsigned char rat, const Bytes& file) {
    Bytes seed = {options, static_cast<unsigned char>(lrl), static_cast<unsigned char>(lrl >> 8), fsz, bks, rat};
    seed.insert(seed.end(), file.begin(), file.end());
    return seed;
}

Bytes marked_var_file() {
    rms::VarFileBuilder file;
    for (const char* record : {"abc", "", "wxyz", "odd"}) rms::add_var_record(file, bytes(record));
    rms::end_var_block(file);
    rms::add_var_record(file, Bytes(600, 'L'));
    rms::add_var_record(file, bytes("tail"));
    return file.bytes;
}

Bytes print_file() {
    return rms::var_file({rms::vfc_record(bytes("\x01\x8d"), bytes("head")), rms::vfc_record(Bytes{0, 0}, {}),
                          rms::vfc_record(bytes("\x01\x8d"), bytes("odd")), {}});
}

Bytes relative_seed_file() {
    rms::RelativeFileLayout spec;
    spec.bks = 1;
    spec.lrl = 20;
    spec.buckets = {{rms::present_cell(bytes("alpha")), {rms::kCellDeleted, bytes("gone")},
                     rms::present_cell(bytes("beta"))},
                    {rms::present_cell(bytes("")), {0, {}}, rms::present_cell(bytes("hidden"))}};
    return rms::relative_file(spec);
}

// Lone CRs and LFs beside the terminators, an empty record, a last record
// without its terminator, and lines long enough for the 64-byte fast path.
Bytes stream_seed_file(rms::StreamFormat format) {
    const bool crlf = format == rms::StreamFormat::kCrLf;
    Bytes file = rms::stream_file({bytes("first"), bytes(crlf ? "lone\rcr\r" : "lf\nin it"), {},
                                   Bytes(70, 'L'), Bytes(130, 'M'), bytes("\nleading lf")},
                                  format);
    file.insert(file.end(), {'l', 'a', 's', 't'});
    return file;
}

rms::RelativeFileLayout relative_cells_seed_spec(rms::CellFormat format) {
    rms::RelativeFileLayout spec;
    spec.cells = format;
    spec.bks = 1;
    spec.lrl = 10;
    spec.fsz = format == rms::CellFormat::kVfc ? 2 : 0;
    spec.buckets = {{rms::vfc_cell(bytes("\x01\x8d"), bytes("alpha")), {rms::kCellDeleted, bytes("gone")},
                     rms::vfc_cell(bytes("CC"), bytes("0123456789"))},
                    {rms::vfc_cell(bytes("ab"), {}), {0, {}}, rms::present_cell(bytes("hidden"))}};
    return spec;
}

rms::IndexedFileLayout indexed_seed_spec(std::uint8_t flags) {
    rms::IndexedFileLayout spec;
    spec.key.position = {4, 0};
    spec.key.size = {4, 2};
    spec.key.flags = flags;
    spec.key.name = "SEED";
    spec.extra_keys = {spec.key};
    spec.slots = {1, 0};
    spec.buckets = {{rms::live(bytes("P1--0001 bolt")), rms::deleted(bytes("P1--0002 gone")), rms::rrv_entry(),
                     rms::live(bytes("P1--0003 nut      ..."))},
                    {rms::live(bytes("P1--0004" + std::string(300, ' ') + "x")), rms::live(bytes("P2--0005"))}};
    return spec;
}

// Fixed-length records of 24 bytes: of prolog 3, plain (no rl fields) or
// compressed with the key in front; of prolog 2, behind heads with and
// without rrv pointers.
rms::IndexedFileLayout fixed_seed_spec(std::uint16_t ver_no, std::uint8_t flags) {
    rms::IndexedFileLayout spec;
    spec.ver_no = ver_no;
    spec.key.position = {0};
    spec.key.size = {ver_no == 3 ? std::uint8_t{8} : std::uint8_t{4}};
    spec.key.flags = flags;
    spec.fixed_entries = flags == 0;
    spec.slots = {1, 0};
    spec.buckets = {{rms::live(bytes("P1--0001 bolt    (steel)")), rms::deleted(bytes("P1--0002 gone           ")),
                     rms::rrv_entry(), rms::rrv_entry(false), rms::live(bytes("P1--0003 nut            "))},
                    {rms::live(bytes("P1--0004" + std::string(16, ' ')))}};
    return spec;
}

// A small saveset: a text file over two blocks, an indexed file, a
// directory; 1024-byte blocks in groups of 3, so that a few kilobytes hold
// XOR groups.
archive::SavesetLayout saveset_seed_layout() {
    archive::SavesetLayout layout;
    layout.name = "SEED.BCK";
    layout.block_size = 1024;
    layout.group_size = 3;
    const Bytes text = rms::var_file({bytes("first line"), bytes("second"), Bytes(700, 'x')});
    layout.members = {
        {"[SEED]TEXT.COM;2", archive::sequential_fat(2, 2, 700, text.size()), true, text},
        {"[SEED]TEXT.COM;1", archive::sequential_fat(2, 2, 10, 10), true, Bytes(10, 'a')},
        {"[SEED.SUB]DATA.IDX;1", archive::fat(2, 1, 0, 24, 2, 2, 0, 1), true, Bytes(1024, 'i')},
        {"[SEED]SUB.DIR;1", archive::sequential_fat(2, 8, 512, 512), true, Bytes(512, 0), true},
    };
    return layout;
}

// Two small savesets on one tape, each a tape file with its labels.
Bytes tape_seed() {
    archive::SavesetLayout first = saveset_seed_layout();
    first.members = {first.members[1]};
    archive::SavesetLayout second = first;
    second.name = "SEED.B";
    return archive::simh_tape({{"SEED.A", archive::saveset(first), 1024}, {"SEED.B", archive::saveset(second), 1024}});
}

Bytes zip_seed(bool im) {
    const Bytes text = rms::var_file({bytes("a line of text"), bytes("another")});
    archive::ZipMember stored{"kit/readme.txt", text, false};
    stored.attributes = archive::sequential_fat(2, 2, 14, text.size());
    archive::ZipMember deflated{"kit/data.idx", Bytes(1500, 'd'), true};
    deflated.attributes = archive::fat(2, 1, 0, 30, 3, 4, 0, 1);
    deflated.vms = !im;
    deflated.im = im;
    deflated.im_method = 2;
    archive::ZipMember plain{"kit/plain.c", bytes("int main(void) { return 0; }\n"), true, false};
    archive::ZipMember directory{"kit/", {}, false};
    directory.attributes = archive::sequential_fat(2, 8, 512, 0, 1);
    return archive::zip_archive({directory, stored, deflated, plain});
}

Bytes words(const std::vector<std::string>& list) {
    Bytes out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i != 0) out.push_back(0);
        out.insert(out.end(), list[i].begin(), list[i].end());
    }
    return out;
}

std::vector<Seed> seeds() {
    const Bytes fix80 = rms::fix_file({Bytes(80, 'a'), Bytes(80, 'b'), Bytes(80, 'c'), Bytes(80, 'd'),
                                       Bytes(80, 'e'), Bytes(80, 'f'), Bytes(80, 'g')},
                                      80);
    const Bytes fix81 = rms::fix_file({Bytes(81, 'a'), Bytes(81, 'b'), Bytes(81, 'c')}, 81);
    const Bytes fix80_blk = rms::fix_file({Bytes(80, 'a'), Bytes(80, 'b'), Bytes(80, 'c'), Bytes(80, 'd'),
                                           Bytes(80, 'e'), Bytes(80, 'f'), Bytes(80, 'g')},
                                          80, true);
    Bytes fix_partial = fix80;
    fix_partial.insert(fix_partial.end(), 30, 'z');
    return {
        {"var", "marked", with_header(kUndecided | kVerbose2, 0, 0, 0, 0x02, marked_var_file())},
        {"var", "no_span", with_header(1, 512, 0, 0, 0x08, rms::var_file({Bytes(300, 'a'), Bytes(301, 'b')}, true))},
        {"var", "vfc_whole", with_header(kUndecided | 0x08, 0, 2, 0, 0x04, print_file())},
        {"vfc", "print", with_header(kUndecided | kVerbose2, 80, 2, 0, 0x04, print_file())},
        {"vfc", "fsz4", with_header(0, 10, 4, 0, 0, rms::var_file({rms::vfc_record(bytes("1234"), bytes("data"))}))},
        {"fix", "reclen80", with_header(kUndecided | kVerbose2, 80, 0, 0, 0x02, fix80)},
        {"fix", "reclen81", with_header(2, 81, 0, 0, 0, fix81)},
        {"fix", "partial", with_header(kUndecided, 80, 0, 0, 0x02, fix_partial)},
        {"fix", "blk", with_header(kUndecided, 80, 0, 0, 0x0A, fix80_blk)},
        {"raw_var", "marked", with_header(kUndecided | kVerbose2, 0, 0, 0, 0, marked_var_file())},
        {"raw_var", "vfc", with_header(kUndecided | 0x08, 0, 2, 0, 0x04, print_file())},
        {"raw_fix", "reclen81", with_header(kUndecided | kVerbose2, 81, 0, 0, 0, fix81)},
        {"raw_fix", "partial", with_header(kUndecided, 80, 0, 0, 0, fix_partial)},
        {"raw_fix", "blk", with_header(kUndecided, 80, 0, 0, 0x08, fix80_blk)},
        {"stm", "lines", with_header(kUndecided | kDumps, 0, 0, 0, 0x02, stream_seed_file(rms::StreamFormat::kCrLf))},
        {"stm", "raw", with_header(kUndecided | 0x10, 80, 0, 0, 0x02, stream_seed_file(rms::StreamFormat::kCrLf))},
        {"stm", "no_line_ends", with_header(0, 0, 0, 0, 0, stream_seed_file(rms::StreamFormat::kCrLf))},
        {"stmcr", "lines", with_header(kUndecided | kDumps, 0, 0, 0, 0x02, stream_seed_file(rms::StreamFormat::kCr))},
        {"stmcr", "raw", with_header(kUndecided | 0x10, 80, 0, 0, 0x02, stream_seed_file(rms::StreamFormat::kCr))},
        {"stmcr", "no_line_ends", with_header(0, 0, 0, 0, 0, stream_seed_file(rms::StreamFormat::kCr))},
        {"relative", "two_buckets", with_header(kUndecided | kVerbose2, 20, 0, 1, 0x02, relative_seed_file())},
        {"relative_fix", "two_buckets",
         with_header(kUndecided | kDumps, 10, 0, 1, 0x02,
                     rms::relative_file(relative_cells_seed_spec(rms::CellFormat::kFixed)))},
        {"relative_vfc", "two_buckets",
         with_header(kUndecided | kDumps, 10, 2, 1, 0x04,
                     rms::relative_file(relative_cells_seed_spec(rms::CellFormat::kVfc)))},
        {"relative_vfc", "control_prefix",
         with_header(kUndecided | 0x08, 10, 2, 1, 0x02,
                     rms::relative_file(relative_cells_seed_spec(rms::CellFormat::kVfc)))},
        {"indexed", "plain", with_header(kUndecided | kDumps, 0, 0, 0, 0x02, rms::indexed_file(indexed_seed_spec(0)))},
        {"indexed", "compressed",
         with_header(kUndecided | kTraces | 0x04, 0, 0, 0, 0x02, rms::indexed_file(indexed_seed_spec(0xc0)))},
        {"indexed_keys", "compressed",
         with_header(kUndecided | kTraces, 0, 0, 0, 0x02, rms::indexed_file(indexed_seed_spec(0x40)))},
        {"indexed_data", "compressed",
         with_header(kUndecided | kTraces, 0, 0, 0, 0x02, rms::indexed_file(indexed_seed_spec(0x80)))},
        {"indexed_fix", "plain",
         with_header(kUndecided | kDumps, 24, 0, 0, 0x02, rms::indexed_file(fixed_seed_spec(3, 0)))},
        {"indexed_fix_compressed", "in_order",
         with_header(kUndecided | 0x04, 24, 0, 0, 0x02, rms::indexed_file(fixed_seed_spec(3, 0xc0)))},
        {"indexed_fix_compressed", "traced",
         with_header(kUndecided | kTraces, 24, 0, 0, 0x02, rms::indexed_file(fixed_seed_spec(3, 0xc0)))},
        {"indexed_prolog2", "fixed",
         with_header(kUndecided | kDumps, 24, 0, 0, 0x02, rms::indexed_file(fixed_seed_spec(2, 0)))},
        {"attributes", "var", bytes("org=seq rfm=var rat=cr lrl=28\n")},
        {"attributes", "relative", bytes("org=rel\r\nrfm=var\tbks=2 lrl=\nrat=none rat=blk\x1a junk")},
        {"attributes", "refused", bytes("org=idx rfm=stm bks=0x10 fsz=-1")},
        {"probe", "marked_var", marked_var_file()},
        {"probe", "relative", relative_seed_file()},
        {"probe", "fix81", fix81},
        {"options", "cluster", words({"-inv2", "-a", "attrs", "FILE"})},
        {"options", "dashes", words({"-a-", "-l", "--", "-odd"})},
        {"options", "error", words({"-pr", "-x", "-a"})},
        {"saveset", "kit", archive::saveset(saveset_seed_layout())},
        {"saveset", "lost_block", archive::with_bad_block(archive::saveset(saveset_seed_layout()), 1024, 2)},
        {"tape", "two_savesets", tape_seed()},
        {"zip", "pk_field", zip_seed(false)},
        {"zip", "im_fields", zip_seed(true)},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds CORPUS_DIRECTORY\n");
        return 1;
    }
    for (const Seed& seed : seeds()) {
        const std::filesystem::path directory = std::filesystem::path(argv[1]) / seed.target;
        std::filesystem::create_directories(directory);
        std::ofstream out(directory / ("seed_" + seed.name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(seed.content.data()), static_cast<std::streamsize>(seed.content.size()));
        if (!out) {
            std::fprintf(stderr, "make_seeds: cannot write %s\n", (directory / seed.name).c_str());
            return 1;
        }
    }
    return 0;
}
