// Zip archives: the directory, local headers, stored and deflated data, VMS fields.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz_archive(data, size, ArchiveFormat::kZip);
}
