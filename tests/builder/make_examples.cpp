// Writes the bundled example files, each with its attribute file and the
// output unrms must give for it. The examples test runs this program again
// and compares, so the examples can neither rot nor drift from the builder.
//
// usage: make_examples DIRECTORY
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "rms_builder.h"

namespace {

struct Example {
    std::string name;
    rms::Bytes file;
    std::string attributes;
    std::string expected;  // standard output of unrms -a NAME.attr NAME
};

bool write_file(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return static_cast<bool>(out);
}

// Lines of text as records, what unrms writes for them with rat=cr, and
// the longest.
struct TextLines {
    std::vector<rms::Bytes> records;
    std::string expected;
    std::size_t longest = 0;
};

TextLines text_lines(const std::vector<std::string>& lines) {
    TextLines text;
    for (const std::string& line : lines) {
        text.records.push_back(rms::bytes(line));
        text.expected += line + "\n";
        text.longest = std::max(text.longest, line.size());
    }
    return text;
}

// A DCL command procedure: variable-length text records, one line each.
Example login_com() {
    const std::vector<std::string> lines = {
        "$ ! LOGIN.COM - personal login procedure",
        "$ SET NOON",
        "$ IF F$MODE() .NES. \"INTERACTIVE\" THEN EXIT",
        "",
        "$ SET TERMINAL/INQUIRE",
        "$ DIR :== DIRECTORY/SIZE/DATE",
        "$ WRITE SYS$OUTPUT \"Welcome to ''F$GETSYI(\"NODENAME\")'\"",
        "$ EXIT",
    };
    const TextLines text = text_lines(lines);
    return {"LOGIN.COM", rms::var_file(text.records),
            "org=seq rfm=var rat=cr lrl=" + std::to_string(text.longest) + "\n", text.expected};
}

// A print file: vfc records whose 2-byte control area holds the print
// control; unrms drops it and ends every record with a line end.
Example report_lis() {
    const std::vector<std::string> lines = {
        "MONTHLY USAGE REPORT                          PAGE 1",
        "",
        "ACCOUNT   USER        CPU TIME   CONNECT",
        "SYSTEM    OPERATOR     00:12:31   41:02",
        "FIELD     SERVICE      00:00:04   00:17",
    };
    std::vector<rms::Bytes> records;
    std::string expected;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const rms::Bytes control = i == 0 ? rms::Bytes{0x01, 0x8C} : rms::Bytes{0x01, 0x8D};
        records.push_back(rms::vfc_record(control, rms::bytes(lines[i])));
        expected += lines[i] + "\n";
    }
    return {"REPORT.LIS", rms::var_file(records), "org=seq rfm=vfc rat=prn fsz=2 lrl=80\n", expected};
}

// Fixed-length records of 33 bytes: odd, so each carries a pad byte, and
// fifteen fill a block before the next starts a new one.
Example prices_dat() {
    std::vector<rms::Bytes> records;
    std::string expected;
    for (int i = 1; i <= 20; ++i) {
        char line[34];
        std::snprintf(line, sizeof line, "PART-%04d  WIDGET %02d     %5d.%02d", i * 7, i, i * 13, i * 3 % 100);
        records.push_back(rms::bytes(line));
        expected += std::string(line) + "\n";
    }
    return {"PRICES.DAT", rms::fix_file(records, 33), "org=seq rfm=fix rat=cr lrl=33\n", expected};
}

// A stream text file: each line ended by CR LF, which unrms turns into a
// line end; the form feed that starts the second page is record data.
Example notes_txt() {
    const std::vector<std::string> lines = {
        "MEETING NOTES - 14-MAR-1991",
        "",
        "Attendees: J. Smith, R. Patel, L. Chen",
        "1. Backup schedule moves to Sunday 02:00.",
        "2. New disk quota: 20000 blocks per user.",
        "\fPage 2",
        "3. Next meeting: 28-MAR-1991.",
    };
    const TextLines text = text_lines(lines);
    return {"NOTES.TXT", rms::stream_file(text.records, rms::StreamFormat::kCrLf),
            "org=seq rfm=stm rat=cr lrl=" + std::to_string(text.longest) + "\n", text.expected};
}

// A relative file: cells numbered by record number, some of them empty or
// deleted, in buckets of two blocks.
Example accounts_rel() {
    rms::RelativeFileLayout spec;
    spec.bks = 2;
    spec.lrl = 40;
    spec.mrn = 100;
    spec.stale_value = 0;
    spec.buckets = {
        {rms::present_cell(rms::bytes("1001 ACME TOOL CO          OPEN")),
         rms::present_cell(rms::bytes("1002 BAYSIDE MARINE        CLOSED")),
         {rms::kCellDeleted, rms::bytes("1003 DELETED RECORD")},
         rms::present_cell(rms::bytes("1004 CENTRAL FARMS         OPEN"))},
        {rms::present_cell(rms::bytes("1024 DUNMORE FREIGHT      OPEN"))},
    };
    std::string expected;
    for (const auto& bucket : spec.buckets) {
        for (const rms::RelativeCell& cell : bucket) {
            if (cell.dlc == rms::kCellRecordPresent) expected += rms::text(cell.data) + "\n";
        }
    }
    return {"ACCOUNTS.REL", rms::relative_file(spec), "org=rel rfm=var rat=cr bks=2 lrl=40\n", expected};
}

