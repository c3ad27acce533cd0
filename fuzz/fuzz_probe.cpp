// The probe: every analysis on arbitrary bytes. The input is the file
// itself; from 1 KB on, only its first half is held in memory and the rest
// is read through the descriptor, as for a large file.
#include "harness.h"
#include "probe/probe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ProbeInput input;
    input.head = data;
    input.size = size;
    input.head_size = size;
    if (size >= 1024) {
        input.fd = memory_file(data, size);
        if (input.fd < 0) {
            return 0;
        }
        input.head_size = size / 2;
    }
    (void)probe(input);
    return 0;
}
