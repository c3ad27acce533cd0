#include "rescue/rescue_command.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/option_scanner.h"
#include "platform/console.h"
#include "platform/directory_io.h"
#include "platform/formatted.h"
#include "platform/raw_io.h"
#include "rescue/file_list.h"
#include "rescue/manifest.h"
#include "rescue/rescue_file.h"
#include "rescue/shown_name.h"

namespace {

constexpr const char* kOptionLetters = "j:fnqo:";
constexpr int kRawOption = 256;
constexpr LongOption kLongOptions[] = {{"--raw", kRawOption}};
constexpr auto kProgressInterval = std::chrono::milliseconds(250);
constexpr double kMegabyte = 1024.0 * 1024.0;

struct CommandLine {
    unsigned workers = 0;
    bool quiet = false;
    RescueSettings settings;
    std::string outdir;
    std::vector<std::string> paths;
};

int usage(Console& console) {
    message(console, "usage: unrms-rescue [-j N] [-f] [-n] [-q] [--raw] -o OUTDIR PATH...\n");
    return kRescueFailed;
}

// The worker count of -j: a decimal number from 1 to kMostWorkers, nothing
// after it.
bool read_worker_count(const char* text, unsigned* workers) {
    unsigned value = 0;
    if (*text == '\0') {
        return false;
    }
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value > kMostWorkers) {
            return false;
        }
    }
    *workers = value;
    return value != 0;
}

bool scan_command_line(int argc, char* const* argv, CommandLine& command, Console& console) {
    OptionScanner scanner;
    for (;;) {
        const int letter = next_option(scanner, argc, argv, kOptionLetters, console, kLongOptions);
        switch (letter) {
            case kEndOfOptions:
                for (int i = scanner.index; i < argc; ++i) {
                    command.paths.emplace_back(argv[i]);
                }
                return !command.outdir.empty() && !command.paths.empty();
            case 'j':
                if (!read_worker_count(scanner.argument, &command.workers)) {
                    message(console, "unrms-rescue: -j takes a number of workers from 1 to %u\n", kMostWorkers);
                    return false;
                }
                break;
            case 'f':
                command.settings.force = true;
                break;
            case 'n':
                command.settings.plan = true;
                break;
            case 'q':
                command.quiet = true;
                break;
            case 'o':
                command.outdir = trimmed_path(scanner.argument);
                break;
            case kRawOption:
                command.settings.raw = true;
                break;
            default:
                return false;
        }
    }
}

// The counters the workers advance and the main thread shows.
struct Progress {
    std::atomic<std::uint64_t> files{0};
    std::atomic<std::uint64_t> bytes{0};
    std::array<std::atomic<std::uint64_t>, 4> statuses{};  // by RowStatus
    bool shown = false;         // a progress line is drawn on standard error
    std::mutex error_lock;      // standard error, for the lines below
    bool line_drawn = false;    // the progress line stands on the terminal now
};

// What the workers share: the list, the work (its next entry and the
// members extracted for any worker to convert), the manifest and the
// progress.
struct Run {
    FileList& list;
    const RescueSettings& settings;
    int root_fd;
    const std::string& outdir;
    Manifest& manifest;
    Progress& progress;
    std::mutex lock{};  // guards the members below
    std::condition_variable changed{};  // work came, or a worker finished some
    std::size_t next = 0;               // the next entry to take
    std::deque<MemberJob> jobs{};
    std::size_t most_jobs = 0;  // extracted members waiting: each holds a file of its bytes
    unsigned busy = 0;          // workers at an entry or a job, who may yet offer jobs
    unsigned workers_left = 0;
};

// What a worker does next: a waiting member first (it holds a file on
// disk), else the next entry. False when there is nothing left, nor anyone
// who could still make some.
struct Work {
    bool member = false;
    std::size_t entry = 0;
    MemberJob job;
};

bool take_work(Run& run, Work& work) {
    std::unique_lock<std::mutex> hold(run.lock);
    for (;;) {
        if (!run.jobs.empty()) {
            work.member = true;
            work.job = std::move(run.jobs.front());
            run.jobs.pop_front();
            ++run.busy;
            return true;
        }
        if (run.next < run.list.entries.size()) {
            work.member = false;
            work.entry = run.next++;
            ++run.busy;
            return true;
        }
        if (run.busy == 0) {
            run.changed.notify_all();
            return false;
        }
        run.changed.wait(hold);
    }
}