// An indexed parts file: the primary key is the part number at column 0
// and the bin at column 20; two buckets, the second before the first on
// disk, and a deleted record that must not show.
Example parts_idx() {
    const std::vector<std::string> lines = {
        "A-1001  HEX BOLT    BIN-07  QTY 400",
        "A-1002  HEX NUT     BIN-07  QTY 950",
        "A-1010  WASHER      BIN-02  QTY 120",
        "B-2000  SPRING      BIN-11  QTY 075",
        "B-2001  PULLEY      BIN-11  QTY 012",
    };
    rms::IndexedFileLayout spec;
    spec.key.position = {0, 20};
    spec.key.size = {6, 6};
    spec.key.name = "PART";
    spec.slots = {1, 0};
    spec.buckets = {{rms::live(rms::bytes(lines[0])), rms::deleted(rms::bytes("A-1005  RETIRED")),
                     rms::live(rms::bytes(lines[1])), rms::live(rms::bytes(lines[2]))},
                    {rms::live(rms::bytes(lines[3])), rms::live(rms::bytes(lines[4]))}};
    std::string expected;
    for (const std::string& line : lines) expected += line + "\n";
    return {"PARTS.IDX", rms::indexed_file(spec), "org=idx rfm=var rat=cr\n", expected};
}

// An indexed file of one bucket, the key in front of each line and keys
// and data compressed, as RMS stores them by default; lines shorter than
// fixed_length (when given) are padded with blanks to it.
Example compressed_idx(const char* name, const char* key_name, std::uint8_t key_size,
                       const std::vector<std::string>& lines, std::size_t fixed_length, const char* attributes) {
    rms::IndexedFileLayout spec;
    spec.key.position = {0};
    spec.key.size = {key_size};
    spec.key.flags = rms::kKeyCompression | rms::kDataCompression;
    spec.key.name = key_name;
    spec.buckets = {{}};
    std::string expected;
    for (std::string line : lines) {
        if (fixed_length != 0) line.resize(fixed_length, ' ');
        spec.buckets[0].push_back(rms::live(rms::bytes(line)));
        expected += line + "\n";
    }
    return {name, rms::indexed_file(spec), attributes, expected};
}

// An indexed file with compressed keys and data: keys share their front
// with the key before them, and runs of blanks in the data are stored once
// with a count.
Example customers_idx() {
    return compressed_idx("CUSTOMERS.IDX", "CUSTOMER", 10,
                          {
                              "CUST000100  ALDEN HARDWARE                    PORTLAND      OR",
                              "CUST000101  ALDEN HARDWARE WEST               SALEM         OR",
                              "CUST000117  BRIGHTWATER SUPPLY                TACOMA        WA",
                              "CUST000200  COASTAL MILLS                     EUREKA        CA",
                          },
                          0, "org=idx rfm=var rat=cr\n");
}

// An indexed file of fixed-length records, 40 bytes each: the staff number
// is the key, records are blank-padded to the length.
Example staff_idx() {
    return compressed_idx("STAFF.IDX", "STAFF_NUMBER", 6,
                          {
                              "004711  MARTA OLSEN          ACCOUNTS  ",
                              "004712  JOHN PETRAKIS        SHIPPING  ",
                              "004730  LI WEI               ACCOUNTS  ",
                              "005001  ANNE DUBOIS          ",
                          },
                          40, "org=idx rfm=fix rat=cr lrl=40\n");
}

// The archives of the rescue's worked example, in archives/: a saveset of
// three of the examples as a kit holds them, and a zip made with zip -V on
// VMS that holds two more and the saveset itself. Their members convert to
// the examples' expected outputs.
archive::SavesetMember saveset_member(const std::string& directory, const Example& example) {
    return {"[" + directory + "]" + example.name + ";1",
            archive::fat_from_assignments(example.attributes, example.file.size()), true, example.file};
}

archive::ZipMember zip_member(const std::string& name, const rms::Bytes& data, const archive::Fat& fat) {
    archive::ZipMember member;
    member.name = name;
    member.data = data;
    member.attributes = fat;
    return member;
}

bool write_archives(const std::string& directory) {
    archive::SavesetLayout kit;
    kit.name = "ACCTNG.A";
    kit.block_size = 8192;
    kit.members = {saveset_member("ACCTNG", login_com()), saveset_member("ACCTNG.DATA", prices_dat()),
                   saveset_member("ACCTNG.DATA", parts_idx())};
    const rms::Bytes saveset = archive::saveset(kit);
    const Example notes = notes_txt();
    const Example staff = staff_idx();
    const rms::Bytes zip = archive::zip_archive(
        {zip_member("tools/notes.txt", notes.file, archive::fat_from_assignments(notes.attributes, notes.file.size())),
         zip_member("tools/staff.idx", staff.file, archive::fat_from_assignments(staff.attributes, staff.file.size())),
         zip_member("tools/acctng.a", saveset, archive::fat(0, 1, 0, 512, static_cast<std::uint32_t>(saveset.size() / 512),
                                                           static_cast<std::uint32_t>(saveset.size() / 512 + 1), 0))});
    std::filesystem::create_directories(directory + "/archives");
    return write_file(directory + "/archives/ACCTNG.A", rms::text(saveset)) &&
           write_file(directory + "/archives/TOOLS.ZIP", rms::text(zip));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_examples DIRECTORY\n");
        return 1;
    }
    const std::string directory = argv[1];
    for (const Example& example : {login_com(), report_lis(), prices_dat(), notes_txt(), accounts_rel(), parts_idx(),
                                   customers_idx(), staff_idx()}) {
        const std::string base = directory + "/" + example.name;
        if (!write_file(base, rms::text(example.file)) || !write_file(base + ".attr", example.attributes) ||
            !write_file(base + ".expected", example.expected)) {
            std::fprintf(stderr, "make_examples: cannot write %s\n", base.c_str());
            return 1;
        }
    }
    if (!write_archives(directory)) {
        std::fprintf(stderr, "make_examples: cannot write %s/archives\n", directory.c_str());
        return 1;
    }
    return 0;
}
