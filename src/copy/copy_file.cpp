#include "copy/copy_file.h"

#include <memory>

#include "indexed/indexed_copy.h"
#include "platform/console.h"
#include "platform/raw_io.h"
#include "relative/relative_copy.h"
#include "sequential/sequential_copy.h"

namespace {

constexpr std::size_t kTypeChunkSize = 1 << 16;

}  // namespace

CopyOutcome copy_file(int input_fd, const char* name, const FileAttributes& attributes, const RunOptions& options,
                      Console& console) {
    CopyOutcome outcome;
    switch (org_of(attributes)) {
        case kOrgSequential:
            if (rfm_of(attributes) == kRfmUndefined || rfm_of(attributes) == kRfmStreamLf) {
                outcome = type_file(input_fd, name, console);
            } else {
                outcome = copy_sequential(input_fd, attributes, options, console);
            }
            break;
        case kOrgRelative:
            outcome = copy_relative(input_fd, attributes, options, console);
            break;
        case kOrgIndexed:
            outcome = copy_indexed(input_fd, attributes, options, console);
            break;
        default:
            message(console, " - not yet implemented\n");
            end_copy(outcome, CopyResult::kUnsupported);
            break;
    }
    if (!flush_output(console)) {
        outcome.result = CopyResult::kOutputError;
    }
    outcome.bytes = console.bytes_written;
    return outcome;
}

CopyOutcome type_file(int input_fd, const char* name, Console& console) {
    CopyOutcome outcome;
    const auto chunk = std::make_unique_for_overwrite<unsigned char[]>(kTypeChunkSize);
    for (;;) {
        std::size_t got = 0;
        if (!read_full(input_fd, chunk.get(), kTypeChunkSize, &got)) {
            report_system_error(console, name);
            end_copy(outcome, CopyResult::kInputError);
            return outcome;
        }
        if (!write_output(console, chunk.get(), got)) {
            end_copy(outcome, CopyResult::kOutputError);
            return outcome;
        }
        if (got < kTypeChunkSize) {
            return outcome;  // the end of the file
        }
    }
}
