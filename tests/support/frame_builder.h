// Small 24-bit frames for detector tests: bottom-up rows of blue, green,
// red bytes, each row padded to a multiple of 4 bytes, and a Recognizer
// set up on a copy the way the recognition attempt sets it up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "detect/recognizer.h"
#include "frame/packed_frame.h"

namespace frame_builder {

struct Frame {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<uint8_t> pixels;  // stride * height

    uint8_t* pixel(int x, int y) { return &pixels[size_t(y) * size_t(stride) + 3 * size_t(x)]; }
    void set(int x, int y, uint8_t blue, uint8_t green, uint8_t red);
    void setGrey(int x, int y, uint8_t value) { set(x, y, value, value, value); }
};

// A frame of one colour; the row padding is filled with 0xEE so that a
// reader of padding bytes shows up.
Frame solidFrame(int width, int height, uint8_t blue, uint8_t green, uint8_t red);

// A frame from text rows, rows[0] being buffer row 0: `dark` characters
// become 0, 0, 0 and every other character 255, 255, 255. Rows may differ in
// length; the frame is as wide as the longest.
Frame frameFromRows(const std::vector<std::string>& rows, char dark = '#');

// A heap Recognizer owning a copy of the frame (pixels from new[],
// ownsPixels = 1).
std::unique_ptr<Recognizer> makeRecognizer(const Frame& frame);

// The working image's first bytes as text rows, row 0 first: '.' 255,
// '#' 0, 'e' EDGE_MARK, 't' TRACED_MARK, '?' anything else.
std::vector<std::string> classRows(const Recognizer& recognizer);

}  // namespace frame_builder
