#include "rescue/file_list.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/directory_io.h"
#include "platform/raw_io.h"

namespace {

constexpr Sidecar kSidecars[] = {Sidecar::kAttr, Sidecar::kFdlLower, Sidecar::kFdlUpper};

// A directory being walked: its names, sorted, and what each stands for.
struct Listing {
    std::vector<std::string> names;
    std::vector<EntryStatus> statuses;
    std::vector<int> errors;  // errno of a failed status query, else 0
};

struct Walk {
    FileList& list;
    const DirectoryIdentity& outdir;
};

FileIdentity identity_of(const EntryStatus& status) {
    return {status.device, status.inode};
}

// Records a directory the walk descends into; returns its index.
std::uint32_t add_directory(Walk& walk, std::uint32_t parent, int root_fd, std::string_view name,
                            const EntryStatus& status) {
    WalkedDirectory directory;
    directory.parent = parent;
    directory.root_fd = root_fd;
    directory.name = walk.list.text.size();
    directory.identity = identity_of(status);
    walk.list.text.append(name);
    walk.list.text.push_back('\0');
    walk.list.directories.push_back(directory);
    return static_cast<std::uint32_t>(walk.list.directories.size() - 1);
}

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool is_outdir(const Walk& walk, const EntryStatus& status) {
    return walk.outdir.known && status.device == walk.outdir.device && status.inode == walk.outdir.inode;
}

// Appends an entry whose source is path; the output name begins at below.
ListEntry& add_entry(Walk& walk, std::string_view path, std::size_t below, EntryKind kind) {
    ListEntry entry;
    entry.text = walk.list.text.size();
    entry.size = static_cast<std::uint32_t>(path.size());
    entry.below = static_cast<std::uint32_t>(below);
    entry.kind = kind;
    walk.list.text.append(path);
    walk.list.text.push_back('\0');
    walk.list.entries.push_back(entry);
    return walk.list.entries.back();
}

void add_unreadable(Walk& walk, std::string_view path, std::size_t below, int error_number) {
    add_entry(walk, path, below, EntryKind::kUnreadable).error_number = error_number;
}

// The index of name in the sorted listing, or -1.
long find_name(const Listing& listing, std::string_view name) {
    const auto at = std::lower_bound(listing.names.begin(), listing.names.end(), name,
                                     [](const std::string& a, std::string_view b) { return a < b; });
    if (at == listing.names.end() || *at != name) {
        return -1;
    }
    return at - listing.names.begin();
}

bool is_regular_in(const Listing& listing, std::string_view name) {
    const long at = find_name(listing, name);
    return at >= 0 && listing.errors[static_cast<std::size_t>(at)] == 0 &&
           listing.statuses[static_cast<std::size_t>(at)].type == EntryType::kRegular;
}

// Whether name is the sidecar of a regular file beside it.
bool is_sidecar_in(const Listing& listing, std::string_view name) {
    for (Sidecar sidecar : kSidecars) {
        const std::string_view suffix = sidecar_suffix(sidecar);
        if (ends_with(name, suffix) && name.size() > suffix.size() &&
            is_regular_in(listing, name.substr(0, name.size() - suffix.size()))) {
            return true;
        }
    }
    return false;
}

Sidecar sidecar_in(const Listing& listing, const std::string& name) {
    for (Sidecar sidecar : kSidecars) {
        if (is_regular_in(listing, name + sidecar_suffix(sidecar))) {
            return sidecar;
        }
    }
    return Sidecar::kNone;
}

bool read_listing(int dir_fd, Listing& listing) {
    if (!list_directory(dir_fd, listing.names)) {
        return false;
    }
    std::sort(listing.names.begin(), listing.names.end());
    listing.statuses.resize(listing.names.size());
    listing.errors.assign(listing.names.size(), 0);
    for (std::size_t i = 0; i < listing.names.size(); ++i) {
        if (!status_at(dir_fd, listing.names[i].c_str(), listing.statuses[i])) {
            listing.errors[i] = errno;
        }
    }
    return true;
}

// Lists the directory open at dir_fd, number directory of the list, whose
// source path is path; the output names of its entries begin at below.
// depth counts the directories between it and its PATH.
void walk_directory(Walk& walk, int dir_fd, std::uint32_t directory, std::string& path, std::size_t below,
                    int depth) {
    Listing listing;
    if (!read_listing(dir_fd, listing)) {
        add_unreadable(walk, path, below, errno);
        return;
    }
    for (std::size_t i = 0; i < listing.names.size(); ++i) {
        if (listing.errors[i] == 0 && listing.statuses[i].type == EntryType::kRegular) {
            walk.list.sources.push_back(identity_of(listing.statuses[i]));
        }
    }
    const std::size_t path_size = path.size();
    if (path.back() != '/') {
        path.push_back('/');
    }
    const std::size_t prefix_size = path.size();
    for (std::size_t i = 0; i < listing.names.size(); ++i) {
        const std::string& name = listing.names[i];
        path.resize(prefix_size);
        path.append(name);
        const EntryStatus& status = listing.statuses[i];
        if (listing.errors[i] != 0) {
            add_unreadable(walk, path, below, listing.errors[i]);
        } else if (status.type == EntryType::kSymlink) {
            add_entry(walk, path, below, EntryKind::kSymlink);
        } else if (status.type == EntryType::kOther) {
            add_entry(walk, path, below, EntryKind::kSpecial);
        } else if (status.type == EntryType::kDirectory) {
            int child_fd = -1;
            if (is_outdir(walk, status)) {
                add_entry(walk, path, below, EntryKind::kOutputDirectory);
            } else if (depth + 1 >= kDeepestDirectory) {
                add_entry(walk, path, below, EntryKind::kTooDeep);
            } else if (!open_directory_at(dir_fd, name.c_str(), &child_fd)) {
                add_unreadable(walk, path, below, errno);
            } else {
                const std::uint32_t child = add_directory(walk, directory, -1, name, status);
                walk_directory(walk, child_fd, child, path, below, depth + 1);
                close_descriptor(child_fd);
            }
        } else if (!is_sidecar_in(listing, name)) {
            ListEntry& entry = add_entry(walk, path, below, EntryKind::kConvert);
            entry.bytes = status.size;
            entry.sidecar = sidecar_in(listing, name);
            entry.directory = directory;
            entry.identity = identity_of(status);
        }
    }
    path.resize(path_size);
}

// A regular file named as a PATH, its output under its base name.
void add_named_file(Walk& walk, const std::string& path, const EntryStatus& status) {
    const std::size_t slash = path.rfind('/');
    const std::size_t below = slash == std::string::npos ? 0 : slash + 1;
    EntryStatus partner;
    for (Sidecar sidecar : kSidecars) {
        const std::string_view suffix = sidecar_suffix(sidecar);
        if (ends_with(path, suffix) && path.size() - below > suffix.size()) {
            const std::string stem = path.substr(0, path.size() - suffix.size());
            if (status_at(kCurrentDirectory, stem.c_str(), partner) && partner.type == EntryType::kRegular) {
                add_entry(walk, path, below, EntryKind::kSidecar);
                walk.list.sources.push_back(identity_of(status));
                return;
            }
        }
    }
    ListEntry& entry = add_entry(walk, path, below, EntryKind::kConvert);
    entry.bytes = status.size;
    entry.named = true;
    entry.identity = identity_of(status);
    walk.list.sources.push_back(entry.identity);
    for (Sidecar sidecar : kSidecars) {
        const std::string name = path + sidecar_suffix(sidecar);
        if (status_at(kCurrentDirectory, name.c_str(), partner) && partner.type == EntryType::kRegular) {
            entry.sidecar = sidecar;
            walk.list.sources.push_back(identity_of(partner));
            return;
        }
    }
}

void walk_path(Walk& walk, const std::string& given) {
    std::string path = trimmed_path(given);
    const std::size_t slash = path.rfind('/');
    const std::size_t base = slash == std::string::npos || path == "/" ? 0 : slash + 1;
    EntryStatus status;
    if (!status_of_path(path.c_str(), status)) {
        add_unreadable(walk, path, base, errno);
        return;
    }
    if (status.type == EntryType::kRegular) {
        add_named_file(walk, path, status);
        return;
    }
    if (status.type != EntryType::kDirectory) {
        add_entry(walk, path, base, EntryKind::kSpecial);
        return;
    }
    if (is_outdir(walk, status)) {
        add_entry(walk, path, base, EntryKind::kOutputDirectory);
        return;
    }
    int dir_fd = -1;
    if (!open_directory(path.c_str(), &dir_fd)) {
        add_unreadable(walk, path, base, errno);
        return;
    }
    // Kept open for the run: the files below are opened from it, one
    // component at a time, never again by their paths.
    const std::uint32_t root = add_directory(walk, kNamedPath, dir_fd, path, status);
    const std::size_t below = path.back() == '/' ? path.size() : path.size() + 1;
    walk_directory(walk, dir_fd, root, path, below, 0);
}

bool is_reserved(std::string_view output) {
    const std::size_t slash = output.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? output : output.substr(slash + 1);
    return output == kManifestName || is_temporary_name(last);
}

// Marks the entries whose output name another entry, listed earlier (by
// an earlier PATH), has already; and those whose output name is reserved.
void mark_same_outputs(FileList& list) {
    std::vector<std::uint32_t> order;
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        if (list.entries[i].kind == EntryKind::kConvert) {
            order.push_back(static_cast<std::uint32_t>(i));
        }
    }
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return output_name_of(list, list.entries[a]) < output_name_of(list, list.entries[b]);
    });
    for (std::size_t i = 0; i < order.size(); ++i) {
        ListEntry& entry = list.entries[order[i]];
        if (is_reserved(output_name_of(list, entry))) {
            entry.kind = EntryKind::kReservedName;
        } else if (i > 0) {
            const ListEntry& previous = list.entries[order[i - 1]];
            if (output_name_of(list, previous) == output_name_of(list, entry)) {
                entry.kind = EntryKind::kSameOutput;
                entry.same_as = previous.kind == EntryKind::kSameOutput ? previous.same_as : previous.text;
            }
        }
    }
}

