#include "rescue/rescue_archive.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "archives/member_names.h"
#include "attributes/attribute_rules.h"
#include "copy/copy_file.h"
#include "platform/directory_io.h"
#include "platform/formatted.h"
#include "platform/raw_io.h"
#include "rescue/file_list.h"
#include "rescue/shown_name.h"

namespace {

// A member as the first pass over an archive finds it: what the second
// pass needs to place it before its data are read.
struct ListedMember {
    MemberHeader header;
    std::string output;  // below the archive's folder; empty when refused
    std::string note;    // why the output is not the name
};

// The folder of a tape image's saveset: its name as an output component.
std::string saveset_folder(const MemberHeader& header) {
    const OutputName name = vms_output_name(header.saveset.empty() ? "SAVESET" : header.saveset);
    std::string folder = name.verdict == NameVerdict::kRefused ? "" : name.path;
    if (folder.empty() || folder.find('/') != std::string::npos) {
        folder = formatted("tape_file_%u", header.tape_file);
    }
    return folder;
}

// Reads every header of the archive, and places the members: their output
// paths below the archive's folder, the highest version of a name under the
// name itself, and members whose outputs would clash renamed apart, so
// that neither is lost.
std::vector<ListedMember> list_members(Archive& archive, ArchiveFormat format) {
    std::vector<ListedMember> members;
    std::vector<VersionedName> names;
    MemberHeader header;
    while (archive_next(archive, header)) {
        ListedMember member;
        member.header = header;
        const OutputName name =
            format == ArchiveFormat::kZip ? zip_output_name(header.name) : vms_output_name(header.name);
        VersionedName versioned;
        if (name.verdict != NameVerdict::kRefused) {
            versioned.path = format == ArchiveFormat::kSimhTape ? saveset_folder(header) + "/" + name.path : name.path;
            versioned.version = name.version;
            versioned.directory = header.directory;
        }
        member.note = name.message;
        names.push_back(versioned);
        members.push_back(std::move(member));
    }
    const std::vector<PlacedName> placed = place_versions(names);
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (names[i].path.empty()) {
            continue;
        }
        members[i].output = placed[i].output;
        if (placed[i].collides) {
            // Its place in the archive makes the name unique.
            members[i].output += formatted("~%zu", i + 1);
            members[i].note = "its output would be another member's: written as " + members[i].output;
        }
    }
    return members;
}

// Whether the archive is one to open: a zip made on VMS holds the VMS field
// for some member; a zip without any is a file like others.
bool worth_opening(ArchiveFormat format, const std::vector<ListedMember>& members) {
    if (format != ArchiveFormat::kZip) {
        return true;
    }
    for (const ListedMember& member : members) {
        if (member.header.has_attributes) {
            return true;
        }
    }
    return false;
}

AttributeOrigin origin_of(ArchiveFormat format) {
    return format == ArchiveFormat::kZip ? AttributeOrigin::kZip : AttributeOrigin::kSaveset;
}

// The row of a member as a job describes it, before anything is done.
void start_member_row(const MemberJob& job, const FileList& list, RescueRow& row) {
    clear_row(row);
    row.source = source_of(list, list.entries[job.key.entry]);
    row.member = job.header.name;
    row.inside = job.inside;
    row.bytes_in = job.header.size;
}

// Creates a file for a member's bytes in OUTDIR and unlinks it at once:
// it is gone when closed, whatever happens to the run. False after a
// message.
bool create_extraction(const OutputTree& tree, std::uint64_t number, int* fd, Console& console) {
    const std::string name = formatted("%sx%llu%s", kTemporaryPrefix, static_cast<unsigned long long>(number),
                                       kTemporarySuffix);
    if (!create_file_at(tree.root_fd, name.c_str(), fd)) {
        report_system_error(console, shown_name(tree.root_name + "/" + name).c_str());
        return false;
    }
    (void)remove_at(tree.root_fd, name.c_str());
    return true;
}

// Extracts the data of the member the archive is at into job.fd. False
// after a message when the file cannot be made or written; the delivery's
// own outcome goes into the job.
bool extract(Archive& archive, MemberJob& job, RescueSink& sink, Worker& worker) {
    if (!worker.buffer) {
        worker.buffer = std::make_unique_for_overwrite<unsigned char[]>(kWorkerBufferSize);
    }
    if (!create_extraction(worker.tree, sink.extracted.fetch_add(1), &job.fd, worker.console)) {
        return false;
    }
    bool written = true;
    for (;;) {
        const std::size_t got = archive_read(archive, worker.buffer.get(), kWorkerBufferSize);
        if (got == 0) {
            break;
        }
        written = written && write_all(job.fd, worker.buffer.get(), got);
    }
    job.delivery = archive_member_outcome(archive);
    if (!written || !seek_to_start(job.fd)) {
        report_system_error(worker.console, "write");
        close_descriptor(job.fd);
        job.fd = -1;
        return false;
    }
    return true;
}

