// Relative files of vfc records: a length that must cover the control area,
// which -p keeps.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz_relative(data, size, kRfmVfc);
}
