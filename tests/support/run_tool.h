// Runs the built unrms as a user would and captures what it produced.
#pragma once

#include <string>
#include <vector>

struct ToolResult {
    std::string out;  // standard output, or both streams with merge_streams
    std::string err;
    int status = -1;  // exit status; 128 + signal number when killed
};

struct ToolRun {
    explicit ToolRun(std::vector<std::string> words, std::string stdin_text = "")
        : args(std::move(words)), input(std::move(stdin_text)) {}

    std::vector<std::string> args;  // the words after the program path
    std::string input;              // standard input
    bool merge_streams = false;     // 2>&1: both streams into out, in order
    std::string stdout_path;        // when set, standard output goes to this file
    std::string program = UNRMS_BINARY;
};

ToolResult run_tool(const ToolRun& run);

inline ToolResult run_unrms(std::vector<std::string> args, std::string input = "") {
    return run_tool(ToolRun(std::move(args), std::move(input)));
}

inline ToolResult run_unrms_probe(std::vector<std::string> args) {
    ToolRun run(std::move(args));
    run.program = UNRMS_PROBE_BINARY;
    return run_tool(run);
}

inline ToolResult run_unrms_rescue(std::vector<std::string> args) {
    ToolRun run(std::move(args));
    run.program = UNRMS_RESCUE_BINARY;
    return run_tool(run);
}

// Writes file into a fresh directory and runs unrms on it with the given
// options and the attributes on standard input ("-a -").
ToolResult run_on_file(const std::vector<unsigned char>& file, const std::string& attributes,
                       std::vector<std::string> options = {});

// A directory that lives as long as the object; files written into it are
// removed with it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path(const std::string& name) const { return root_ + "/" + name; }
    std::string write(const std::string& name, const std::string& content) const;
    std::string write(const std::string& name, const std::vector<unsigned char>& content) const;

private:
    std::string root_;
};
