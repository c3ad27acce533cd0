// What every fuzz target shares: the run options and attributes taken from
// the first bytes of the input, the rest as the input file, and both output
// streams sent to /dev/null. The aim of every target: no input crashes,
// hangs, or reads or writes outside a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "archives/archive.h"
#include "attributes/file_attributes.h"
#include "attributes/run_options.h"
#include "platform/console.h"

struct FuzzRun {
    RunOptions options;
    FileAttributes attributes;
    Console console;
    int input_fd = -1;  // a memory file holding the input file's bytes
};

// Bytes of the input the header takes before the file begins.
inline constexpr std::size_t kFuzzHeaderSize = 6;

// Fills run from data: byte 0 the options (bits 0-1 newline mode, bit 2 -l,
// bit 3 -p, bit 4 -r, bits 5-7 the verbose level: 0-2 none, 3-4 -v, 5
// -v2, 6 -v3, 7 -v-1), bytes 1-2
// lrl, byte 3 fsz, byte 4 bks, byte 5 rat; then org and rfm as given, and the
// consistency rules applied as the driver applies them. Returns false when
// the input is too short or the rules refuse the attributes.
bool fuzz_setup(FuzzRun& run, const std::uint8_t* data, std::size_t size, std::uint8_t org, std::uint8_t rfm);

// Releases the sinks; the memory file is kept for the next run.
void fuzz_teardown(FuzzRun& run);

// A descriptor of the process's memory file, now holding the given bytes and
// positioned at 0; -1 when it cannot be made.
int memory_file(const std::uint8_t* data, std::size_t size);

// Runs copy_sequential on the input with the given record format and raw
// mode forced on or off: one target per record reader.
int fuzz_sequential(const std::uint8_t* data, std::size_t size, std::uint8_t rfm, bool raw);

// Runs copy_sequential on the input with a stream record format, raw mode as
// the header says.
int fuzz_stream(const std::uint8_t* data, std::size_t size, std::uint8_t rfm);

// Runs copy_relative on the input with the given record format.
int fuzz_relative(const std::uint8_t* data, std::size_t size, std::uint8_t rfm);

// How an indexed target reads its input: the record format, the key flags
// of key 0 forced on and off, and the prolog version forced (0: as the input
// gives it), so that each storage form is reached by every input.
struct IndexedTarget {
    std::uint8_t rfm = kRfmVariable;
    std::uint8_t key_flags_on = 0;
    std::uint8_t key_flags_off = 0;
    std::uint16_t ver_no = 0;
};

// Runs copy_indexed on the input as the target says.
int fuzz_indexed(const std::uint8_t* data, std::size_t size, const IndexedTarget& target);

// Opens the input as an archive of the given format and reads every
// member's data through a small buffer, as a caller of archive.h does.
int fuzz_archive(const std::uint8_t* data, std::size_t size, ArchiveFormat format);
