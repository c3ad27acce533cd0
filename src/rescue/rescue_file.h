// One entry of the list, rescued: its attributes settled from the sidecar
// beside it or by the probe, its records copied into the output tree, and
// what happened written into a manifest row.
#pragma once

#include <cstddef>
#include <string>

#include "platform/console.h"
#include "rescue/manifest.h"
#include "rescue/output_tree.h"

struct FileList;

struct RescueSettings {
    bool force = false;  // -f: replace existing outputs
    bool plan = false;   // -n: settle the attributes, write nothing
};

// What a worker keeps from file to file: the console whose output goes to
// each file in turn and whose messages go into the row, the output
// directory last entered, the row.
struct Worker {
    Console console;
    OutputTree tree;
    RescueRow row;
};

// root_fd is OUTDIR (-1 when it does not exist, with -n), root_name OUTDIR
// as given.
void worker_open(Worker& worker, int root_fd, const std::string& root_name);
void worker_close(Worker& worker);

// Does what the list's entry number index calls for and fills worker.row;
// its messages end up in the row's message, none on standard error.
void rescue_entry(const FileList& list, std::size_t index, const RescueSettings& settings, Worker& worker);
