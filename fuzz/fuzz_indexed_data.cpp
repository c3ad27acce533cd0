// Indexed files with data compression forced on: every body ends in compd
// segments.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz_indexed(data, size, {kRfmVariable, 0x80});
}
