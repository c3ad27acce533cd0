#include "rescue/rescue_file.h"

#include <cerrno>
#include <cstring>

#include "attributes/attribute_rules.h"
#include "attributes/attribute_source.h"
#include "attributes/run_options.h"
#include "copy/copy_file.h"
#include "platform/directory_io.h"
#include "platform/formatted.h"
#include "platform/raw_io.h"
#include "probe/probe.h"
#include "rescue/file_list.h"
#include "rescue/shown_name.h"

namespace {

const char* const kOutputExists = "the output exists (-f replaces it)";

// The messages of a file as one line: each trimmed, "; " between them.
void tidy_message(std::string& text) {
    std::string tidy;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::size_t first = at;
        std::size_t last = end;
        while (first < last && (text[first] == ' ' || text[first] == '\t')) ++first;
        while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t' || text[last - 1] == '\r')) --last;
        if (last > first) {
            if (!tidy.empty()) {
                tidy += "; ";
            }
            tidy.append(text, first, last - first);
        }
        at = end + 1;
    }
    text.swap(tidy);
}

// Why an entry the walk set aside is skipped or failed.
void explain_entry(const FileList& list, const ListEntry& entry, RescueRow& row) {
    row.status = RowStatus::kSkipped;
    switch (entry.kind) {
        case EntryKind::kSymlink:
            row.message = "a symbolic link, not followed";
            return;
        case EntryKind::kSpecial:
            row.message = "not a regular file";
            return;
        case EntryKind::kOutputDirectory:
            row.message = "the output directory, not walked";
            return;
        case EntryKind::kSidecar:
            row.message = "the attributes of the file beside it";
            return;
        case EntryKind::kSameOutput:
            row.message = "the same output as " + shown_name(list.text.data() + entry.same_as);
            return;
        case EntryKind::kReservedName:
            row.message = "its output name is reserved for the rescue's own files";
            return;
        case EntryKind::kUnreadable:
            row.status = RowStatus::kFailed;
            row.message = std::strerror(entry.error_number);
            return;
        case EntryKind::kTooDeep:
            row.status = RowStatus::kFailed;
            row.message = formatted("nested deeper than %d directories", kDeepestDirectory);
            return;
        case EntryKind::kConvert:
            break;
    }
}

// Reads the attributes from the sidecar beside the file, or probes the
// file open at fd; row.attributes and the probe's fields are set. False
// after a message.
bool choose_attributes(const FileList& list, const ListEntry& entry, int fd, FileAttributes& attributes,
                       RescueRow& row, Console& console) {
    if (entry.sidecar != Sidecar::kNone) {
        row.origin = entry.sidecar == Sidecar::kAttr ? AttributeOrigin::kSidecar : AttributeOrigin::kFdl;
        const std::string path = std::string(source_path(list, entry)) + sidecar_suffix(entry.sidecar);
        const std::string shown = shown_name(path);
        int sidecar_fd = -1;
        if (!open_input_nofollow(path.c_str(), &sidecar_fd)) {
            report_system_error(console, shown.c_str());
            return false;
        }
        const bool read = read_attribute_source(sidecar_fd, shown.c_str(), attributes, console);
        close_descriptor(sidecar_fd);
        if (!read) {
            return false;
        }
    } else {
        row.origin = AttributeOrigin::kProbe;
        ProbeVerdict verdict;
        if (probe_descriptor(fd, verdict) != ProbeOpen::kProbed) {
            report_system_error(console, "read");
            return false;
        }
        const Candidate& best = verdict.candidates[0];
        row.confident = verdict.confident;
        row.score = best.score;
        if (verdict.candidates.size() > 1) {
            row.runner_up = assignment_line(verdict.candidates[1]);
            row.runner_up_score = verdict.candidates[1].score;
        }
        attributes = best.attributes;
        // As unrms -a reads the probe's line: the rules supply a missing lrl.
        if (!check_attributes(attributes, console)) {
            return false;
        }
    }
    Candidate used;
    used.attributes = attributes;
    row.attributes = assignment_line(used);
    return true;
}

