// vfc sequential records, without their control area, or whole with -p.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz_sequential(data, size, kRfmVfc, false);
}
