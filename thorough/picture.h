// Pictures the thorough reader prepares: owned copies in the frame layout
// (blue-green-red, bottom row first, rows padded to a multiple of 4 bytes)
// made by single-pass operations from another picture. Every operation
// leaves its input alone and refuses (false) a result that would exceed
// kMaxPreparedPixels or an input it cannot walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Prepared pictures stay below this many pixels: a 4x enlargement of a
// 1024 x 1024 picture still fits, and no step needs more memory than a few
// hundred megabytes.
constexpr int64_t kMaxPreparedPixels = 4096LL * 4096LL;

// Pixel rows that someone else owns, in the frame layout.
struct PixelRows {
    const uint8_t* rows = nullptr;  // first byte of the bottom row
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;  // bytes per row, at least 3 * width

    const uint8_t* pixel(int x, int y) const
    {
        return rows + static_cast<size_t>(y) * static_cast<size_t>(stride) + 3 * static_cast<size_t>(x);
    }
};

struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    std::vector<uint8_t> pixels;  // stride * height

    PixelRows rows() const { return {pixels.data(), width, height, stride}; }
    uint8_t* pixel(int x, int y)
    {
        return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(stride) + 3 * static_cast<size_t>(x);
    }
};

// True when the rows can be walked: positive size, rows long enough.
bool rowsUsable(const PixelRows& in);

// Sizes `out` to width x height (contents zero); false beyond the cap.
bool makePicture(int32_t width, int32_t height, Picture& out);

bool copyPicture(const PixelRows& in, Picture& out);

// Grey level of a pixel in integer weights close to the detector's
// (0.707 green, 0.222 blue, 0.071 red), 0..255.
inline int pictureGrey(const uint8_t* p)
{
    return (57 * p[0] + 181 * p[1] + 18 * p[2] + 128) >> 8;
}

// The picture's light tone: the grey level that a tenth of its pixels
// reach or exceed. Padding and masking in this tone add no edge of their
// own next to a light background.
uint8_t lightTone(const PixelRows& in);
