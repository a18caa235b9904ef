#include "tools/scan/grid_file.h"

#include <filesystem>
#include <fstream>
#include <sstream>

// The longest possible well-formed file is 144 rows of 144 "-1," cells
// with CR LF and some blanks; anything far beyond that is not a grid.
static constexpr std::streamoff kMaxGridFileBytes = 1 << 20;

static bool isBlank(char c) { return c == ' ' || c == '\t'; }

static std::string trimmed(const std::string& s) {
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && isBlank(s[begin])) ++begin;
    while (end > begin && isBlank(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

static std::string printable(const std::string& s) {
    std::string out;
    for (char c : s.substr(0, 20)) {
        unsigned char u = static_cast<unsigned char>(c);
        out += (u >= 32 && u < 127) ? c : '?';
    }
    return s.size() > 20 ? out + "..." : out;
}

static bool parseCell(const std::string& field, uint8_t& cell) {
    if (field == "1") cell = 1;
    else if (field == "0") cell = 0;
    else if (field == "-1") cell = 255;
    else return false;
    return true;
}

// One line of cells; a single trailing comma closes the last cell.
static bool parseRow(const std::string& line, int row, std::vector<uint8_t>& cells,
                     std::string& error) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : line) {
        if (c == ',') {
            fields.push_back(trimmed(field));
            field.clear();
        } else {
            field += c;
        }
    }
    field = trimmed(field);
    if (!field.empty() || fields.empty()) fields.push_back(field);
    for (size_t i = 0; i < fields.size(); ++i) {
        uint8_t cell = 0;
        if (!parseCell(fields[i], cell)) {
            error = "row " + std::to_string(row + 1) + ", column " + std::to_string(i + 1) +
                    ": '" + printable(fields[i]) + "' is not a cell value (1, 0 or -1)";
            return false;
        }
        cells.push_back(cell);
    }
    return true;
}

static std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    while (!lines.empty() && trimmed(lines.back()).empty()) lines.pop_back();
    return lines;
}

bool parseGridText(const std::string& text, ModuleGridFile& grid, std::string& error) {
    std::vector<std::string> lines = splitLines(text);
    if (lines.empty()) {
        error = "no grid rows (empty file)";
        return false;
    }
    if (lines.size() > static_cast<size_t>(kMaxGridSide)) {
        error = std::to_string(lines.size()) + " rows; a grid has at most " +
                std::to_string(kMaxGridSide);
        return false;
    }
    std::vector<uint8_t> cells;
    size_t cols = 0;
    for (size_t r = 0; r < lines.size(); ++r) {
        if (trimmed(lines[r]).empty()) {
            error = "row " + std::to_string(r + 1) + " is empty";
            return false;
        }
        size_t before = cells.size();
        if (!parseRow(lines[r], static_cast<int>(r), cells, error)) return false;
        size_t count = cells.size() - before;
        if (r == 0) cols = count;
        if (count > static_cast<size_t>(kMaxGridSide)) {
            error = "row " + std::to_string(r + 1) + " has " + std::to_string(count) +
                    " cells; a grid has at most " + std::to_string(kMaxGridSide);
            return false;
        }
        if (count != cols) {
            error = "ragged grid: row " + std::to_string(r + 1) + " has " +
                    std::to_string(count) + " cells, row 1 has " + std::to_string(cols);
            return false;
        }
    }
    grid.rows = static_cast<int>(lines.size());
    grid.cols = static_cast<int>(cols);
    grid.cells = std::move(cells);
    return true;
}

bool readGridFile(const std::string& path, ModuleGridFile& grid, std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = "is a directory";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open";
        return false;
    }
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) {
        error = "cannot read";
        return false;
    }
    if (size > kMaxGridFileBytes) {
        error = "too large for a grid file (" + std::to_string(size) + " bytes)";
        return false;
    }
    in.seekg(0, std::ios::beg);
    std::string text(static_cast<size_t>(size), '\0');
    if (size > 0 && !in.read(&text[0], size)) {
        error = "cannot read";
        return false;
    }
    return parseGridText(text, grid, error);
}
