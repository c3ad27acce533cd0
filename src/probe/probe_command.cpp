#include "probe/probe_command.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/console.h"
#include "probe/probe.h"

namespace {

int usage(Console& console) {
    message(console, "usage: unrms-probe [-v] FILE...\n");
    return kProbeError;
}

void print_evidence(const char* path, const ProbeVerdict& verdict, Console& console) {
    message(console, "%s: %zu candidates\n", path, verdict.candidates.size());
    for (const Candidate& candidate : verdict.candidates) {
        message(console, "  %3d  %s: %s\n", candidate.score, assignment_line(candidate).c_str(),
                candidate.evidence.c_str());
    }
    const Candidate& best = verdict.candidates[0];
    if (verdict.candidates.size() > 1) {
        const Candidate& second = verdict.candidates[1];
        message(console, "%s: %s wins with score %d against %d for %s: %s\n", path, assignment_line(best).c_str(),
                best.score, second.score, assignment_line(second).c_str(), best.evidence.c_str());
    } else {
        message(console, "%s: %s is the only candidate: %s\n", path, assignment_line(best).c_str(),
                best.evidence.c_str());
    }
}

int probe_one(const char* path, bool several, bool verbose, Console& console) {
    ProbeVerdict verdict;
    const ProbeOpen opened = probe_path(path, verdict);
    if (opened != ProbeOpen::kProbed) {
        message(console, "unrms-probe: %s: %s\n", path,
                opened == ProbeOpen::kNotRegular ? "not a regular file" : std::strerror(errno));
        return kProbeError;
    }
    if (verbose) {
        print_evidence(path, verdict, console);
    }
    const std::string line =
        (several ? std::string(path) + ": " : std::string()) + assignment_line(verdict.candidates[0]) + "\n";
    write_output(console, line.data(), line.size());
    if (verdict.confident) {
        return kProbeConfident;
    }
    const Candidate& best = verdict.candidates[0];
    if (verdict.candidates.size() > 1) {
        const Candidate& second = verdict.candidates[1];
        message(console, "unrms-probe: %s: weak guess (score %d); runner-up %s (score %d)\n", path, best.score,
                assignment_line(second).c_str(), second.score);
    } else {
        message(console, "unrms-probe: %s: weak guess (score %d)\n", path, best.score);
    }
    return kProbeWeak;
}

}  // namespace

int run_probe(int argc, char* const* argv, Console& console) {
    bool verbose = false;
    int first = 1;
    for (; first < argc && argv[first][0] == '-' && argv[first][1] != '\0'; ++first) {
        if (std::strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        }
        if (std::strcmp(argv[first], "-v") != 0) {
            message(console, "unrms-probe: unknown option %s\n", argv[first]);
            return usage(console);
        }
        verbose = true;
    }
    if (first >= argc) {
        return usage(console);
    }
    const bool several = argc - first > 1;
    int worst = kProbeConfident;
    for (int i = first; i < argc; ++i) {
        const int status = probe_one(argv[i], several, verbose, console);
        // An error outranks a weak guess, which outranks a confident one.
        if (status == kProbeError || (status == kProbeWeak && worst == kProbeConfident)) {
            worst = status;
        }
    }
    if (!flush_output(console)) {
        return kProbeError;
    }
    return worst;
}
