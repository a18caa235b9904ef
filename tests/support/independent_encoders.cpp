#include "tests/support/independent_encoders.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace independent {

// clang-format off
const SymbolSize kSymbolSizes[30] = {
    { 10,  10,    3}, { 12,  12,    5}, { 14,  14,    8}, { 16,  16,   12},
    { 18,  18,   18}, { 20,  20,   22}, { 22,  22,   30}, { 24,  24,   36},
    { 26,  26,   44}, { 32,  32,   62}, { 36,  36,   86}, { 40,  40,  114},
    { 44,  44,  144}, { 48,  48,  174}, { 52,  52,  204}, { 64,  64,  280},
    { 72,  72,  368}, { 80,  80,  456}, { 88,  88,  576}, { 96,  96,  696},
    {104, 104,  816}, {120, 120, 1050}, {132, 132, 1304}, {144, 144, 1558},
    {  8,  18,    5}, {  8,  32,   10}, { 12,  26,   16}, { 12,  36,   22},
    { 16,  36,   32}, { 16,  48,   49},
};
// clang-format on

namespace fs = std::filesystem;

// A scratch folder for one encoder run: the data goes in as a file (so
// that every byte value reaches the encoder unchanged) and the encoder's
// complaints come back in another.
class ScratchFiles {
public:
    ScratchFiles() {
        std::random_device seed;
        dir_ = fs::temp_directory_path() /
               ("tessaread-enc-" + std::to_string(seed()) + "-" + std::to_string(seed()));
        fs::create_directories(dir_);
    }
    ~ScratchFiles() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    ScratchFiles(const ScratchFiles&) = delete;
    ScratchFiles& operator=(const ScratchFiles&) = delete;
    std::string path(const char* name) const { return (dir_ / name).string(); }

private:
    fs::path dir_;
};

static std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

static std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs `command` with its standard output captured; true on exit status 0.
static bool runCapture(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    return pclose(pipe) == 0;
}

static bool runEncoder(const std::string& commandHead, const std::string& data,
                       std::string& output, std::string& error) {
    ScratchFiles scratch;
    const std::string input = scratch.path("data");
    const std::string messages = scratch.path("stderr");
    std::ofstream(input, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
    const std::string command = commandHead + " " + quoted(input) + " 2>" + quoted(messages);
    if (runCapture(command, output)) return true;
    error = readWhole(messages);
    while (!error.empty() && (error.back() == '\n' || error.back() == '\r')) error.pop_back();
    if (error.empty()) error = "command failed: " + commandHead;
    return false;
}

bool ProgramAvailable(const std::string& program) {
    std::string ignored;
    return runCapture("command -v " + quoted(program) + " >/dev/null 2>&1", ignored);
}

bool ParseDmtxPreview(const std::string& art, EncodedSymbol& symbol) {
    std::vector<std::string> rows;
    std::istringstream in(art);
    std::string line;
    symbol.dataCodewords.clear();
    while (std::getline(in, line)) {
        if (line.find('X') != std::string::npos) rows.push_back(line);
        if (line.size() > 2 && line.compare(0, 2, "d:") == 0) symbol.dataCodewords.push_back(std::atoi(line.c_str() + 2));
    }
    if (rows.empty()) return false;
    // The bottom row is all dark, so it fixes the margin and the width.
    const std::string& bottom = rows.back();
    const size_t margin = bottom.find('X');
    const size_t cols = (bottom.size() - margin) / 2;
    symbol.rows = static_cast<int>(rows.size());
    symbol.cols = static_cast<int>(cols);
    symbol.modules.assign(rows.size() * cols, 0);
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < cols; ++c) {
            const size_t at = margin + 2 * c;
            symbol.modules[r * cols + c] = at < rows[r].size() && rows[r][at] == 'X' ? 1 : 0;
        }
    }
    return true;
}

static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool ParseZintDump(const std::string& dump, int cols, EncodedSymbol& symbol) {
    std::istringstream in(dump);
    std::string line;
    symbol.rows = 0;
    symbol.cols = cols;
    symbol.modules.clear();
    while (std::getline(in, line)) {
        std::vector<uint8_t> bits;
        for (char c : line) {
            if (c == ' ' || c == '\r') continue;
            const int v = hexValue(c);
            if (v < 0) return false;
            for (int b = 3; b >= 0; --b) bits.push_back(static_cast<uint8_t>((v >> b) & 1));
        }
        if (bits.empty()) continue;
        if (bits.size() < static_cast<size_t>(cols)) return false;
        symbol.modules.insert(symbol.modules.end(), bits.begin(), bits.begin() + cols);
        ++symbol.rows;
    }
    return symbol.rows > 0;
}

static bool checkSize(const EncodedSymbol& symbol, int rows, int cols, std::string& error) {
    if (symbol.rows == rows && symbol.cols == cols) return true;
    error = "encoder made " + std::to_string(symbol.rows) + "x" + std::to_string(symbol.cols) +
            ", asked for " + std::to_string(rows) + "x" + std::to_string(cols);
    return false;
}

bool EncodeWithDmtxwrite(const std::string& data, char encodation, const SymbolSize& size,
                         EncodedSymbol& symbol, std::string& error) {
    const std::string head = std::string("dmtxwrite -p -c -e ") + encodation + " -s " +
                             std::to_string(size.rows) + "x" + std::to_string(size.cols);
    std::string art;
    if (!runEncoder(head, data, art, error)) return false;
    if (!ParseDmtxPreview(art, symbol)) {
        error = "no symbol in dmtxwrite's preview";
        return false;
    }
    return checkSize(symbol, size.rows, size.cols, error);
}

bool EncodeWithZint(const std::string& data, int version, bool fast, EncodedSymbol& symbol,
                    std::string& error) {
    if (version < 1 || version > 30) {
        error = "no such zint version";
        return false;
    }
    const SymbolSize& size = kSymbolSizes[version - 1];
    const std::string head = "zint -b 71 --binary --dump --vers=" + std::to_string(version) +
                             (fast ? " --fast" : "") + " -i";
    std::string dump;
    if (!runEncoder(head, data, dump, error)) return false;
    if (!ParseZintDump(dump, size.cols, symbol)) {
        error = "unreadable zint dump";
        return false;
    }
    return checkSize(symbol, size.rows, size.cols, error);
}

}  // namespace independent

namespace independent {

bool EncodeWithZintOptions(const std::string& data, const std::string& options, EncodedSymbol& symbol,
                           std::string& error) {
    std::string dump;
    const std::string head = "zint -b 71 --dump --square " + options;
    // zint takes segments only with the first one's data on the command line.
    if (options.find("--seg") != std::string::npos) {
        if (!runCapture(head + " -d " + quoted(data) + " 2>/dev/null", dump)) {
            error = "zint refused " + options;
            return false;
        }
    } else if (!runEncoder(head + " -i", data, dump, error)) {
        return false;
    }
    // A square symbol has as many columns as the dump has rows.
    int rows = 0;
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);) rows += line.find_first_not_of(" \r") != std::string::npos;
    if (!ParseZintDump(dump, rows, symbol)) {
        error = "unreadable zint dump";
        return false;
    }
    return true;
}

}  // namespace independent