// The output names of the entries still to convert, sorted, each with its
// entry: one each, once mark_same_outputs has run.
using OutputNames = std::vector<std::pair<std::string_view, std::uint32_t>>;

OutputNames output_names(const FileList& list) {
    OutputNames names;
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        if (list.entries[i].kind == EntryKind::kConvert) {
            names.emplace_back(output_name_of(list, list.entries[i]), static_cast<std::uint32_t>(i));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The entry whose output is name, or -1.
long entry_with_output(const OutputNames& names, std::string_view name) {
    const auto at = std::lower_bound(names.begin(), names.end(), name,
                                     [](const auto& item, std::string_view wanted) { return item.first < wanted; });
    return at != names.end() && at->first == name ? static_cast<long>(at->second) : -1;
}

// An entry whose output lies below name, taken as a directory, or -1.
long entry_below(const OutputNames& names, const std::string& name) {
    const std::string prefix = name + "/";
    const auto at = std::lower_bound(names.begin(), names.end(), std::string_view(prefix),
                                     [](const auto& item, std::string_view wanted) { return item.first < wanted; });
    return at != names.end() && at->first.starts_with(prefix) ? static_cast<long>(at->second) : -1;
}

// An output whose directory is another entry's output file: of the two,
// the one listed later (by a later PATH) is skipped. An output that is
// another entry's NAME.partial, or a directory of one, blocks that name.
void mark_outputs_in_the_way(FileList& list) {
    const OutputNames names = output_names(list);
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        ListEntry& entry = list.entries[i];
        if (entry.kind != EntryKind::kConvert) {
            continue;
        }
        const std::string_view output = output_name_of(list, entry);
        for (std::size_t slash = output.find('/'); slash != std::string_view::npos;
             slash = output.find('/', slash + 1)) {
            const long other = entry_with_output(names, output.substr(0, slash));
            if (other < 0) {
                continue;
            }
            ListEntry& later = static_cast<std::size_t>(other) < i ? entry : list.entries[static_cast<std::size_t>(other)];
            const ListEntry& earlier = &later == &entry ? list.entries[static_cast<std::size_t>(other)] : entry;
            later.kind = EntryKind::kOutputInTheWay;
            later.same_as = earlier.text;
            break;
        }
    }
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        ListEntry& entry = list.entries[i];
        if (entry.kind != EntryKind::kConvert) {
            continue;
        }
        const std::string partial = std::string(output_name_of(list, entry)) + kPartialSuffix;
        long owner = entry_with_output(names, partial);
        if (owner < 0 || list.entries[static_cast<std::size_t>(owner)].kind != EntryKind::kConvert) {
            owner = entry_below(names, partial);
        }
        if (owner >= 0 && list.entries[static_cast<std::size_t>(owner)].kind == EntryKind::kConvert) {
            entry.partial_blocked = true;
            entry.same_as = list.entries[static_cast<std::size_t>(owner)].text;
        }
    }
}

}  // namespace

