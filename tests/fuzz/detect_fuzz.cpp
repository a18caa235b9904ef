// Detection and decoding (one recognition attempt) on small frames of any
// content: any width and height up to 400 pixels, rows padded as the camera
// pads them.
//
// Input: width (2 bytes), height (2 bytes), cell size, options, then one
// byte per cell (grey) or three (blue, green, red); a cell is a square of
// cell-size pixels, so that a short input still paints a large frame.
// Cells past the end of the input are white.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frame/packed_frame.h"
#include "recognition/picture_reading.h"
#include "recognition/recognition.h"

namespace {

constexpr int kMaxSide = 400;
constexpr size_t kHeaderSize = 6;

struct Painter {
    const uint8_t* cells;
    size_t cellBytes;
    int cellSize;
    int cellsPerRow;
    bool colour;

    void paint(int x, int y, uint8_t* pixel) const {
        const size_t cell = size_t(y / cellSize) * size_t(cellsPerRow) + size_t(x / cellSize);
        const size_t at = colour ? 3 * cell : cell;
        for (int channel = 0; channel < 3; ++channel) {
            const size_t index = colour ? at + size_t(channel) : at;
            pixel[channel] = index < cellBytes ? cells[index] : 255;
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderSize) {
        return 0;
    }
    const int width = 1 + (data[0] | data[1] << 8) % kMaxSide;
    const int height = 1 + (data[2] | data[3] << 8) % kMaxSide;
    const int cellSize = 1 + data[4] % 8;
    const int kind = data[5] % kAttemptKinds;
    const bool colour = (data[5] & 0x10) != 0;
    const uint8_t padding = data[5];
    const Painter painter{data + kHeaderSize, size - kHeaderSize, cellSize,
                          (width + cellSize - 1) / cellSize, colour};

    // The packed frame, exactly as large as it needs to be; the picture's
    // top row is the buffer's last.
    const int64_t stride = frameStride(width);
    std::vector<uint8_t> frame(size_t(packedFrameSize(width, height)), padding);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = frame.data() + kFrameHeaderSize + size_t(height - 1 - y) * size_t(stride);
        for (int x = 0; x < width; ++x) {
            painter.paint(x, y, row + 3 * x);
        }
    }

    PictureView picture;
    picture.rows = frame.data() + kFrameHeaderSize;
    picture.width = width;
    picture.height = height;
    picture.stride = int32_t(stride);
    AttemptSettings settings;
    settings.kind = kind;
    const AttemptReading attempt = readPictureOnce(picture, settings);
    if (attempt.reading.decoded && attempt.reading.bytes.size() >= size_t(kDecodedTextCapacity)) {
        std::abort();
    }
    return 0;
}
