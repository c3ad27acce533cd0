// Indexed files of fixed-length records stored plain: key 0's compression
// forced off, so that every entry lacks its rl field and every body is lrl
// bytes.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz_indexed(data, size, {kRfmFixed, 0, 0xC0});
}
