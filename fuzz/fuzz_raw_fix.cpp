// Raw mode over fixed-length records.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz_sequential(data, size, kRfmFixed, true);
}
