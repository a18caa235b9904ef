// Module grids in the text form of the detector's grid dump: one symbol
// row per line, each cell written as "%d," (1 dark, 0 light, -1
// undecided).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ModuleGridFile {
    int rows = 0;
    int cols = 0;
    std::vector<uint8_t> cells;  // rows x cols, row-major; 1, 0 or 255
};

// The detector never samples more than this many rows or columns.
constexpr int kMaxGridSide = 144;

// Parses the text of a grid file. Tolerates a missing trailing comma, CR
// LF line ends, blanks around values and blank lines at the end. On
// failure returns false and describes the first fault in `error`.
bool parseGridText(const std::string& text, ModuleGridFile& grid, std::string& error);

// Reads and parses a grid file; `error` names no file, the caller does.
bool readGridFile(const std::string& path, ModuleGridFile& grid, std::string& error);