// The row of a member that is not written: one whose name is refused, or a
// directory (made by the files inside it). False for a member to convert.
bool unwritten_member(const MemberJob& job, RescueRow& row) {
    if (job.output.empty()) {
        row.status = RowStatus::kFailed;
        row.reason = RowReason::kUnsafeName;
        row.message = job.name_note;
        return true;
    }
    if (job.header.directory) {
        row.status = RowStatus::kSkipped;
        row.reason = RowReason::kDirectory;
        row.message = "a directory";
        return true;
    }
    return false;
}

// The plan's row of a member: its attributes and size as the archive
// gives them, what would become of it.
void plan_member(const MemberJob& job, const FileList& list, Worker& worker, RescueSink& sink) {
    RescueRow& row = worker.row;
    start_member_row(job, list, row);
    if (!unwritten_member(job, row)) {
        row.status = RowStatus::kCopied;
        row.output = worker.tree.root_name + "/" + job.output;
        if (job.header.has_attributes) {
            row.origin = job.origin;
            row.attributes = attribute_line(job.header.attributes);
        }
        if (!job.name_note.empty()) {
            row.reason = RowReason::kRenamed;
            row.message = job.name_note;
        }
    }
    sink.emit(row, job.key);
}

// The row of an archive whose own outcome is not complete: damage outside
// its members' data, or no member at all.
void emit_archive_row(const ArchiveSource& source, const FileList& list, const ArchiveOutcome& outcome,
                      std::size_t members, Worker& worker, RescueSink& sink) {
    if (outcome.status == ArchiveStatus::kComplete && members != 0) {
        return;
    }
    RescueRow& row = worker.row;
    clear_row(row);
    row.source = source_of(list, list.entries[source.key.entry]);
    row.inside = source.inside;
    if (!source.inside.empty()) {
        row.member = source.inside.back();
        row.inside.pop_back();
    }
    row.bytes_in = source.size;
    if (outcome.status == ArchiveStatus::kComplete) {
        row.status = RowStatus::kSkipped;
        row.reason = RowReason::kNone;
        row.message = std::string("a ") + archive_format_name(source.format) + " that holds no member";
    } else {
        row.status = RowStatus::kFailed;
        row.reason = outcome.status == ArchiveStatus::kReadFailed ? RowReason::kReadError : RowReason::kArchiveDamaged;
        row.message = outcome.message;
        if (outcome.problems > 1) {
            row.message += formatted(" (and %u more problems)", outcome.problems - 1);
        }
    }
    sink.emit(row, source.key);
}

// Removes what an interrupted run left under temporary names in the
// folders of the archive's members, before any of them is written: only
// this archive's members write there.
void remove_member_temporaries(const ArchiveSource& source, const std::vector<ListedMember>& members, int root_fd) {
    std::vector<std::string> directories{source.folder};
    for (const ListedMember& member : members) {
        const std::size_t slash = member.output.rfind('/');
        if (slash != std::string::npos) {
            directories.push_back(source.folder + "/" + member.output.substr(0, slash));
        }
    }
    std::sort(directories.begin(), directories.end());
    directories.erase(std::unique(directories.begin(), directories.end()), directories.end());
    for (const std::string& directory : directories) {
        remove_stale_temporaries(root_fd, directory);
    }
}

}  // namespace

ArchiveFormat archive_format_of(int fd, std::uint64_t size) {
    bool failed = false;
    return recognise_archive(fd, size, &failed);
}

bool rescue_archive(const ArchiveSource& source, const FileList& list, const RescueSettings& settings, Worker& worker,
                    RescueSink& sink) {
    std::vector<ListedMember> members;
    {
        Archive listing;
        if (!archive_open(listing, source.fd, source.size, source.format)) {
            return false;
        }
        members = list_members(listing, source.format);
        if (!worth_opening(source.format, members)) {
            return false;
        }
        if (settings.plan) {
            for (std::size_t i = 0; i < members.size(); ++i) {
                MemberJob job = member_job(source, members[i].header, members[i].output, members[i].note, i);
                plan_member(job, list, worker, sink);
            }
            emit_archive_row(source, list, archive_outcome(listing), members.size(), worker, sink);
            return true;
        }
    }
    Archive archive;
    if (!archive_open(archive, source.fd, source.size, source.format)) {
        return false;
    }
    remove_member_temporaries(source, members, worker.tree.root_fd);
    MemberHeader header;
    std::size_t index = 0;
    for (; index < members.size() && archive_next(archive, header); ++index) {
        MemberJob job = member_job(source, header, members[index].output, members[index].note, index);
        // A directory is made by the files inside it; a refused name is
        // not written at all; neither needs its bytes.
        if (!job.header.directory && !job.output.empty() && !extract(archive, job, sink, worker)) {
            start_member_row(job, list, worker.row);
            worker.row.status = RowStatus::kFailed;
            worker.row.reason = RowReason::kWriteError;
            sink.emit(worker.row, job.key);
            continue;
        }
        if (!sink.offer(job)) {
            rescue_member(job, list, settings, worker, sink);
        }
    }
    emit_archive_row(source, list, archive_outcome(archive), index, worker, sink);
    return true;
}

