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
#include "rescue/rescue_archive.h"
#include "rescue/shown_name.h"

namespace {

const char* const kOutputExists = "the output exists (-f replaces it)";
const char* const kSymlinkNotFollowed = "a symbolic link, not followed";


void set_row(RescueRow& row, RowStatus status, RowReason reason, const std::string& message = std::string()) {
    row.status = status;
    row.reason = reason;
    if (!message.empty()) {
        row.message = message;
    }
}

// Why an entry the walk set aside is skipped or failed.
void explain_entry(const FileList& list, const ListEntry& entry, RescueRow& row) {
    const std::string other = shown_name(list.text.data() + entry.same_as);
    switch (entry.kind) {
        case EntryKind::kSymlink:
            return set_row(row, RowStatus::kSkipped, RowReason::kSymlink, kSymlinkNotFollowed);
        case EntryKind::kSpecial:
            return set_row(row, RowStatus::kSkipped, RowReason::kNotRegular, "not a regular file");
        case EntryKind::kOutputDirectory:
            return set_row(row, RowStatus::kSkipped, RowReason::kOutputDirectory, "the output directory, not walked");
        case EntryKind::kSidecar:
            return set_row(row, RowStatus::kSkipped, RowReason::kSidecar, "the attributes of the file beside it");
        case EntryKind::kSameOutput:
            return set_row(row, RowStatus::kSkipped, RowReason::kSameOutput, "the same output as " + other);
        case EntryKind::kOutputInTheWay:
            return set_row(row, RowStatus::kSkipped, RowReason::kOutputInTheWay,
                           "its output needs a directory where " + other + " has its output");
        case EntryKind::kReservedName:
            return set_row(row, RowStatus::kSkipped, RowReason::kReservedName,
                           "its output name is reserved for the rescue's own files");
        case EntryKind::kUnreadable:
            return set_row(row, RowStatus::kFailed, RowReason::kUnreadable, std::strerror(entry.error_number));
        case EntryKind::kTooDeep:
            return set_row(row, RowStatus::kFailed, RowReason::kTooDeep,
                           formatted("nested deeper than %d directories", kDeepestDirectory));
        case EntryKind::kConvert:
            break;
    }
}


// Reads the attributes from the entry's sidecar. False after a message.
bool read_sidecar(const FileList& list, const ListEntry& entry, SourceDirectory& directory,
                  FileAttributes& attributes, RescueRow& row, Console& console) {
    row.origin = entry.sidecar == Sidecar::kAttr ? AttributeOrigin::kSidecar : AttributeOrigin::kFdl;
    const std::string shown = shown_name(std::string(source_path(list, entry)) + sidecar_suffix(entry.sidecar));
    int sidecar_fd = -1;
    switch (open_sidecar(list, entry, directory, &sidecar_fd)) {
        case SourceOpen::kOpened:
            break;
        case SourceOpen::kSymlink:
            message(console, "%s: %s\n", shown.c_str(), kSymlinkNotFollowed);
            return false;
        case SourceOpen::kChanged:
            message(console, "%s: not a regular file, or not the one the walk found\n", shown.c_str());
            return false;
        case SourceOpen::kFailed:
            report_system_error(console, shown.c_str());
            return false;
    }
    const bool read = read_attribute_source(sidecar_fd, shown.c_str(), attributes, console);
    close_descriptor(sidecar_fd);
    return read;
}

// Maps a copy's outcome to the row, and says which output name the copy
// earns: the final one, the partial one, or none.
enum class Earned { kFinal, kPartial, kNothing };

Earned record_outcome(const CopyOutcome& outcome, RowStatus done, RescueRow& row) {
    row.records = outcome.records;
    row.bytes_out = outcome.bytes;
    switch (outcome.result) {
        case CopyResult::kComplete:
            if (outcome.data_left_behind) {
                set_row(row, RowStatus::kUnsure, RowReason::kDataLeftBehind);
            } else {
                set_row(row, done, RowReason::kNone);
            }
            return Earned::kFinal;
        case CopyResult::kShortLastRecord:
            // Every byte of the file is in the output: the short record is
            // what the file holds, said in the message.
            set_row(row, done, RowReason::kShortLastRecord);
            return Earned::kFinal;
        case CopyResult::kDamaged:
            set_row(row, RowStatus::kFailed, RowReason::kDamaged);
            return outcome.bytes != 0 ? Earned::kPartial : Earned::kNothing;
        case CopyResult::kInputError:
            // The records before a failed read are sound.
            set_row(row, RowStatus::kFailed, RowReason::kReadError);
            return outcome.bytes != 0 ? Earned::kPartial : Earned::kNothing;
        case CopyResult::kUnsupported:
            set_row(row, RowStatus::kFailed, RowReason::kUnsupported);
            return Earned::kNothing;
        case CopyResult::kOutputError:
            // No telling what reached the disk.
            set_row(row, RowStatus::kFailed, RowReason::kWriteError);
            return Earned::kNothing;
    }
    return Earned::kNothing;
}

// The place of a file written beside the output: its sidecar.
OutputPlace beside(const OutputPlace& place, const char* suffix) {
    OutputPlace next = place;
    next.base += suffix;
    next.path += suffix;
    return next;
}

// Starts an output under a temporary name and sends the console's output
// there. False with the row failed.
bool begin_pending(const OutputPlace& place, PendingOutput& pending, Worker& worker) {
    if (!begin_output(worker.tree, place.number, pending, worker.console)) {
        set_row(worker.row, RowStatus::kFailed, RowReason::kWriteError);
        return false;
    }
    console_redirect(worker.console, pending.fd);
    return true;
}

// Gives the finished output its place's name and records it in the row;
// final: the complete output, else the records before damage, under the
// partial name. False when it did not take the name (the row says why).
bool place_output(PendingOutput& pending, const OutputPlace& place, bool final, const RescueSettings& settings,
                  const FileList& list, Worker& worker) {
    RescueRow& row = worker.row;
    Console& console = worker.console;
    const std::string name = final ? place.base : place.base + kPartialSuffix;
    const std::string path = final ? place.path : place.path + kPartialSuffix;
    switch (finish_output(worker.tree, pending, name, settings.force, list, console)) {
        case Finish::kDone:
            row.output = path;
            return true;
        case Finish::kExists:
            if (final) {
                row.output = path;
                set_row(row, RowStatus::kSkipped, RowReason::kOutputExists, kOutputExists);
            } else {
                message(console, "%s exists: the records before the damage are not kept (-f replaces it)\n",
                        shown_name(path).c_str());
            }
            return false;
        case Finish::kIsSource:
            message(console, "%s is a source of this run: not replaced\n", shown_name(path).c_str());
            set_row(row, RowStatus::kFailed, RowReason::kOutputIsSource);
            return false;
        case Finish::kFailed:
            set_row(row, RowStatus::kFailed, RowReason::kWriteError);
            return false;
    }
    return false;
}

}  // namespace

