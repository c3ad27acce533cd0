// Relative files: prolog, bucket walk and cells.
#include "harness.h"
#include "relative/relative_copy.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzRun run;
    if (fuzz_setup(run, data, size, kOrgRelative, kRfmVariable)) {
        copy_relative(run.input_fd, run.attributes, run.options, run.console, run.records);
        fuzz_teardown(run);
    }
    return 0;
}
