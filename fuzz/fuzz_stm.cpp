// Stream records ended by CR LF, in every output mode.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz_stream(data, size, kRfmStream);
}
