// One entry of the list, rescued: its attributes settled from the sidecar
// beside it or by the probe, its records copied into the output tree, and
// what happened written into a manifest row.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archives/archive.h"
#include "attributes/file_attributes.h"
#include "platform/console.h"
#include "rescue/manifest.h"
#include "rescue/output_tree.h"
#include "rescue/source_files.h"

struct RescueSettings {
    bool force = false;  // -f: replace existing outputs
    bool plan = false;   // -n: settle the attributes, write nothing
    bool raw = false;    // --raw: the bytes as stored, with their attributes beside them
};

// What a worker keeps from file to file: the console whose output goes to
// each file in turn and whose messages go into the row, the output
// directory last entered, the source directory last opened, the row.
struct Worker {
    Console console;
    OutputTree tree;
    SourceDirectory sources;
    RescueRow row;
    std::unique_ptr<unsigned char[]> buffer;  // kWorkerBufferSize bytes: a member's data on their way
};

inline constexpr std::size_t kWorkerBufferSize = 1 << 20;

// A member of an archive, extracted into a file of its own (unlinked: it
// goes when fd is closed), waiting to be converted.
struct MemberJob {
    RowKey key;                       // its list entry and its places in the archives holding it
    std::vector<std::string> inside;  // the members holding it, outermost first
    AttributeOrigin origin = AttributeOrigin::kSaveset;  // what its attributes come from, when it has them
    MemberHeader header;
    MemberOutcome delivery;  // how its bytes came out of the archive
    std::string output;      // its output, relative to OUTDIR; empty when its name is refused
    std::string name_note;   // why its output is not its name, when it is not
    int fd = -1;             // its bytes; -1 when nothing was extracted
    int depth = 1;           // of archives holding it
};

// Where a worker's results go, shared by the workers of a run: the rows,
// and the members other workers may convert.
struct RescueSink {
    std::function<void(const RescueRow& row, const RowKey& key)> emit;
    // Takes the job for another worker; false when the caller is to
    // convert it itself (every worker is busy and the queue is full).
    std::function<bool(MemberJob& job)> offer;
    std::atomic<std::uint64_t> extracted{0};  // numbers the extraction files
};

// root_fd is OUTDIR (-1 when it does not exist, with -n), root_name OUTDIR
// as given.
void worker_open(Worker& worker, int root_fd, const std::string& root_name);
void worker_close(Worker& worker);

// Does what the list's entry number index calls for and emits its row, or
// for an archive the rows of its members; the messages end up in the rows,
// none on standard error.
void rescue_entry(const FileList& list, std::size_t index, const RescueSettings& settings, Worker& worker,
                  RescueSink& sink);

// Converts an extracted member and emits its row (or, for a member that is
// an archive, the rows of its members); closes the job's file.
void rescue_member(MemberJob& job, const FileList& list, const RescueSettings& settings, Worker& worker,
                   RescueSink& sink);

// Where a conversion goes, in the output directory the worker has entered.
struct OutputPlace {
    std::string base;  // the output's name in that directory
    std::string path;  // the output's path as rows and messages give it, OUTDIR included
    std::uint64_t number = 0;  // makes the temporary name unique within the run
    // NAME.partial is another source's output (blocked_by): damage keeps
    // nothing.
    bool partial_blocked = false;
    std::string blocked_by;
    // The input is known to be cut short (a member of a damaged archive):
    // whatever the copy comes to, it is kept as NAME.partial alone.
    bool input_damaged = false;
};

// Settles the attributes of the file open at fd by the probe, filling the
// probe's fields of the row. False after a message.
bool probe_attributes(int fd, FileAttributes& attributes, RescueRow& row, Console& console);

// Copies the records of the file open at fd with the settled attributes to
// place, and records in the worker's row what came of it: the output under
// its name once complete (a short last fixed-length record included), the
// records before damage or a failed read under NAME.partial, nothing after
// a failed write; an existing output is replaced only with settings.force,
// a source of the run never.
void write_records(int fd, const FileAttributes& attributes, const OutputPlace& place, const RescueSettings& settings,
                   const FileList& list, Worker& worker);

// copied, or unsure when the probe was not sure of the attributes.
RowStatus status_when_copied(const RescueRow& row);

// Copies the bytes of the file open at fd unchanged to place, and, when
// attributes are given, writes them beside it as NAME.attr, the sidecar a
// later rescue (or unrms -a NAME.attr NAME) converts it with.
void write_raw(int fd, const FileAttributes* attributes, const OutputPlace& place, const RescueSettings& settings,
               const FileList& list, Worker& worker);

// The messages of a file as one line: each trimmed, "; " between them.
void tidy_message(std::string& text);

// The assignment line of settled attributes, as rows give them.
std::string attribute_line(const FileAttributes& attributes);
