// Writes the tree of the rescue benchmark: COUNT small RMS files of every
// kind the copiers handle (sequential var, vfc and fix text and binary,
// relative, indexed), half of them with .attr sidecars, 100 to a
// directory; bench/rescue times unrms-rescue and the shell loop on it.
//
// usage: make_rescue_tree DIRECTORY [COUNT]   (default 20000)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mixed_tree.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_rescue_tree DIRECTORY [COUNT]\n");
        return 1;
    }
    const std::size_t count = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : 20000;
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const rms::MixedFile file = rms::mixed_file(1, i);
        if (!rms::write_mixed_file(argv[1], file)) {
            std::fprintf(stderr, "make_rescue_tree: cannot write %s/%s\n", argv[1], file.name.c_str());
            return 1;
        }
        bytes += file.bytes.size();
    }
    std::printf("%zu files, %llu bytes\n", count, static_cast<unsigned long long>(bytes));
    return 0;
}
