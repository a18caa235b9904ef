// Local-mean binarisation. Uneven light moves a global threshold across a
// symbol; comparing each pixel with the mean of its neighbourhood does not
// care. The integral image is kept in 32-bit unsigned words: its totals
// wrap, but the difference of four of them is a window sum, which fits.
#include <vector>

#include "thorough/prepare.h"

bool binariseLocalMean(const PixelRows& in, int windowDivisor, int offsetPercent, Picture& out)
{
    if (!rowsUsable(in) || windowDivisor < 1 || offsetPercent < 0 || offsetPercent > 100 ||
        !makePicture(in.width, in.height, out))
        return false;
    const int w = in.width, h = in.height;
    const size_t across = static_cast<size_t>(w) + 1;
    std::vector<uint32_t> sums(across * (static_cast<size_t>(h) + 1), 0);
    std::vector<uint8_t> grey(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
        const uint8_t* p = in.pixel(0, y);
        uint32_t rowSum = 0;
        for (int x = 0; x < w; ++x, p += 3) {
            const uint8_t g = static_cast<uint8_t>(pictureGrey(p));
            grey[static_cast<size_t>(y) * w + x] = g;
            rowSum += g;
            sums[(y + 1) * across + x + 1] = sums[y * across + x + 1] + rowSum;
        }
    }
    const int shorter = w < h ? w : h;
    int side = shorter / windowDivisor;
    side = (side < 3 ? 3 : side) | 1;
    const int half = side / 2;
    const uint64_t keep = static_cast<uint64_t>(100 - offsetPercent);
    for (int y = 0; y < h; ++y) {
        const int y0 = y - half < 0 ? 0 : y - half;
        const int y1 = y + half + 1 > h ? h : y + half + 1;
        uint8_t* q = out.pixel(0, y);
        for (int x = 0; x < w; ++x, q += 3) {
            const int x0 = x - half < 0 ? 0 : x - half;
            const int x1 = x + half + 1 > w ? w : x + half + 1;
            const uint32_t sum = sums[y1 * across + x1] - sums[y0 * across + x1] -
                                 sums[y1 * across + x0] + sums[y0 * across + x0];
            const uint64_t area = static_cast<uint64_t>(x1 - x0) * static_cast<uint64_t>(y1 - y0);
            const bool dark = grey[static_cast<size_t>(y) * w + x] * area * 100 < sum * keep;
            q[0] = q[1] = q[2] = dark ? 0 : 255;
        }
    }
    return true;
}
