// Indexed files: VBN 1, descriptor dumps, the bucket ring and entries, with
// the key flags as the input gives them.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz_indexed(data, size, {});
}