void work_done(Run& run) {
    const std::lock_guard<std::mutex> hold(run.lock);
    --run.busy;
    run.changed.notify_all();
}

// Queues a member for any worker, unless enough wait already.
bool offer_job(Run& run, MemberJob& job) {
    const std::lock_guard<std::mutex> hold(run.lock);
    if (run.jobs.size() >= run.most_jobs) {
        return false;
    }
    run.jobs.push_back(std::move(job));
    run.changed.notify_one();
    return true;
}

// Writes a line on standard error, first wiping the progress line.
void error_line(Progress& progress, const std::string& text) {
    const std::lock_guard<std::mutex> hold(progress.error_lock);
    if (progress.line_drawn) {
        (void)write_all(2, "\r\x1b[K", 4);
        progress.line_drawn = false;
    }
    (void)write_all(2, text.data(), text.size());
}

// The name a row goes by on standard error and in the plan: the source,
// and for a member its name and the members around it.
std::string row_name(const RescueRow& row) {
    std::string name = shown_name(row.source);
    for (const std::string& outer : row.inside) {
        name += " [" + shown_name(outer) + "]";
    }
    if (!row.member.empty()) {
        name += " [" + shown_name(row.member) + "]";
    }
    return name;
}

void count_row(Progress& progress, const RescueRow& row) {
    progress.statuses[static_cast<std::size_t>(row.status)].fetch_add(1, std::memory_order_relaxed);
    if (row.status == RowStatus::kFailed) {
        error_line(progress, "unrms-rescue: " + row_name(row) + ": " + row.message + "\n");
    }
}

void count_entry(Progress& progress, const ListEntry& entry) {
    progress.bytes.fetch_add(entry.kind == EntryKind::kConvert ? entry.bytes : 0, std::memory_order_relaxed);
    progress.files.fetch_add(1, std::memory_order_relaxed);
}

void work(Run& run, RescueSink& sink) {
    Worker worker;
    worker_open(worker, run.root_fd, run.outdir);
    Work next;
    while (take_work(run, next)) {
        if (next.member) {
            rescue_member(next.job, run.list, run.settings, worker, sink);
        } else {
            rescue_entry(run.list, next.entry, run.settings, worker, sink);
            count_entry(run.progress, run.list.entries[next.entry]);
        }
        work_done(run);
    }
    worker_close(worker);
    const std::lock_guard<std::mutex> hold(run.lock);
    --run.workers_left;
    run.changed.notify_all();
}

void draw_progress(Run& run, std::chrono::steady_clock::time_point start) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string text = "\r";
    text += progress_text(run.progress.files.load(), run.list.entries.size(), run.progress.bytes.load(),
                          run.list.bytes, seconds);
    text += "\x1b[K";
    const std::lock_guard<std::mutex> hold(run.progress.error_lock);
    (void)write_all(2, text.data(), text.size());
    run.progress.line_drawn = true;
}

