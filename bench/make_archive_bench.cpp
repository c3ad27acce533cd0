// Writes the inputs of the saveset case of the rescue benchmark: the files
// of the mixed tree, COUNT of them, each with its .attr sidecar, below
// DIRECTORY/tree, and the same files as the members of one BACKUP saveset,
// DIRECTORY/KIT.BCK, which holds their attributes itself. bench/rescue
// times unrms-rescue on both.
//
// usage: make_archive_bench DIRECTORY [COUNT]   (default 20000)
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "archive_builder.h"
#include "mixed_tree.h"

namespace {

// "D007/F00712.DAT" as a saveset names it: "[D007]F00712.DAT;1".
std::string vms_name(const std::string& path) {
    std::string name = path;
    const std::size_t slash = name.find('/');
    name[slash] = ']';
    name.insert(name.begin(), '[');
    name.append(";1");
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_archive_bench DIRECTORY [COUNT]\n");
        return 1;
    }
    const std::string root = argv[1];
    const std::size_t count = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : 20000;
    archive::SavesetLayout layout;
    layout.name = "KIT.BCK";
    layout.block_size = 32256;
    layout.group_size = 10;
    for (std::size_t i = 0; i < count; ++i) {
        rms::MixedFile file = rms::mixed_file(1, i);
        file.sidecar = true;
        if (!rms::write_mixed_file(root + "/tree", file)) {
            std::fprintf(stderr, "make_archive_bench: cannot write %s/tree/%s\n", root.c_str(), file.name.c_str());
            return 1;
        }
        layout.members.push_back(
            {vms_name(file.name), archive::fat_from_assignments(file.attributes, file.bytes.size()), true, file.bytes});
    }
    const rms::Bytes saveset = archive::saveset(layout);
    std::ofstream(root + "/KIT.BCK", std::ios::binary)
        .write(reinterpret_cast<const char*>(saveset.data()), static_cast<std::streamsize>(saveset.size()));
    std::printf("%zu files, a saveset of %zu bytes\n", count, saveset.size());
    return 0;
}