bool probe_attributes(int fd, FileAttributes& attributes, RescueRow& row, Console& console) {
    row.origin = AttributeOrigin::kProbe;
    ProbeVerdict verdict;
    if (probe_descriptor(fd, verdict) != ProbeOpen::kProbed) {
        report_system_error(console, "read");
        return false;
    }
    const Candidate& best = verdict.candidates[0];
    row.confident = verdict.confident;
    row.line_ends_guessed = verdict.line_ends_guessed;
    row.score = best.score;
    if (verdict.candidates.size() > 1) {
        row.runner_up = assignment_line(verdict.candidates[1]);
        row.runner_up_score = verdict.candidates[1].score;
    }
    attributes = best.attributes;
    // As unrms -a reads the probe's line: the rules supply a missing lrl.
    return check_attributes(attributes, console);
}

RowStatus status_when_copied(const RescueRow& row) {
    return row.origin == AttributeOrigin::kProbe && !row.confident ? RowStatus::kUnsure : RowStatus::kCopied;
}

void write_records(int fd, const FileAttributes& attributes, const OutputPlace& place, const RescueSettings& settings,
                   const FileList& list, Worker& worker) {
    RescueRow& row = worker.row;
    Console& console = worker.console;
    row.attributes = attribute_line(attributes);
    const RowStatus done = status_when_copied(row);
    PendingOutput pending;
    if (!begin_pending(place, pending, worker)) {
        return;
    }
    RunOptions options;
    settle_newline_mode(options, rat_of(attributes));
    // The name reports a failed read of a file copied unchanged, as the
    // copiers report theirs: "read: ...".
    const CopyOutcome outcome = copy_file(fd, "read", attributes, options, console);
    Earned earned = record_outcome(outcome, done, row);
    if (place.input_damaged && earned == Earned::kFinal) {
        earned = outcome.bytes != 0 ? Earned::kPartial : Earned::kNothing;
        set_row(row, RowStatus::kFailed, RowReason::kDamaged);
    }
    if (earned == Earned::kNothing || (earned == Earned::kPartial && place.partial_blocked)) {
        abandon_output(worker.tree, pending);
        if (earned == Earned::kPartial) {
            message(console, "%s%s is the output of %s: the records before the damage are not kept\n",
                    shown_name(place.path).c_str(), kPartialSuffix, shown_name(place.blocked_by).c_str());
        }
        return;
    }
    const bool final = earned == Earned::kFinal;
    if (place_output(pending, place, final, settings, list, worker) && final && settings.force &&
        !place.partial_blocked) {
        // A complete copy replaces the partial one of an earlier run.
        remove_stale_output(worker.tree, place.base + kPartialSuffix, list);
    }
}

