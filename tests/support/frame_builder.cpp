#include "tests/support/frame_builder.h"

#include <algorithm>
#include <cstring>

namespace frame_builder {

void Frame::set(int x, int y, uint8_t blue, uint8_t green, uint8_t red)
{
    uint8_t* p = pixel(x, y);
    p[0] = blue;
    p[1] = green;
    p[2] = red;
}

Frame solidFrame(int width, int height, uint8_t blue, uint8_t green, uint8_t red)
{
    Frame frame;
    frame.width = width;
    frame.height = height;
    frame.stride = int(frameStride(width));
    frame.pixels.assign(size_t(frame.stride) * size_t(height), 0xEE);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            frame.set(x, y, blue, green, red);
        }
    }
    return frame;
}

Frame frameFromRows(const std::vector<std::string>& rows, char dark)
{
    size_t width = 0;
    for (const std::string& row : rows) {
        width = std::max(width, row.size());
    }
    Frame frame = solidFrame(int(width), int(rows.size()), 255, 255, 255);
    for (size_t y = 0; y < rows.size(); ++y) {
        for (size_t x = 0; x < rows[y].size(); ++x) {
            if (rows[y][x] == dark) {
                frame.setGrey(int(x), int(y), 0);
            }
        }
    }
    return frame;
}

std::unique_ptr<Recognizer> makeRecognizer(const Frame& frame)
{
    auto recognizer = std::make_unique<Recognizer>();
    recognizer->width = frame.width;
    recognizer->height = frame.height;
    recognizer->stride = frame.stride;
    recognizer->pixels = new uint8_t[frame.pixels.size() + 1];
    std::memcpy(recognizer->pixels, frame.pixels.data(), frame.pixels.size());
    recognizer->ownsPixels = 1;
    return recognizer;
}

std::vector<std::string> classRows(const Recognizer& r)
{
    std::vector<std::string> rows;
    for (int y = 0; y < r.height; ++y) {
        std::string row;
        for (int x = 0; x < r.width; ++x) {
            switch (r.pixels[size_t(y) * size_t(r.stride) + 3 * size_t(x)]) {
            case 255: row += '.'; break;
            case 0: row += '#'; break;
            case EDGE_MARK: row += 'e'; break;
            case TRACED_MARK: row += 't'; break;
            default: row += '?'; break;
            }
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace frame_builder
