// Uncompressed 24-bit BMP files, read into the layout of a camera frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A frame as the camera delivers it: blue, green, red bytes per pixel,
// rows of `stride` bytes (width x 3 rounded up to a multiple of 4), the
// bottom row of the picture first.
struct Frame {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<uint8_t> pixels;  // stride x height bytes
};

constexpr int kMaxFrameSide = 16384;

// Accepts BITMAPINFOHEADER files (and the larger V4/V5 headers that extend
// it) with 24 bits per pixel and no compression, stored bottom-up or
// top-down. On failure returns false with the reason in `error`.
bool parseBmp(const std::vector<uint8_t>& file, Frame& frame, std::string& error);

bool readBmpFile(const std::string& path, Frame& frame, std::string& error);
