// Relative files of variable-length records: prolog, bucket walk and cells.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz_relative(data, size, kRfmVariable);
}
