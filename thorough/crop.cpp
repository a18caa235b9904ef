// Cropping a finder candidate: nearby text, a second symbol or a dark
// surround can join the symbol's outline in the binarised picture. Keeping
// only the candidate's parallelogram, a little grown, and lighting the rest
// cuts those away.
#include <cmath>
#include <cstring>

#include "thorough/prepare.h"

bool cropParallelogram(const PixelRows& in, const Parallelogram& shape, int growPercent,
                       Picture& out)
{
    if (!rowsUsable(in) || growPercent < 0 || growPercent > 100)
        return false;
    const double ax = shape.x[1] - shape.x[0], ay = shape.y[1] - shape.y[0];
    const double bx = shape.x[2] - shape.x[0], by = shape.y[2] - shape.y[0];
    const double det = ax * by - ay * bx;
    if (std::fabs(det) < 1)
        return false;
    // Growing about the centre by g widens the parallelogram's own
    // coordinates from [0, 1] to [-g/2, 1 + g/2].
    const double margin = growPercent / 200.0;
    const double lo = -margin, hi = 1 + margin;
    double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
    for (int corner = 0; corner < 4; ++corner) {
        const double u = (corner & 1) ? hi : lo;
        const double v = (corner & 2) ? hi : lo;
        const double x = shape.x[0] + u * ax + v * bx;
        const double y = shape.y[0] + u * ay + v * by;
        minX = x < minX ? x : minX;
        maxX = x > maxX ? x : maxX;
        minY = y < minY ? y : minY;
        maxY = y > maxY ? y : maxY;
    }
    const double left = std::floor(minX), bottom = std::floor(minY);
    const double width = std::ceil(maxX) - left + 1, height = std::ceil(maxY) - bottom + 1;
    if (width * height > static_cast<double>(kMaxPreparedPixels) ||
        !makePicture(static_cast<int32_t>(width), static_cast<int32_t>(height), out))
        return false;
    const uint8_t tone = lightTone(in);
    std::memset(out.pixels.data(), tone, out.pixels.size());
    const int x0 = static_cast<int>(left), y0 = static_cast<int>(bottom);
    for (int y = 0; y < out.height; ++y) {
        const int sy = y0 + y;
        if (sy < 0 || sy >= in.height)
            continue;
        const double dy = sy - shape.y[0];
        for (int x = 0; x < out.width; ++x) {
            const int sx = x0 + x;
            if (sx < 0 || sx >= in.width)
                continue;
            const double dx = sx - shape.x[0];
            const double u = (dx * by - dy * bx) / det;
            const double v = (ax * dy - ay * dx) / det;
            if (u >= lo && u <= hi && v >= lo && v <= hi)
                std::memcpy(out.pixel(x, y), in.pixel(sx, sy), 3);
        }
    }
    return true;
}
