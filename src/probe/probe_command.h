// The command line of unrms-probe.
#pragma once

struct Console;

// Exit statuses: every guess confident, at least one weak guess, an error.
inline constexpr int kProbeConfident = 0;
inline constexpr int kProbeError = 1;
inline constexpr int kProbeWeak = 2;

// Probes every file named and prints one line of assignments for each on
// standard output (behind "NAME: " when there are several), the evidence on
// standard error with -v. Returns the worst status of the files.
int run_probe(int argc, char* const* argv, Console& console);
