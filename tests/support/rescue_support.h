// What the tests of unrms-rescue read back: the output tree, file by file,
// and the manifest, row by row.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "mixed_tree.h"
#include "run_tool.h"

inline std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every regular file below root by its path relative to root, with its
// bytes; a symbolic link as "-> TARGET".
inline std::map<std::string, std::string> tree_files(const std::string& root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).string();
        if (entry.is_symlink()) {
            files[name] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            files[name] = file_text(entry.path().string());
        }
    }
    return files;
}

inline std::vector<nlohmann::json> manifest_rows(const std::string& outdir) {
    std::vector<nlohmann::json> rows;
    std::istringstream lines(file_text(outdir + "/unrms-rescue.jsonl"));
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(nlohmann::json::parse(line));
    }
    return rows;
}

// The row of the given source; a failure when there is none.
inline nlohmann::json row_of(const std::vector<nlohmann::json>& rows, const std::string& source) {
    for (const nlohmann::json& row : rows) {
        if (row["source"] == source) return row;
    }
    ADD_FAILURE() << "no manifest row for " << source;
    return nlohmann::json::object();
}

inline void write_files(const std::string& root, const std::map<std::string, std::string>& files) {
    for (const auto& [name, content] : files) {
        const std::filesystem::path path = std::filesystem::path(root) / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
}

// Files 0 to count - 1 of the mixed tree of seed, written below root.
inline std::vector<rms::MixedFile> write_mixed_tree(const std::string& root, std::size_t count,
                                                    std::uint64_t seed = 1) {
    std::vector<rms::MixedFile> files;
    for (std::size_t i = 0; i < count; ++i) {
        files.push_back(rms::mixed_file(seed, i, 16));
        EXPECT_TRUE(rms::write_mixed_file(root, files.back()));
    }
    return files;
}

// A file of variable-length text records, and what rat=cr makes of it.
inline const std::vector<rms::Bytes>& text_records() {
    static const std::vector<rms::Bytes> records = [] {
        std::vector<rms::Bytes> lines;
        for (int i = 0; i < 30; ++i) lines.push_back(rms::bytes("$ WRITE SYS$OUTPUT \"line " + std::to_string(i) + "\""));
        return lines;
    }();
    return records;
}

inline std::string text_file() { return rms::text(rms::var_file(text_records())); }

inline std::string text_lines() {
    std::string out;
    for (const rms::Bytes& line : text_records()) out += rms::text(line) + "\n";
    return out;
}
