// One entry of the list, rescued: its attributes settled from the sidecar
// beside it or by the probe, its records copied into the output tree, and
// what happened written into a manifest row.
#pragma once

#include <cstddef>
#include <string>

#include "attributes/file_attributes.h"
#include "platform/console.h"
#include "rescue/manifest.h"
#include "rescue/output_tree.h"
#include "rescue/source_files.h"

struct RescueSettings {
    bool force = false;  // -f: replace existing outputs
    bool plan = false;   // -n: settle the attributes, write nothing
};

// What a worker keeps from file to file: the console whose output goes to
// each file in turn and whose messages go into the row, the output
// directory last entered, the source directory last opened, the row.
struct Worker {
    Console console;
    OutputTree tree;
    SourceDirectory sources;
    RescueRow row;
};

// root_fd is OUTDIR (-1 when it does not exist, with -n), root_name OUTDIR
// as given.
void worker_open(Worker& worker, int root_fd, const std::string& root_name);
void worker_close(Worker& worker);

// Does what the list's entry number index calls for and fills worker.row;
// its messages end up in the row's message, none on standard error.
void rescue_entry(const FileList& list, std::size_t index, const RescueSettings& settings, Worker& worker);

// Where a conversion goes, in the output directory the worker has entered.
struct OutputPlace {
    std::string base;  // the output's name in that directory
    std::string path;  // the output's path as rows and messages give it, OUTDIR included
    std::uint64_t number = 0;  // makes the temporary name unique within the run
    // NAME.partial is another source's output (blocked_by): damage keeps
    // nothing.
    bool partial_blocked = false;
    std::string blocked_by;
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
