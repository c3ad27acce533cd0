// Writes the bundled example files, each with its attribute file and the
// output unrms must give for it. The examples test runs this program again
// and compares, so the examples can neither rot nor drift from the builder.
//
// usage: make_examples DIRECTORY
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

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
    std::vector<rms::Bytes> records;
    std::string expected;
    std::size_t longest = 0;
    for (const std::string& line : lines) {
        records.push_back(rms::bytes(line));
        expected += line + "\n";
        longest = std::max(longest, line.size());
    }
    return {"LOGIN.COM", rms::var_file(records),
            "org=seq rfm=var rat=cr lrl=" + std::to_string(longest) + "\n", expected};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_examples DIRECTORY\n");
        return 1;
    }
    const std::string directory = argv[1];
    for (const Example& example : {login_com()}) {
        const std::string base = directory + "/" + example.name;
        if (!write_file(base, rms::text(example.file)) || !write_file(base + ".attr", example.attributes) ||
            !write_file(base + ".expected", example.expected)) {
            std::fprintf(stderr, "make_examples: cannot write %s\n", base.c_str());
            return 1;
        }
    }
    return 0;
}
