// Indexed files of prolog version 2, whose entries have short heads and
// whole records: each input is copied as fixed-length and as
// variable-length records.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_indexed(data, size, {kRfmFixed, 0, 0, 2});
    return fuzz_indexed(data, size, {kRfmVariable, 0, 0, 2});
}