void write_raw(int fd, const FileAttributes* attributes, const OutputPlace& place, const RescueSettings& settings,
               const FileList& list, Worker& worker) {
    RescueRow& row = worker.row;
    Console& console = worker.console;
    if (attributes != nullptr) {
        row.attributes = attribute_line(*attributes);
    }
    PendingOutput pending;
    if (!begin_pending(place, pending, worker)) {
        return;
    }
    FileAttributes unchanged;
    set_rfm(unchanged, kRfmUndefined);
    const CopyOutcome outcome = copy_file(fd, "read", unchanged, RunOptions{}, console);
    row.bytes_out = outcome.bytes;
    if (!copy_complete(outcome)) {
        abandon_output(worker.tree, pending);
        set_row(row, RowStatus::kFailed,
                outcome.result == CopyResult::kOutputError ? RowReason::kWriteError : RowReason::kReadError);
        return;
    }
    // The bytes of a member cut short are kept as NAME.partial, without
    // attributes: they are not the file.
    const bool final = !place.input_damaged;
    set_row(row, final ? RowStatus::kCopied : RowStatus::kFailed, final ? RowReason::kNone : RowReason::kDamaged);
    if (!place_output(pending, place, final, settings, list, worker) || attributes == nullptr || !final) {
        return;
    }
    PendingOutput sidecar;
    const std::string output = row.output;
    if (!begin_pending(place, sidecar, worker)) {
        return;
    }
    const std::string line = row.attributes + "\n";
    if (!write_output(console, line.data(), line.size()) || !flush_output(console)) {
        abandon_output(worker.tree, sidecar);
        set_row(row, RowStatus::kFailed, RowReason::kWriteError);
        return;
    }
    if (place_output(sidecar, beside(place, sidecar_suffix(Sidecar::kAttr)), true, settings, list, worker)) {
        row.output = output;
    }
}

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

std::string attribute_line(const FileAttributes& attributes) {
    Candidate used;
    used.attributes = attributes;
    return assignment_line(used);
}

