#include "harness.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <vector>

#include "attributes/attribute_rules.h"
#include "indexed/indexed_copy.h"
#include "relative/relative_copy.h"
#include "platform/raw_io.h"
#include "sequential/sequential_copy.h"

int memory_file(const std::uint8_t* data, std::size_t size) {
    // One memory file serves every run of the process: creating one per run
    // would cost more than the run itself. Truncating leaves the offset where
    // the last run's reads left it, and a write there would put a hole of
    // zeros in front of the input: seek first.
    static int fd = ::memfd_create("fuzz-input", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0 || !write_all(fd, data, size) ||
        ::lseek(fd, 0, SEEK_SET) != 0) {
        return -1;
    }
    return fd;
}

bool fuzz_setup(FuzzRun& run, const std::uint8_t* data, std::size_t size, std::uint8_t org, std::uint8_t rfm) {
    if (size < kFuzzHeaderSize) {
        return false;
    }
    const std::uint8_t flags = data[0];
    static constexpr NewlineMode kNewlineModes[4] = {NewlineMode::kNone, NewlineMode::kAfterRecord,
                                                     NewlineMode::kAfterRecord, NewlineMode::kUndecided};
    run.options.newline_mode = kNewlineModes[flags & 3];
    run.options.length_prefix = ((flags >> 2) & 1) != 0;
    run.options.control_prefix = ((flags >> 3) & 1) != 0;
    run.options.raw = ((flags >> 4) & 1) != 0;
    // Most inputs run quietly: the per-record dumps of -v2 and up cost a
    // system call per record, which would slow the search tenfold.
    static constexpr int kVerboseLevels[8] = {0, 0, 0, 1, 1, 2, 3, -1};
    run.options.verbose = kVerboseLevels[flags >> 5];

    set_org(run.attributes, org);
    set_rfm(run.attributes, rfm);
    set_lrl(run.attributes, static_cast<std::uint16_t>(data[1] | (data[2] << 8)));
    set_fsz(run.attributes, data[3]);
    set_bks(run.attributes, data[4]);
    set_rat(run.attributes, data[5] & 0x1F);

    int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    console_open(run.console, sink, sink, 1 << 16);
    if (!check_attributes(run.attributes, run.console)) {
        fuzz_teardown(run);
        return false;
    }
    settle_newline_mode(run.options, rat_of(run.attributes));
    run.input_fd = memory_file(data + kFuzzHeaderSize, size - kFuzzHeaderSize);
    if (run.input_fd < 0) {
        fuzz_teardown(run);
        return false;
    }
    return true;
}

void fuzz_teardown(FuzzRun& run) {
    flush_output(run.console);
    run.input_fd = -1;
    ::close(run.console.out_fd);
}

namespace {

// The copier of a target: copy_sequential, copy_relative or copy_indexed.
using Copier = CopyOutcome (*)(int, const FileAttributes&, const RunOptions&, Console&);

// Runs copy on a run fuzz_setup has prepared, then tears it down. A copy
// that claims to be complete while a write failed would be reported as a
// success: that is a finding.
int fuzz_copy(FuzzRun& run, Copier copy) {
    const CopyOutcome outcome = copy(run.input_fd, run.attributes, run.options, run.console);
    if (copy_complete(outcome) && run.console.output_failed) {
        std::abort();
    }
    fuzz_teardown(run);
    return 0;
}

}  // namespace

int fuzz_sequential(const std::uint8_t* data, std::size_t size, std::uint8_t rfm, bool raw) {
    FuzzRun run;
    if (!fuzz_setup(run, data, size, kOrgSequential, rfm)) {
        return 0;
    }
    run.options.raw = raw;
    return fuzz_copy(run, copy_sequential);
}

int fuzz_stream(const std::uint8_t* data, std::size_t size, std::uint8_t rfm) {
    FuzzRun run;
    return fuzz_setup(run, data, size, kOrgSequential, rfm) ? fuzz_copy(run, copy_sequential) : 0;
}

int fuzz_relative(const std::uint8_t* data, std::size_t size, std::uint8_t rfm) {
    FuzzRun run;
    return fuzz_setup(run, data, size, kOrgRelative, rfm) ? fuzz_copy(run, copy_relative) : 0;
}

int fuzz_indexed(const std::uint8_t* data, std::size_t size, const IndexedTarget& target) {
    // The key flags and the prolog version lie at offsets 16 and 116 of the
    // file, behind the header.
    constexpr std::size_t kKeyFlags = kFuzzHeaderSize + 16;
    constexpr std::size_t kPrologVersion = kFuzzHeaderSize + 116;
    std::vector<std::uint8_t> input(data, data + size);
    if (input.size() > kKeyFlags) {
        input[kKeyFlags] = static_cast<std::uint8_t>((input[kKeyFlags] | target.key_flags_on) & ~target.key_flags_off);
    }
    if (target.ver_no != 0 && input.size() > kPrologVersion + 1) {
        input[kPrologVersion] = static_cast<std::uint8_t>(target.ver_no);
        input[kPrologVersion + 1] = static_cast<std::uint8_t>(target.ver_no >> 8);
    }
    FuzzRun run;
    if (!fuzz_setup(run, input.data(), input.size(), kOrgIndexed, target.rfm)) {
        return 0;
    }
    return fuzz_copy(run, copy_indexed);
}

int fuzz_archive(const std::uint8_t* data, std::size_t size, ArchiveFormat format) {
    const int fd = memory_file(data, size);
    if (fd < 0) {
        return 0;
    }
    Archive archive;
    if (archive_open(archive, fd, size, format)) {
        MemberHeader header;
        unsigned char buffer[1000];
        while (archive_next(archive, header)) {
            while (archive_read(archive, buffer, sizeof buffer) != 0) {
            }
            (void)archive_member_outcome(archive);
        }
    }
    (void)archive_outcome(archive);
    return 0;
}
