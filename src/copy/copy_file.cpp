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

bool copy_file(int input_fd, const char* name, const FileAttributes& attributes, const RunOptions& options,
               Console& console, std::uint64_t& records) {
    switch (org_of(attributes)) {
        case kOrgSequential:
            if (rfm_of(attributes) == kRfmUndefined || rfm_of(attributes) == kRfmStreamLf) {
                return type_file(input_fd, name, console);
            }
            return copy_sequential(input_fd, attributes, options, console, records);
        case kOrgRelative:
            return copy_relative(input_fd, attributes, options, console, records);
        case kOrgIndexed:
            return copy_indexed(input_fd, attributes, options, console, records);
        default:
            message(console, " - not yet implemented\n");
            return false;
    }
}

bool type_file(int input_fd, const char* name, Console& console) {
    const auto chunk = std::make_unique_for_overwrite<unsigned char[]>(kTypeChunkSize);
    for (;;) {
        std::size_t got = 0;
        if (!read_full(input_fd, chunk.get(), kTypeChunkSize, &got)) {
            report_system_error(console, name);
            return false;
        }
        if (!write_output(console, chunk.get(), got)) {
            return false;
        }
        if (got < kTypeChunkSize) {
            return true;  // the end of the file
        }
    }
}