// Runs the workers over the list; the main thread draws the progress line
// meanwhile.
void run_workers(Run& run, unsigned workers) {
    run.workers_left = workers;
    // Two waiting members a worker: enough to keep every worker busy while
    // one extracts, few enough that the files they hold stay few.
    run.most_jobs = 2 * static_cast<std::size_t>(workers);
    RescueSink sink;
    sink.emit = [&run](const RescueRow& row, const RowKey& key) {
        (void)append_row(run.manifest, manifest_line(row), key);
        count_row(run.progress, row);
    };
    sink.offer = [&run](MemberJob& job) { return offer_job(run, job); };
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < workers; ++i) {
        threads.emplace_back(work, std::ref(run), std::ref(sink));
    }
    const auto start = std::chrono::steady_clock::now();
    {
        std::unique_lock<std::mutex> hold(run.lock);
        while (run.workers_left != 0) {
            run.changed.wait_for(hold, kProgressInterval);
            if (run.progress.shown && run.workers_left != 0) {
                hold.unlock();
                draw_progress(run, start);
                hold.lock();
            }
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (run.progress.line_drawn) {
        (void)write_all(2, "\r\x1b[K", 4);
        run.progress.line_drawn = false;
    }
}

// The plan line of a row: the source (and member), the attributes and
// where they come from, a member's size, and what would happen when that is
// not a copy.
std::string plan_line(const RescueRow& row) {
    std::string line = row_name(row) + ":";
    if (!row.attributes.empty()) {
        line += " " + row.attributes + " (" + origin_name(row.origin);
        if (row.origin == AttributeOrigin::kProbe && row.line_ends_guessed) {
            line += ", line ends guessed";
        }
        if (row.origin == AttributeOrigin::kProbe && !row.confident) {
            line += formatted(", unsure: score %d", row.score);
            if (!row.runner_up.empty()) {
                line += formatted(", runner-up %s score %d", row.runner_up.c_str(), row.runner_up_score);
            }
        }
        line += ")";
    }
    if (!row.member.empty()) {
        line += formatted("%s %llu bytes", row.attributes.empty() ? "" : ",",
                          static_cast<unsigned long long>(row.bytes_in));
    }
    if (!row.message.empty() && row.status != RowStatus::kSkipped && row.status != RowStatus::kFailed) {
        line += ", " + row.message;
    }
    if (row.status == RowStatus::kSkipped || row.status == RowStatus::kFailed) {
        const bool first = row.attributes.empty() && row.member.empty();
        line += std::string(first ? " " : ", ") + status_name(row.status) + ": " + row.message;
    }
    return line + "\n";
}

// -n: the plan on standard output, one file (or member) after the other.
void print_plan(FileList& list, const CommandLine& command, int root_fd, Progress& progress, Console& console) {
    Worker worker;
    worker_open(worker, root_fd, command.outdir);
    RescueSink sink;
    sink.emit = [&](const RescueRow& row, const RowKey&) {
        const std::string line = plan_line(row);
        write_output(console, line.data(), line.size());
        progress.statuses[static_cast<std::size_t>(row.status)].fetch_add(1);
    };
    sink.offer = [](MemberJob&) { return false; };
    for (std::size_t index = 0; index < list.entries.size(); ++index) {
        rescue_entry(list, index, command.settings, worker, sink);
    }
    worker_close(worker);
}

std::uint64_t count_of(const Progress& progress, RowStatus status) {
    return progress.statuses[static_cast<std::size_t>(status)].load();
}

int exit_status(const Progress& progress) {
    if (count_of(progress, RowStatus::kFailed) != 0) {
        return kRescueFailed;
    }
    return count_of(progress, RowStatus::kUnsure) != 0 ? kRescueUnsure : kRescueCopied;
}

// A rescue never writes where its sources are: a PATH at or below OUTDIR
// would have its files replaced by their outputs, and later ones read
// after that. False after a message naming the first such PATH.
bool paths_outside_outdir(const CommandLine& command, Console& console) {
    std::string outdir;
    if (!resolved_path(command.outdir.c_str(), outdir)) {
        return true;  // OUTDIR does not exist yet: nothing lies in it
    }
    const std::string below = outdir == "/" ? outdir : outdir + "/";
    for (const std::string& path : command.paths) {
        std::string full;
        if (resolved_path(path.c_str(), full) && (full == outdir || full.starts_with(below))) {
            message(console, "unrms-rescue: %s lies inside the output directory %s: refused\n",
                    shown_name(path).c_str(), shown_name(command.outdir).c_str());
            return false;
        }
    }
    return true;
}

// Removes what an interrupted run left under temporary names in the
// directories this run writes into, before any worker writes there.
void remove_earlier_temporaries(const FileList& list, int root_fd) {
    std::vector<std::string_view> directories{std::string_view()};
    for (const ListEntry& entry : list.entries) {
        if (entry.kind != EntryKind::kConvert) {
            continue;
        }
        const std::string_view output = output_name_of(list, entry);
        const std::size_t slash = output.rfind('/');
        directories.push_back(slash == std::string_view::npos ? std::string_view() : output.substr(0, slash));
    }
    std::sort(directories.begin(), directories.end());
    directories.erase(std::unique(directories.begin(), directories.end()), directories.end());
    for (std::string_view directory : directories) {
        remove_stale_temporaries(root_fd, directory);
    }
}

// Opens OUTDIR, creating it unless only the plan is wanted (-n), where a
// missing OUTDIR leaves *fd at -1. False after a message.
bool open_outdir(const CommandLine& command, int* fd, DirectoryIdentity& identity, Console& console) {
    const char* path = command.outdir.c_str();
    EntryStatus status;
    if (command.settings.plan && !status_of_path(path, status)) {
        return true;
    }
    if ((!command.settings.plan && !make_directory_path(path)) || !open_directory(path, fd) ||
        !status_of_path(path, status)) {
        report_system_error(console, ("unrms-rescue: " + shown_name(command.outdir)).c_str());
        return false;
    }
    identity.known = true;
    identity.device = status.device;
    identity.inode = status.inode;
    return true;
}

int rescue(const CommandLine& command, Console& console) {
    if (!paths_outside_outdir(command, console)) {
        return kRescueFailed;
    }
    int root_fd = -1;
    DirectoryIdentity identity;
    if (!open_outdir(command, &root_fd, identity, console)) {
        return kRescueFailed;
    }
    FileList list;
    build_file_list(command.paths, identity, list);
    Progress progress;
    int status = kRescueCopied;
    if (command.settings.plan) {
        print_plan(list, command, root_fd, progress, console);
        status = exit_status(progress);
    } else {
        remove_earlier_temporaries(list, root_fd);
        Manifest manifest;
        const std::string manifest_path = command.outdir + "/" + kManifestName;
        if (!open_manifest(manifest, root_fd, shown_name(manifest_path), console)) {
            close_file_list(list);
            close_descriptor(root_fd);
            return kRescueFailed;
        }
        progress.shown = !command.quiet && is_terminal(2);
        Run run{list, command.settings, root_fd, command.outdir, manifest, progress};
        const unsigned workers = command.workers != 0 ? command.workers : usable_processors();
        run_workers(run, std::min<unsigned>(workers, kMostWorkers));
        status = exit_status(progress);
        // Every output on disk, their names too, before the manifest says
        // they are copied: one sync of the file system, which costs far
        // less than a sync of each file before its rename.
        if (!sync_file_system(root_fd)) {
            report_system_error(console, ("unrms-rescue: " + shown_name(command.outdir) + ": sync").c_str());
            status = kRescueFailed;
        }
        if (!close_manifest(manifest, console)) {
            status = kRescueFailed;
        }
    }
    close_file_list(list);
    if (root_fd >= 0) {
        close_descriptor(root_fd);
    }
    if (!command.quiet) {
        // Each member of an archive counts as a file.
        const std::uint64_t files = count_of(progress, RowStatus::kCopied) + count_of(progress, RowStatus::kUnsure) +
                                    count_of(progress, RowStatus::kFailed) + count_of(progress, RowStatus::kSkipped);
        message(console, "unrms-rescue: %llu files: %llu copied, %llu unsure, %llu failed, %llu skipped\n",
                static_cast<unsigned long long>(files),
                static_cast<unsigned long long>(count_of(progress, RowStatus::kCopied)),
                static_cast<unsigned long long>(count_of(progress, RowStatus::kUnsure)),
                static_cast<unsigned long long>(count_of(progress, RowStatus::kFailed)),
                static_cast<unsigned long long>(count_of(progress, RowStatus::kSkipped)));
    }
    return status;
}

}  // namespace

std::string progress_text(std::uint64_t files, std::uint64_t total_files, std::uint64_t bytes,
                          std::uint64_t total_bytes, double seconds) {
    std::string text = formatted("unrms-rescue: %llu of %llu files, %.1f of %.1f MB",
                                 static_cast<unsigned long long>(files), static_cast<unsigned long long>(total_files),
                                 static_cast<double>(bytes) / kMegabyte, static_cast<double>(total_bytes) / kMegabyte);
    if (bytes == 0 || seconds <= 0) {
        return text;
    }
    const double rate = static_cast<double>(bytes) / seconds;
    const auto left = static_cast<unsigned long long>(static_cast<double>(total_bytes - std::min(bytes, total_bytes)) / rate);
    return text + formatted(", %.1f MB/s, %llu:%02llu left", rate / kMegabyte, left / 60, left % 60);
}

int run_rescue(int argc, char* const* argv, Console& console) {
    CommandLine command;
    if (!scan_command_line(argc, argv, command, console)) {
        return usage(console);
    }
    ignore_file_size_signal();
    int status = rescue(command, console);
    if (!flush_output(console)) {
        status = kRescueFailed;
    }
    return status;
}
