#include "rescue/output_tree.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/console.h"
#include "platform/directory_io.h"
#include "platform/raw_io.h"
#include "rescue/file_list.h"
#include "rescue/shown_name.h"

namespace {

void close_directory(OutputTree& tree) {
    if (tree.directory_fd >= 0 && tree.directory_fd != tree.root_fd) {
        close_descriptor(tree.directory_fd);
    }
    tree.directory_fd = -1;
    tree.directory.clear();
}

// The message for a component that cannot be entered: what is there
// instead of a directory, or the system's reason.
void report_directory(const OutputTree& tree, std::string_view name, int error_number, Console& console) {
    const std::string shown = shown_name(tree.root_name + "/" + std::string(name));
    if (error_number == ELOOP) {
        message(console, "%s: a symbolic link, not followed\n", shown.c_str());
    } else {
        report_error_number(console, shown.c_str(), error_number);
    }
}

// The path of name in the entered directory, as messages show it.
std::string shown_output_path(const OutputTree& tree, const std::string& name) {
    const std::string directory = tree.directory.empty() ? tree.root_name : tree.root_name + "/" + tree.directory;
    return shown_name(directory + "/" + name);
}

}  // namespace

void output_tree_close(OutputTree& tree) {
    close_directory(tree);
}

std::string_view output_base_name(std::string_view name) {
    const std::size_t slash = name.rfind('/');
    return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

OutputDirectory enter_output_directory(OutputTree& tree, std::string_view name, bool create, Console& console) {
    const std::size_t slash = name.rfind('/');
    const std::string_view wanted = slash == std::string_view::npos ? std::string_view() : name.substr(0, slash);
    if (tree.directory_fd >= 0 && tree.directory == wanted) {
        return OutputDirectory::kOpen;
    }
    close_directory(tree);
    if (tree.root_fd < 0) {
        return OutputDirectory::kMissing;
    }
    int fd = tree.root_fd;
    std::string component;
    for (std::size_t at = 0; at < wanted.size();) {
        std::size_t end = wanted.find('/', at);
        if (end == std::string_view::npos) {
            end = wanted.size();
        }
        component.assign(wanted.substr(at, end - at));
        int next = -1;
        bool opened = open_directory_at(fd, component.c_str(), &next);
        if (!opened && errno == ENOENT && create) {
            opened = (make_directory_at(fd, component.c_str()) || errno == EEXIST) &&
                     open_directory_at(fd, component.c_str(), &next);
        }
        int error_number = errno;
        EntryStatus status;
        if (!opened && error_number != ENOENT && status_at(fd, component.c_str(), status) &&
            status.type == EntryType::kSymlink) {
            error_number = ELOOP;  // whatever the system said: a link stands there
        }
        if (fd != tree.root_fd) {
            close_descriptor(fd);
        }
        if (!opened) {
            if (error_number == ENOENT && !create) {
                return OutputDirectory::kMissing;
            }
            report_directory(tree, wanted.substr(0, end), error_number, console);
            return OutputDirectory::kFailed;
        }
        fd = next;
        at = end + 1;
    }
    tree.directory_fd = fd;
    tree.directory.assign(wanted);
    return OutputDirectory::kOpen;
}

bool output_exists(const OutputTree& tree, const char* base) {
    EntryStatus status;
    return tree.directory_fd >= 0 && status_at(tree.directory_fd, base, status);
}

bool begin_output(OutputTree& tree, std::uint64_t number, PendingOutput& pending, Console& console) {
    pending.temporary = kTemporaryPrefix + std::to_string(number) + kTemporarySuffix;
    bool created = create_file_at(tree.directory_fd, pending.temporary.c_str(), &pending.fd);
    if (!created && errno == EEXIST && remove_at(tree.directory_fd, pending.temporary.c_str())) {
        created = create_file_at(tree.directory_fd, pending.temporary.c_str(), &pending.fd);
    }
    if (!created) {
        report_system_error(console, shown_output_path(tree, pending.temporary).c_str());
        return false;
    }
    return true;
}

Finish finish_output(OutputTree& tree, PendingOutput& pending, const std::string& final_name, bool replace,
                     const FileList& list, Console& console) {
    const bool closed = close_written(pending.fd);
    pending.fd = -1;
    if (!closed) {
        const int error_number = errno;
        (void)remove_at(tree.directory_fd, pending.temporary.c_str());
        report_error_number(console, shown_output_path(tree, pending.temporary).c_str(), error_number);
        return Finish::kFailed;
    }
    EntryStatus there;
    if (replace && status_at(tree.directory_fd, final_name.c_str(), there) &&
        is_source(list, {there.device, there.inode})) {
        (void)remove_at(tree.directory_fd, pending.temporary.c_str());
        return Finish::kIsSource;
    }
    if (rename_at(tree.directory_fd, pending.temporary.c_str(), final_name.c_str(), replace)) {
        return Finish::kDone;
    }
    const int error_number = errno;
    (void)remove_at(tree.directory_fd, pending.temporary.c_str());
    if (error_number == EEXIST) {
        return Finish::kExists;
    }
    report_error_number(console, shown_output_path(tree, final_name).c_str(), error_number);
    return Finish::kFailed;
}

void remove_stale_output(OutputTree& tree, const std::string& name, const FileList& list) {
    EntryStatus there;
    if (tree.directory_fd >= 0 && status_at(tree.directory_fd, name.c_str(), there) &&
        there.type == EntryType::kRegular && !is_source(list, {there.device, there.inode})) {
        (void)remove_at(tree.directory_fd, name.c_str());
    }
}

void remove_stale_temporaries(int root_fd, std::string_view name) {
    OutputTree tree;
    tree.root_fd = root_fd;
    Console quiet;
    std::string discarded;
    quiet.message_sink = &discarded;
    // The directory of a file inside the directory named: name + "/x".
    if (enter_output_directory(tree, std::string(name) + (name.empty() ? "x" : "/x"), false, quiet) !=
        OutputDirectory::kOpen) {
        return;
    }
    std::vector<std::string> names;
    if (list_directory(tree.directory_fd, names)) {
        for (const std::string& entry : names) {
            EntryStatus status;
            if (is_temporary_name(entry) && status_at(tree.directory_fd, entry.c_str(), status) &&
                status.type == EntryType::kRegular) {
                (void)remove_at(tree.directory_fd, entry.c_str());
            }
        }
    }
    output_tree_close(tree);
}

void abandon_output(OutputTree& tree, PendingOutput& pending) {
    if (pending.fd >= 0) {
        close_descriptor(pending.fd);
        pending.fd = -1;
    }
    (void)remove_at(tree.directory_fd, pending.temporary.c_str());
}