// Copies the records of the file open at fd into the entered output
// directory, under base once complete, under base.partial when damage
// stopped the copy after some records.
void copy_records(int fd, const FileAttributes& attributes, std::size_t index,
                  const std::string& base, const std::string& output_path, const RescueSettings& settings,
                  RowStatus done, Worker& worker) {
    RescueRow& row = worker.row;
    Console& console = worker.console;
    PendingOutput pending;
    if (!begin_output(worker.tree, index, pending, console)) {
        row.status = RowStatus::kFailed;
        return;
    }
    console_redirect(console, pending.fd);
    RunOptions options;
    settle_newline_mode(options, rat_of(attributes));
    // The name reports a failed read of a file copied unchanged, as the
    // copiers report theirs: "read: ...".
    const CopyOutcome outcome = copy_file(fd, "read", attributes, options, console);
    row.records = outcome.records;
    row.bytes_out = outcome.bytes;
    if (copy_complete(outcome)) {
        switch (finish_output(worker.tree, pending, base, settings.force, console)) {
            case Finish::kDone:
                row.output = output_path;
                row.status = done;
                return;
            case Finish::kExists:
                row.output = output_path;
                row.status = RowStatus::kSkipped;
                row.message = kOutputExists;
                return;
            case Finish::kFailed:
                row.status = RowStatus::kFailed;
                return;
        }
    }
    row.status = RowStatus::kFailed;
    // A failed write leaves no telling what reached the disk; damage leaves
    // the records before it.
    if (console.output_failed || row.bytes_out == 0) {
        abandon_output(worker.tree, pending);
        return;
    }
    const std::string partial = base + ".partial";
    switch (finish_output(worker.tree, pending, partial, settings.force, console)) {
        case Finish::kDone:
            row.output = output_path + ".partial";
            return;
        case Finish::kExists:
            message(console, "%s.partial exists: the records before the damage are not kept (-f replaces it)\n",
                    shown_name(output_path).c_str());
            return;
        case Finish::kFailed:
            return;
    }
}

void convert_entry(const FileList& list, std::size_t index, const RescueSettings& settings, Worker& worker) {
    const ListEntry& entry = list.entries[index];
    RescueRow& row = worker.row;
    Console& console = worker.console;
    const std::string_view output = output_name_of(list, entry);
    const std::string output_path = worker.tree.root_name + "/" + std::string(output);
    const std::string base(output_base_name(output));
    row.status = RowStatus::kFailed;

    const OutputDirectory directory = enter_output_directory(worker.tree, output, !settings.plan, console);
    if (directory == OutputDirectory::kFailed) {
        return;
    }
    const bool exists = directory == OutputDirectory::kOpen && output_exists(worker.tree, base.c_str());

    int fd = -1;
    const char* path = source_path(list, entry);
    if (!(entry.named ? open_input_named(path, &fd) : open_input_nofollow(path, &fd))) {
        if (errno == ELOOP && !entry.named) {
            row.status = RowStatus::kSkipped;
            row.message = "a symbolic link, not followed";
        } else {
            report_system_error(console, "open");
        }
        return;
    }
    const FileKind kind = file_kind(fd, &row.bytes_in);
    FileAttributes attributes;
    if (kind == FileKind::kOther) {
        row.status = RowStatus::kSkipped;
        row.message = "not a regular file";
    } else if (kind == FileKind::kFailed) {
        report_system_error(console, "fstat");
    } else if (!choose_attributes(list, entry, fd, attributes, row, console)) {
        row.status = RowStatus::kFailed;
    } else {
        const RowStatus done =
            row.origin == AttributeOrigin::kProbe && !row.confident ? RowStatus::kUnsure : RowStatus::kCopied;
        if (exists && !settings.force) {
            row.output = output_path;
            row.status = RowStatus::kSkipped;
            row.message = kOutputExists;
        } else if (settings.plan) {
            row.status = done;
        } else {
            copy_records(fd, attributes, index, base, output_path, settings, done, worker);
        }
    }
    close_descriptor(fd);
}

}  // namespace

void worker_open(Worker& worker, int root_fd, const std::string& root_name) {
    console_open(worker.console, -1, -1);
    worker.console.message_sink = &worker.row.message;
    worker.tree.root_fd = root_fd;
    worker.tree.root_name = root_name;
}

void worker_close(Worker& worker) {
    output_tree_close(worker.tree);
}

void rescue_entry(const FileList& list, std::size_t index, const RescueSettings& settings, Worker& worker) {
    const ListEntry& entry = list.entries[index];
    clear_row(worker.row);
    console_redirect(worker.console, -1);
    worker.row.source = source_of(list, entry);
    if (entry.kind == EntryKind::kConvert) {
        convert_entry(list, index, settings, worker);
    } else {
        explain_entry(list, entry, worker.row);
    }
    tidy_message(worker.row.message);
}