bool is_temporary_name(std::string_view name) {
    return name.size() >= std::strlen(kTemporaryPrefix) + std::strlen(kTemporarySuffix) &&
           name.starts_with(kTemporaryPrefix) && ends_with(name, kTemporarySuffix);
}

void close_file_list(FileList& list) {
    for (WalkedDirectory& directory : list.directories) {
        if (directory.root_fd >= 0) {
            close_descriptor(directory.root_fd);
            directory.root_fd = -1;
        }
    }
}

bool is_source(const FileList& list, const FileIdentity& identity) {
    return std::binary_search(list.sources.begin(), list.sources.end(), identity);
}

const char* sidecar_suffix(Sidecar sidecar) {
    switch (sidecar) {
        case Sidecar::kAttr:
            return ".attr";
        case Sidecar::kFdlLower:
            return ".fdl";
        case Sidecar::kFdlUpper:
            return ".FDL";
        case Sidecar::kNone:
            break;
    }
    return "";
}

std::string trimmed_path(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

void build_file_list(const std::vector<std::string>& paths, const DirectoryIdentity& outdir, FileList& list) {
    Walk walk{list, outdir};
    for (const std::string& path : paths) {
        walk_path(walk, path);
    }
    mark_same_outputs(list);
    mark_outputs_in_the_way(list);
    std::sort(list.sources.begin(), list.sources.end());
    std::sort(list.entries.begin(), list.entries.end(), [&](const ListEntry& a, const ListEntry& b) {
        return source_of(list, a) < source_of(list, b);
    });
    list.bytes = 0;
    for (const ListEntry& entry : list.entries) {
        if (entry.kind == EntryKind::kConvert) {
            list.bytes += entry.bytes;
        }
    }
}
