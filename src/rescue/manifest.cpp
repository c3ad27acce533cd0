#include "rescue/manifest.h"

#include <algorithm>
#include <cerrno>
#include <nlohmann/json.hpp>

#include "platform/console.h"
#include "platform/directory_io.h"
#include "platform/raw_io.h"
#include "rescue/file_list.h"
#include "rescue/shown_name.h"

namespace {

constexpr std::size_t kSortedChunk = 1 << 20;

const std::string kSortedName = std::string(kTemporaryPrefix) + "manifest" + kTemporarySuffix;

// Creates name in dir_fd afresh: whatever had the name is removed first.
bool create_afresh(int dir_fd, const char* name, int* fd) {
    if (create_file_at(dir_fd, name, fd)) {
        return true;
    }
    return errno == EEXIST && remove_at(dir_fd, name) && create_file_at(dir_fd, name, fd);
}

// Writes the rows in key order into a new file, then puts it in the
// manifest's place. False with errno set.
bool write_sorted(Manifest& manifest) {
    int sorted_fd = -1;
    if (!create_afresh(manifest.directory_fd, kSortedName.c_str(), &sorted_fd)) {
        return false;
    }
    std::sort(manifest.rows.begin(), manifest.rows.end(),
              [](const AppendedRow& a, const AppendedRow& b) { return a.key < b.key; });
    std::string pending;
    bool written = true;
    for (const AppendedRow& row : manifest.rows) {
        const std::size_t at = pending.size();
        pending.resize(at + row.size);
        std::size_t got = 0;
        if (!read_full_at(manifest.fd, pending.data() + at, row.size, row.offset, &got)) {
            written = false;
            break;
        }
        if (got != row.size) {
            errno = EIO;
            written = false;
            break;
        }
        if (pending.size() >= kSortedChunk) {
            written = write_all(sorted_fd, pending.data(), pending.size());
            pending.clear();
            if (!written) {
                break;
            }
        }
    }
    // On disk before it takes the manifest's name, and the name on disk
    // too: the manifest is the last thing a run writes.
    written = written && write_all(sorted_fd, pending.data(), pending.size()) && sync_file(sorted_fd);
    const bool closed = close_written(sorted_fd);
    written = written && closed && rename_at(manifest.directory_fd, kSortedName.c_str(), kManifestName, true) &&
              sync_file(manifest.directory_fd);
    if (!written) {
        const int error_number = errno;
        (void)remove_at(manifest.directory_fd, kSortedName.c_str());
        errno = error_number;
    }
    return written;
}

}  // namespace

void clear_row(RescueRow& row) {
    row.source = {};
    row.member.clear();
    row.inside.clear();
    row.output.clear();
    row.attributes.clear();
    row.origin = AttributeOrigin::kNone;
    row.confident = false;
    row.line_ends_guessed = false;
    row.score = 0;
    row.runner_up.clear();
    row.runner_up_score = 0;
    row.records = 0;
    row.bytes_in = 0;
    row.bytes_out = 0;
    row.status = RowStatus::kSkipped;
    row.reason = RowReason::kNone;
    row.message.clear();
}

const char* status_name(RowStatus status) {
    switch (status) {
        case RowStatus::kCopied:
            return "copied";
        case RowStatus::kUnsure:
            return "unsure";
        case RowStatus::kFailed:
            return "failed";
        case RowStatus::kSkipped:
            break;
    }
    return "skipped";
}

const char* origin_name(AttributeOrigin origin) {
    switch (origin) {
        case AttributeOrigin::kSidecar:
            return "sidecar";
        case AttributeOrigin::kFdl:
            return "fdl";
        case AttributeOrigin::kProbe:
            return "probe";
        case AttributeOrigin::kSaveset:
            return "saveset";
        case AttributeOrigin::kZip:
            return "zip";
        case AttributeOrigin::kNone:
            break;
    }
    return "";
}

