// Raw mode over var records, or over vfc records when the -p bit is set.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const bool vfc = size > 0 && (data[0] & 0x08) != 0;
    return fuzz_sequential(data, size, vfc ? kRfmVfc : kRfmVariable, true);
}
