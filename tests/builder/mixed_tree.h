// Small RMS files of every kind the copiers handle, as a disk holds them:
// for the tests and the benchmark of unrms-rescue. File number i of a seed
// is always the same file, so a tree of any size is written one file at a
// time and its expected outputs are known without keeping them.
#pragma once

#include <cstdint>
#include <string>

#include "rms_builder.h"

namespace rms {

struct MixedFile {
    std::string name;        // its path in the tree: "D007/F00712.DAT"
    Bytes bytes;
    std::string attributes;  // the assignments it was built with
    bool sidecar = false;    // whether NAME.attr is written beside it
    std::string records;     // what unrms -a writes with those attributes
};

// File number index of the tree of the given seed: sequential var, vfc and
// fix files of text and of binary records, relative and indexed files, in
// turn; each kind with its .attr sidecar one round and without the next. A directory holds
// files_per_directory files.
MixedFile mixed_file(std::uint64_t seed, std::size_t index, std::size_t files_per_directory = 100);

// Writes the file (and its sidecar) below root, creating its directory;
// false when a write fails.
bool write_mixed_file(const std::string& root, const MixedFile& file);

}  // namespace rms