MemberJob member_job(const ArchiveSource& source, const MemberHeader& header, const std::string& output,
                     const std::string& note, std::size_t index) {
    MemberJob job;
    job.key = source.key;
    job.key.member.push_back(static_cast<std::uint32_t>(index));
    job.inside = source.inside;
    if (source.format == ArchiveFormat::kSimhTape && !header.saveset.empty()) {
        job.inside.push_back(header.saveset);
    }
    job.origin = origin_of(source.format);
    job.header = header;
    job.output = output.empty() ? std::string() : source.folder + "/" + output;
    job.name_note = note;
    job.depth = source.depth;
    return job;
}

void rescue_member(MemberJob& job, const FileList& list, const RescueSettings& settings, Worker& worker,
                   RescueSink& sink) {
    Console& console = worker.console;
    console_redirect(console, -1);
    start_member_row(job, list, worker.row);
    RescueRow& row = worker.row;
    const auto finish = [&] {
        if (job.fd >= 0) {
            close_descriptor(job.fd);
            job.fd = -1;
        }
        tidy_message(row.message);
        sink.emit(row, job.key);
    };
    if (unwritten_member(job, row)) {
        return finish();
    }
    const bool delivered_whole = job.delivery.status == MemberStatus::kComplete;
    if (job.depth < kDeepestArchive && delivered_whole) {
        const ArchiveFormat format = archive_format_of(job.fd, job.delivery.delivered);
        if (format != ArchiveFormat::kNone) {
            ArchiveSource nested;
            nested.fd = job.fd;
            nested.size = job.delivery.delivered;
            nested.format = format;
            nested.key = job.key;
            nested.inside = job.inside;
            nested.inside.push_back(job.header.name);
            nested.folder = job.output;
            nested.depth = job.depth + 1;
            // Not an archive after all (rescue_archive then leaves the
            // row alone): the member is converted as a file.
            if (rescue_archive(nested, list, settings, worker, sink)) {
                close_descriptor(job.fd);
                job.fd = -1;
                return;
            }
        }
    }
    if (!job.name_note.empty()) {
        message(console, "%s\n", job.name_note.c_str());
    }
    if (!delivered_whole) {
        message(console, "%s\n", job.delivery.message.c_str());
    }
    OutputPlace place;
    place.path = worker.tree.root_name + "/" + job.output;
    place.base = std::string(output_base_name(job.output));
    place.number = list.entries.size() + sink.extracted.fetch_add(1);
    place.input_damaged = !delivered_whole;
    const OutputDirectory directory = enter_output_directory(worker.tree, job.output, true, console);
    if (directory != OutputDirectory::kOpen || (job.delivery.delivered == 0 && !delivered_whole)) {
        row.status = RowStatus::kFailed;
        row.reason = directory != OutputDirectory::kOpen ? RowReason::kWriteError : delivery_reason(job.delivery);
        return finish();
    }
    const bool exists = output_exists(worker.tree, place.base.c_str());
    FileAttributes attributes;
    bool settled = true;
    if (job.header.has_attributes) {
        row.origin = job.origin;
        attributes = job.header.attributes;
    }
    if (settings.raw) {
        write_raw(job.fd, job.header.has_attributes ? &attributes : nullptr, place, settings, list, worker);
    } else {
        settled = job.header.has_attributes ? check_attributes(attributes, console)
                                            : probe_attributes(job.fd, attributes, row, console);
        if (!settled) {
            row.status = RowStatus::kFailed;
            row.reason = RowReason::kAttributes;
        } else if (exists && !settings.force) {
            row.output = place.path;
            row.status = RowStatus::kSkipped;
            row.reason = RowReason::kOutputExists;
            message(console, "the output exists (-f replaces it)\n");
        } else {
            write_records(job.fd, attributes, place, settings, list, worker);
        }
    }
    if (!delivered_whole && row.status == RowStatus::kFailed && row.reason == RowReason::kDamaged) {
        row.reason = delivery_reason(job.delivery);
    }
    if (row.status != RowStatus::kFailed && !job.name_note.empty() && row.reason == RowReason::kNone) {
        row.reason = RowReason::kRenamed;
    }
    finish();
}

RowReason delivery_reason(const MemberOutcome& delivery) {
    switch (delivery.status) {
        case MemberStatus::kUnsupported:
            return RowReason::kUnsupported;
        case MemberStatus::kReadFailed:
            return RowReason::kReadError;
        case MemberStatus::kComplete:
        case MemberStatus::kDamaged:
        case MemberStatus::kTruncated:
            break;
    }
    return RowReason::kDamaged;
}