const char* reason_name(RowReason reason) {
    switch (reason) {
        case RowReason::kNone:
            return "";
        case RowReason::kShortLastRecord:
            return "short_last_record";
        case RowReason::kDataLeftBehind:
            return "data_left_behind";
        case RowReason::kDamaged:
            return "damaged";
        case RowReason::kUnsupported:
            return "unsupported";
        case RowReason::kReadError:
            return "read_error";
        case RowReason::kWriteError:
            return "write_error";
        case RowReason::kAttributes:
            return "attributes";
        case RowReason::kChanged:
            return "changed";
        case RowReason::kOutputIsSource:
            return "output_is_source";
        case RowReason::kUnreadable:
            return "unreadable";
        case RowReason::kTooDeep:
            return "too_deep";
        case RowReason::kSymlink:
            return "symlink";
        case RowReason::kNotRegular:
            return "not_regular";
        case RowReason::kOutputDirectory:
            return "output_directory";
        case RowReason::kSidecar:
            return "sidecar";
        case RowReason::kSameOutput:
            return "same_output";
        case RowReason::kOutputInTheWay:
            return "output_in_the_way";
        case RowReason::kReservedName:
            return "reserved_name";
        case RowReason::kOutputExists:
            return "output_exists";
        case RowReason::kDirectory:
            return "directory";
        case RowReason::kRenamed:
            return "renamed";
        case RowReason::kUnsafeName:
            return "unsafe_name";
        case RowReason::kArchiveDamaged:
            return "archive_damaged";
    }
    return "";
}

std::string manifest_line(const RescueRow& row) {
    using Json = nlohmann::ordered_json;
    const auto text_or_null = [](const std::string& text) { return text.empty() ? Json() : Json(text); };
    const bool probed = row.origin == AttributeOrigin::kProbe;
    Json json;
    json["source"] = std::string(row.source);
    if (!is_utf8(row.source)) {
        json["source_bytes"] = shown_name(row.source);
    }
    json["member"] = text_or_null(row.member);
    if (!row.member.empty() && !is_utf8(row.member)) {
        json["member_bytes"] = shown_name(row.member);
    }
    json["inside"] = row.inside.empty() ? Json() : Json(row.inside);
    json["output"] = text_or_null(row.output);
    json["attributes"] = text_or_null(row.attributes);
    json["from"] = row.origin == AttributeOrigin::kNone ? Json() : Json(origin_name(row.origin));
    json["confident"] = probed ? Json(row.confident) : Json();
    json["line_ends"] = probed && row.line_ends_guessed ? Json("guessed") : Json();
    json["score"] = probed ? Json(row.score) : Json();
    json["runner_up"] = probed && !row.runner_up.empty()
                            ? Json{{"attributes", row.runner_up}, {"score", row.runner_up_score}}
                            : Json();
    json["records"] = row.records;
    json["bytes_in"] = row.bytes_in;
    json["bytes_out"] = row.bytes_out;
    json["status"] = status_name(row.status);
    json["reason"] = row.reason == RowReason::kNone ? Json() : Json(reason_name(row.reason));
    json["message"] = text_or_null(row.message);
    return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool open_manifest(Manifest& manifest, int outdir_fd, const std::string& shown, Console& console) {
    manifest.directory_fd = outdir_fd;
    manifest.shown = shown;
    if (!create_afresh(outdir_fd, kManifestName, &manifest.fd)) {
        report_system_error(console, shown.c_str());
        return false;
    }
    return true;
}

bool append_row(Manifest& manifest, std::string_view line, const RowKey& key) {
    const std::lock_guard<std::mutex> hold(manifest.lock);
    if (manifest.error_number != 0) {
        return false;
    }
    if (!write_all(manifest.fd, line.data(), line.size())) {
        manifest.error_number = errno;
        return false;
    }
    manifest.rows.push_back({key, manifest.size, static_cast<std::uint32_t>(line.size())});
    manifest.size += line.size();
    return true;
}

bool close_manifest(Manifest& manifest, Console& console) {
    bool closed = manifest.error_number == 0;
    if (closed && !write_sorted(manifest)) {
        manifest.error_number = errno;
        closed = false;
    }
    close_descriptor(manifest.fd);  // read back alone since its rows were appended
    manifest.fd = -1;
    if (!closed) {
        report_error_number(console, (manifest.shown + ": write").c_str(), manifest.error_number);
    }
    return closed;
}
