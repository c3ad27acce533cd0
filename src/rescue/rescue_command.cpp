#include "rescue/rescue_command.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
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
    message(console, "usage: unrms-rescue [-j N] [-f] [-n] [-q] -o OUTDIR PATH...\n");
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
        const int letter = next_option(scanner, argc, argv, kOptionLetters, console);
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

// What the workers share: the list (each entry written by the one worker
// that took it), the queue (its next index), the manifest and the progress.
struct Run {
    FileList& list;
    const RescueSettings& settings;
    int root_fd;
    const std::string& outdir;
    Manifest& manifest;
    Progress& progress;
    std::atomic<std::size_t> next{0};
    std::mutex finish_lock{};
    std::condition_variable finished{};
    unsigned workers_left = 0;  // guarded by finish_lock
};

// Writes a line on standard error, first wiping the progress line.
void error_line(Progress& progress, const std::string& text) {
    const std::lock_guard<std::mutex> hold(progress.error_lock);
    if (progress.line_drawn) {
        (void)write_all(2, "\r\x1b[K", 4);
        progress.line_drawn = false;
    }
    (void)write_all(2, text.data(), text.size());
}

void count_row(Progress& progress, const ListEntry& entry, const RescueRow& row) {
    progress.statuses[static_cast<std::size_t>(row.status)].fetch_add(1, std::memory_order_relaxed);
    progress.bytes.fetch_add(entry.kind == EntryKind::kConvert ? entry.bytes : 0, std::memory_order_relaxed);
    progress.files.fetch_add(1, std::memory_order_relaxed);
    if (row.status == RowStatus::kFailed) {
        error_line(progress, "unrms-rescue: " + shown_name(row.source) + ": " + row.message + "\n");
    }
}

void work(Run& run) {
    Worker worker;
    worker_open(worker, run.root_fd, run.outdir);
    std::string line;
    for (;;) {
        const std::size_t index = run.next.fetch_add(1, std::memory_order_relaxed);
        if (index >= run.list.entries.size()) {
            break;
        }
        rescue_entry(run.list, index, run.settings, worker);
        line = manifest_line(worker.row);
        ListEntry& entry = run.list.entries[index];
        std::uint64_t offset = 0;
        if (append_row(run.manifest, line, &offset)) {
            entry.row = offset;
            entry.row_size = static_cast<std::uint32_t>(line.size());
        }
        count_row(run.progress, entry, worker.row);
    }
    worker_close(worker);
    const std::lock_guard<std::mutex> hold(run.finish_lock);
    if (--run.workers_left == 0) {
        run.finished.notify_all();
    }
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
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < workers; ++i) {
        threads.emplace_back(work, std::ref(run));
    }
    const auto start = std::chrono::steady_clock::now();
    {
        std::unique_lock<std::mutex> hold(run.finish_lock);
        while (run.workers_left != 0) {
            run.finished.wait_for(hold, kProgressInterval);
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

// The plan line of a row: the source, the attributes and where they come
// from, and what would happen when that is not a copy.
std::string plan_line(const RescueRow& row) {
    std::string line = shown_name(row.source) + ":";
    if (!row.attributes.empty()) {
        line += " " + row.attributes + " (" + origin_name(row.origin);
        if (row.origin == AttributeOrigin::kProbe && !row.confident) {
            line += formatted(", unsure: score %d", row.score);
            if (!row.runner_up.empty()) {
                line += formatted(", runner-up %s score %d", row.runner_up.c_str(), row.runner_up_score);
            }
        }
        line += ")";
    }
    if (row.status == RowStatus::kSkipped || row.status == RowStatus::kFailed) {
        line += std::string(row.attributes.empty() ? " " : ", ") + status_name(row.status) + ": " + row.message;
    }
    return line + "\n";
}

// -n: the plan on standard output, one file after the other.
void print_plan(FileList& list, const CommandLine& command, int root_fd, Progress& progress, Console& console) {
    Worker worker;
    worker_open(worker, root_fd, command.outdir);
    for (std::size_t index = 0; index < list.entries.size(); ++index) {
        rescue_entry(list, index, command.settings, worker);
        const std::string line = plan_line(worker.row);
        write_output(console, line.data(), line.size());
        progress.statuses[static_cast<std::size_t>(worker.row.status)].fetch_add(1);
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
        if (!close_manifest(manifest, list, console)) {
            status = kRescueFailed;
        }
    }
    close_file_list(list);
    if (root_fd >= 0) {
        close_descriptor(root_fd);
    }
    if (!command.quiet) {
        message(console, "unrms-rescue: %zu files: %llu copied, %llu unsure, %llu failed, %llu skipped\n",
                list.entries.size(), static_cast<unsigned long long>(count_of(progress, RowStatus::kCopied)),
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
