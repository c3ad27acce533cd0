// Indexed files of fixed-length records with keys and data compressed:
// every record must expand to lrl bytes.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz_indexed(data, size, {kRfmFixed, 0xC0});
}
