// The prepared-picture record and the steps that only move or flip bytes.
#include "thorough/picture.h"

#include <cstring>

#include "frame/packed_frame.h"
#include "thorough/prepare.h"

bool rowsUsable(const PixelRows& in)
{
    return in.rows != nullptr && in.width > 0 && in.height > 0 && in.width <= in.stride / 3;
}

bool makePicture(int32_t width, int32_t height, Picture& out)
{
    if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > kMaxPreparedPixels)
        return false;
    out.width = width;
    out.height = height;
    out.stride = static_cast<int32_t>(frameStride(width));
    out.pixels.assign(static_cast<size_t>(out.stride) * static_cast<size_t>(height), 0);
    return true;
}

bool copyPicture(const PixelRows& in, Picture& out)
{
    if (!rowsUsable(in) || !makePicture(in.width, in.height, out))
        return false;
    for (int y = 0; y < in.height; ++y)
        std::memcpy(out.pixel(0, y), in.pixel(0, y), 3 * static_cast<size_t>(in.width));
    return true;
}

uint8_t lightTone(const PixelRows& in)
{
    int64_t histogram[256] = {};
    for (int y = 0; y < in.height; ++y) {
        const uint8_t* p = in.pixel(0, y);
        for (int x = 0; x < in.width; ++x, p += 3)
            ++histogram[pictureGrey(p)];
    }
    const int64_t tenth = static_cast<int64_t>(in.width) * in.height / 10;
    int64_t seen = 0;
    int level = 255;
    for (; level > 0; --level) {
        seen += histogram[level];
        if (seen > tenth)
            break;
    }
    return static_cast<uint8_t>(level);
}

bool transposePicture(const PixelRows& in, Picture& out)
{
    if (!rowsUsable(in) || !makePicture(in.height, in.width, out))
        return false;
    for (int y = 0; y < out.height; ++y) {
        uint8_t* q = out.pixel(0, y);
        for (int x = 0; x < out.width; ++x, q += 3)
            std::memcpy(q, in.pixel(y, x), 3);
    }
    return true;
}

bool invertPicture(const PixelRows& in, Picture& out)
{
    if (!copyPicture(in, out))
        return false;
    for (int y = 0; y < out.height; ++y) {
        uint8_t* q = out.pixel(0, y);
        for (int i = 0; i < 3 * out.width; ++i)
            q[i] = static_cast<uint8_t>(255 - q[i]);
    }
    return true;
}

bool padPicture(const PixelRows& in, int percent, Picture& out)
{
    if (!rowsUsable(in) || percent < 0)
        return false;
    const int longer = in.width > in.height ? in.width : in.height;
    const int64_t border = (static_cast<int64_t>(longer) * percent + 50) / 100;
    const int64_t width = in.width + 2 * border;
    const int64_t height = in.height + 2 * border;
    if (width * height > kMaxPreparedPixels || !makePicture(int32_t(width), int32_t(height), out))
        return false;
    const uint8_t tone = lightTone(in);
    std::memset(out.pixels.data(), tone, out.pixels.size());
    const int b = static_cast<int>(border);
    for (int y = 0; y < in.height; ++y)
        std::memcpy(out.pixel(b, y + b), in.pixel(0, y), 3 * static_cast<size_t>(in.width));
    return true;
}
