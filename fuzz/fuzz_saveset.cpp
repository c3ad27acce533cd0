// BACKUP savesets: blocks checked, XOR groups repaired, records walked.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz_archive(data, size, ArchiveFormat::kSaveset);
}
