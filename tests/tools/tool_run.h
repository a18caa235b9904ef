// Running the built tessaread-scan from a test: a fresh temporary folder
// per test, the command's output, error output and exit status.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace tool_run {

namespace fs = std::filesystem;

inline const std::string kTool = TESSAREAD_BINARY_DIR "/tools/tessaread-scan";
inline const std::string kSamples = TESSAREAD_SOURCE_DIR "/samples/grids/";
inline const std::string kFrames = TESSAREAD_SOURCE_DIR "/samples/frames/";

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::string> lines() const { return splitLines(out); }
    std::vector<std::string> errorLines() const { return splitLines(err); }
};

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

class ScanTool : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device seed;
        dir_ = fs::temp_directory_path() / ("tessaread-scan-test-" + std::to_string(seed()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    fs::path file(const std::string& name) const { return dir_ / name; }

    ToolRun run(const std::string& arguments) const {
        ToolRun r;
        const fs::path err = dir_ / "stderr.txt";
        const std::string command = "'" + kTool + "' " + arguments + " 2>'" + err.string() + "'";
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return r;
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
        const int wait = pclose(pipe);
        r.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
        r.err = readFile(err);
        return r;
    }

    fs::path dir_;
};

}  // namespace tool_run
