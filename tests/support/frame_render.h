// Test frames: Data Matrix module grids from an independent encoder (zint),
// rendered into 24-bit bottom-up frames at a chosen module size, position
// and angle, and read back through the detector and the decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ecc200/ecc200.h"
#include "recognition/recognition.h"
#include "tests/support/frame_builder.h"

namespace frame_render {

// Row 0 is the top row of the symbol (the clock track), column 0 its solid
// left edge; a cell is 1 for a dark module.
struct ModuleGrid {
    int rows = 0;
    int cols = 0;
    std::vector<uint8_t> dark;

    bool at(int r, int c) const { return dark[size_t(r) * size_t(cols) + size_t(c)] != 0; }
};

// Encodes text at a fixed ECC200 size with `zint -b 71 --vers=N --dump`.
// False when zint fails or its dump does not have the size asked for.
bool encodeWithZint(int rows, int cols, const std::string& text, ModuleGrid& grid);

// zint's --vers number of an ECC200 size (1..24 square, 25..30 rectangular),
// or 0 when rows x cols is not an ECC200 size.
int zintVersion(int rows, int cols);

// A frame as the camera delivers it: blue-green-red, rows padded to a
// multiple of 4 bytes, bottom row of the picture first.
using frame_builder::Frame;

Frame uniformFrame(int width, int height, uint8_t grey);

// Pseudo-random grey noise (deterministic for a seed).
Frame noiseFrame(int width, int height, uint32_t seed);

// Placement of the symbol in picture coordinates (x right, y down from the
// top of the picture): centre, module size in pixels and a turn in degrees
// (counter-clockwise as seen in the picture).
struct Placement {
    double centerX = 0;
    double centerY = 0;
    double moduleSize = 8;
    double angleDegrees = 0;
};

// Light background, dark modules; nearest-neighbour sampling of the turned
// grid at every pixel centre.
Frame renderFrame(int width, int height, const ModuleGrid& grid, const Placement& at);

// True when the turned symbol with a quiet zone of `quietModules` modules
// lies inside the frame.
bool fitsInFrame(int width, int height, const ModuleGrid& grid, const Placement& at,
                 double quietModules);

struct ReadOutcome {
    bool found = false;      // some flag word yielded a grid
    unsigned flags = 0;      // the flag word that did
    int gridRows = 0;
    int gridCols = 0;
    DecodeStatus status = DecodeStatus::SizeNotInTable;
    std::string text;        // decoded text when status is Ok
    // When that grid did not decode: the text that a later flag word's grid
    // decoded to (as a second attempt of the recognition cycle would), else
    // empty.
    std::string laterText;
};

// Runs detect with each attempt flag word in turn on a fresh copy of the
// frame until one yields a grid, then decodes that grid. If that fails,
// goes on with the remaining flag words for laterText.
ReadOutcome readFrame(const Frame& frame);

}  // namespace frame_render
