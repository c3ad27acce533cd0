// Indexed files with key compression forced on: every key is a compk form.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz_indexed(data, size, {kRfmVariable, 0x40});
}