namespace {

// Opens the entry's file as the walk found it; false with the row set.
bool open_entry(const FileList& list, const ListEntry& entry, Worker& worker, int* fd) {
    EntryStatus status;
    switch (open_source(list, entry, worker.sources, fd, status)) {
        case SourceOpen::kOpened:
            worker.row.bytes_in = status.size;
            return true;
        case SourceOpen::kSymlink:
            set_row(worker.row, RowStatus::kSkipped, RowReason::kSymlink, kSymlinkNotFollowed);
            return false;
        case SourceOpen::kChanged:
            set_row(worker.row, RowStatus::kFailed, RowReason::kChanged,
                    "not the regular file the walk found: it, or a directory on its path, was replaced");
            return false;
        case SourceOpen::kFailed:
            report_system_error(worker.console, "open");
            set_row(worker.row, RowStatus::kFailed, RowReason::kUnreadable);
            return false;
    }
    return false;
}

// --raw on a file of the tree: its bytes, and its sidecar's, as they are.
void copy_entry_raw(const FileList& list, const ListEntry& entry, int fd, const OutputPlace& place,
                    const RescueSettings& settings, Worker& worker) {
    write_raw(fd, nullptr, place, settings, list, worker);
    RescueRow& row = worker.row;
    if (entry.sidecar == Sidecar::kNone || row.status != RowStatus::kCopied) {
        return;
    }
    const std::string output = row.output;
    const std::uint64_t bytes_out = row.bytes_out;
    int sidecar_fd = -1;
    if (open_sidecar(list, entry, worker.sources, &sidecar_fd) != SourceOpen::kOpened) {
        message(worker.console, "%s%s: not copied\n", shown_name(source_path(list, entry)).c_str(),
                sidecar_suffix(entry.sidecar));
        set_row(row, RowStatus::kFailed, RowReason::kAttributes);
        return;
    }
    write_raw(sidecar_fd, nullptr, beside(place, sidecar_suffix(entry.sidecar)), settings, list, worker);
    close_descriptor(sidecar_fd);
    if (row.status == RowStatus::kCopied) {
        row.output = output;
        row.bytes_out = bytes_out;
    }
}

// Reads the entry's file as an archive when it is one; true when its rows
// were emitted so.
bool rescue_entry_archive(const FileList& list, std::size_t index, int fd, const RescueSettings& settings,
                          Worker& worker, RescueSink& sink) {
    const ArchiveFormat format = archive_format_of(fd, worker.row.bytes_in);
    if (format == ArchiveFormat::kNone) {
        return false;
    }
    ArchiveSource source;
    source.fd = fd;
    source.size = worker.row.bytes_in;
    source.format = format;
    source.key.entry = static_cast<std::uint32_t>(index);
    source.folder = std::string(output_name_of(list, list.entries[index]));
    const std::uint64_t size = worker.row.bytes_in;
    if (rescue_archive(source, list, settings, worker, sink)) {
        return true;
    }
    // No archive after all: the file is converted as a file.
    clear_row(worker.row);
    worker.row.source = source_of(list, list.entries[index]);
    worker.row.bytes_in = size;
    return false;
}

// Converts the entry; false when it was an archive whose members' rows
// are emitted instead of its own.
bool convert_entry(const FileList& list, std::size_t index, const RescueSettings& settings, Worker& worker,
                   RescueSink& sink) {
    const ListEntry& entry = list.entries[index];
    RescueRow& row = worker.row;
    Console& console = worker.console;
    const std::string_view output = output_name_of(list, entry);
    OutputPlace place;
    place.path = worker.tree.root_name + "/" + std::string(output);
    place.base = std::string(output_base_name(output));
    place.number = index;
    place.partial_blocked = entry.partial_blocked;
    if (entry.partial_blocked) {
        place.blocked_by = list.text.data() + entry.same_as;
    }
    set_row(row, RowStatus::kFailed, RowReason::kWriteError);

    const OutputDirectory directory = enter_output_directory(worker.tree, output, !settings.plan, console);
    if (directory == OutputDirectory::kFailed) {
        return true;
    }
    const bool exists = directory == OutputDirectory::kOpen && output_exists(worker.tree, place.base.c_str());

    int fd = -1;
    if (!open_entry(list, entry, worker, &fd)) {
        return true;
    }
    if (rescue_entry_archive(list, index, fd, settings, worker, sink)) {
        close_descriptor(fd);
        return false;
    }
    set_row(row, RowStatus::kFailed, RowReason::kWriteError);
    if (settings.raw && !settings.plan) {
        if (exists && !settings.force) {
            row.output = place.path;
            set_row(row, RowStatus::kSkipped, RowReason::kOutputExists, kOutputExists);
        } else {
            copy_entry_raw(list, entry, fd, place, settings, worker);
        }
        close_descriptor(fd);
        return true;
    }
    FileAttributes attributes;
    const bool settled = entry.sidecar != Sidecar::kNone
                             ? read_sidecar(list, entry, worker.sources, attributes, row, console)
                             : probe_attributes(fd, attributes, row, console);
    if (!settled) {
        set_row(row, RowStatus::kFailed, RowReason::kAttributes);
    } else if (exists && !settings.force) {
        row.attributes = attribute_line(attributes);
        row.output = place.path;
        set_row(row, RowStatus::kSkipped, RowReason::kOutputExists, kOutputExists);
    } else if (settings.plan) {
        row.attributes = attribute_line(attributes);
        set_row(row, status_when_copied(row), RowReason::kNone);
    } else {
        write_records(fd, attributes, place, settings, list, worker);
    }
    close_descriptor(fd);
    return true;
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
    source_directory_close(worker.sources);
}

void rescue_entry(const FileList& list, std::size_t index, const RescueSettings& settings, Worker& worker,
                  RescueSink& sink) {
    const ListEntry& entry = list.entries[index];
    clear_row(worker.row);
    console_redirect(worker.console, -1);
    worker.row.source = source_of(list, entry);
    if (entry.kind == EntryKind::kConvert) {
        if (!convert_entry(list, index, settings, worker, sink)) {
            return;
        }
    } else {
        explain_entry(list, entry, worker.row);
    }
    tidy_message(worker.row.message);
    RowKey key;
    key.entry = static_cast<std::uint32_t>(index);
    sink.emit(worker.row, key);
}
