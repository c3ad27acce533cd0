// Relative files of fixed-length records: cells without a length field.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz_relative(data, size, kRfmFixed);
}
