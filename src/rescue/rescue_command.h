// The command line of unrms-rescue: every file under the PATHs converted
// into a tree under OUTDIR by a pool of workers, with a manifest of what
// became of each.
#pragma once

#include <cstdint>
#include <string>

struct Console;

// Exit statuses: every file copied with given or confident attributes (or
// skipped), some copied on unsure answers, any failure.
inline constexpr int kRescueCopied = 0;
inline constexpr int kRescueFailed = 1;
inline constexpr int kRescueUnsure = 2;

// The most workers -j takes.
inline constexpr unsigned kMostWorkers = 256;

// Runs one invocation and returns its exit status. The console's standard
// output carries the plan of -n; its standard error the usage, the progress
// line, a line for each failed file and the summary.
int run_rescue(int argc, char* const* argv, Console& console);

// The progress line: files done of the total, megabytes read, the rate and
// the time left at that rate (none until something has been read).
std::string progress_text(std::uint64_t files, std::uint64_t total_files, std::uint64_t bytes,
                          std::uint64_t total_bytes, double seconds);
