#include "probe/probe_command.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "attributes/fdl_writer.h"
#include "platform/console.h"
#include "probe/probe.h"

namespace {

int usage(Console& console) {
    message(console, "usage: unrms-probe [-v] [--fdl] FILE...\n");
    return kProbeError;
}

// How each answer is printed.
struct ProbeOutput {
    bool several = false;  // more than one file: each answer names its file
    bool verbose = false;  // -v: the evidence on standard error
    bool fdl = false;      // --fdl: an FDL description instead of assignments
};

// One line of assignments, behind "NAME: " among several files; or an FDL
// description, behind a "! NAME" comment line among several and followed by
// a blank line.
std::string answer_text(const char* path, const FileAttributes& attributes, const ProbeOutput& output) {
    if (output.fdl) {
        const std::string description = fdl_description(attributes);
        return output.several ? "! " + std::string(path) + "\n" + description + "\n" : description;
    }
    Candidate candidate;
    candidate.attributes = attributes;
    return (output.several ? std::string(path) + ": " : std::string()) + assignment_line(candidate) + "\n";
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

int probe_one(const char* path, const ProbeOutput& output, Console& console) {
    ProbeVerdict verdict;
    const ProbeOpen opened = probe_path(path, verdict);
    if (opened != ProbeOpen::kProbed) {
        message(console, "unrms-probe: %s: %s\n", path,
                opened == ProbeOpen::kNotRegular ? "not a regular file" : std::strerror(errno));
        return kProbeError;
    }
    if (output.verbose) {
        print_evidence(path, verdict, console);
    }
    const Candidate& best = verdict.candidates[0];
    const std::string answer = answer_text(path, best.attributes, output);
    write_output(console, answer.data(), answer.size());
    if (verdict.line_ends_guessed) {
        message(console, "unrms-probe: %s: line ends guessed (%s, as most such files have): the records do not "
                "show them\n", path, (rat_of(best.attributes) & kRatCarriageReturn) != 0 ? "rat=cr" : "rat=none");
    }
    if (verdict.confident) {
        return kProbeConfident;
    }
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
    ProbeOutput output;
    int first = 1;
    for (; first < argc && argv[first][0] == '-' && argv[first][1] != '\0'; ++first) {
        if (std::strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        }
        if (std::strcmp(argv[first], "-v") == 0) {
            output.verbose = true;
        } else if (std::strcmp(argv[first], "--fdl") == 0) {
            output.fdl = true;
        } else {
            message(console, "unrms-probe: unknown option %s\n", argv[first]);
            return usage(console);
        }
    }
    if (first >= argc) {
        return usage(console);
    }
    output.several = argc - first > 1;
    int worst = kProbeConfident;
    for (int i = first; i < argc; ++i) {
        const int status = probe_one(argv[i], output, console);
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
