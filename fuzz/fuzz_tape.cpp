// SIMH tape images: framing, ANSI labels, each tape file read as a saveset.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz_archive(data, size, ArchiveFormat::kSimhTape);
}
