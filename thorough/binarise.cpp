// Local-mean binarisation. Uneven light moves a global threshold across a
// symbol; comparing each pixel with the mean of its neighbourhood does not
// care. The integral image is kept in 32-bit unsigned words: its totals
// wrap, but the difference of four of them is a window sum, which fits.
#include <algorithm>
#include <vector>

#include "thorough/prepare.h"
#include "thorough/samples.h"

std::vector<uint8_t> greyPlane(const PixelRows& in)
{
    std::vector<uint8_t> grey(static_cast<size_t>(in.width) * static_cast<size_t>(in.height));
    for (int y = 0; y < in.height; ++y) {
        const uint8_t* p = in.pixel(0, y);
        uint8_t* q = &grey[static_cast<size_t>(y) * static_cast<size_t>(in.width)];
        for (int x = 0; x < in.width; ++x, p += 3)
            q[x] = static_cast<uint8_t>(pictureGrey(p));
    }
    return grey;
}

void binariseSamples(const SampleRows& grey, int windowDivisor, int offsetPercent, const SampleOut& out)
{
    const int w = grey.width, h = grey.height;
    const size_t across = static_cast<size_t>(w) + 1;
    std::vector<uint32_t> sums(across * (static_cast<size_t>(h) + 1), 0);
    for (int y = 0; y < h; ++y) {
        const uint8_t* g = grey.row(y);
        uint32_t rowSum = 0;
        for (int x = 0; x < w; ++x) {
            rowSum += g[x];
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
        const uint32_t* top = &sums[static_cast<size_t>(y1) * across];
        const uint32_t* bottom = &sums[static_cast<size_t>(y0) * across];
        const uint64_t rows = static_cast<uint64_t>(y1 - y0);
        const uint8_t* g = grey.row(y);
        uint8_t* q = out.row(y);
        for (int x = 0; x < w; ++x, q += 3) {
            const int x0 = x - half < 0 ? 0 : x - half;
            const int x1 = x + half + 1 > w ? w : x + half + 1;
            const uint32_t sum = top[x1] - bottom[x1] - top[x0] + bottom[x0];
            const uint64_t area = static_cast<uint64_t>(x1 - x0) * rows;
            const uint8_t level = g[x] * area * 100 < sum * keep ? 0 : 255;
            q[0] = q[1] = q[2] = level;
        }
    }
}

bool binariseLocalMean(const PixelRows& in, int windowDivisor, int offsetPercent, Picture& out)
{
    if (!rowsUsable(in) || windowDivisor < 1 || offsetPercent < 0 || offsetPercent > 100 ||
        !makePicture(in.width, in.height, out))
        return false;
    const std::vector<uint8_t> grey = greyPlane(in);
    const SampleRows plane{grey.data(), in.width, in.height, static_cast<size_t>(in.width), 1};
    binariseSamples(plane, windowDivisor, offsetPercent, samplesOf(out));
    return true;
}

bool prepareLocalMean(const PixelRows& in, const LocalMeanRecipe& recipe, Picture& out)
{
    if (!rowsUsable(in) || recipe.numerator < 1 || recipe.denominator < 1 ||
        recipe.numerator > 64 || recipe.denominator > 64 || recipe.windowDivisor < 1 ||
        recipe.offsetPercent < 0 || recipe.offsetPercent > 100 || recipe.padPercent < 0)
        return false;
    const int64_t width = static_cast<int64_t>(in.width) * recipe.numerator / recipe.denominator;
    const int64_t height = static_cast<int64_t>(in.height) * recipe.numerator / recipe.denominator;
    const int64_t longer = width > height ? width : height;
    const int64_t border = (longer * recipe.padPercent + 50) / 100;
    if (width < 1 || height < 1 || (width + 2 * border) * (height + 2 * border) > kMaxPreparedPixels ||
        !makePicture(int32_t(width + 2 * border), int32_t(height + 2 * border), out))
        return false;
    std::vector<uint8_t> grey = greyPlane(in);
    if (recipe.blur) {
        std::vector<uint8_t> blurred(grey.size());
        const size_t w = static_cast<size_t>(in.width);
        blurSamples({grey.data(), in.width, in.height, w, 1}, {blurred.data(), in.width, in.height, w, 1});
        grey.swap(blurred);
    }
    std::vector<uint8_t> scaled(static_cast<size_t>(width) * static_cast<size_t>(height));
    scaleSamples({grey.data(), in.width, in.height, static_cast<size_t>(in.width), 1},
                 {scaled.data(), int(width), int(height), static_cast<size_t>(width), 1},
                 recipe.numerator, recipe.denominator);
    // The border is the light of a binarised picture.
    std::fill(out.pixels.begin(), out.pixels.end(), uint8_t(255));
    const int b = static_cast<int>(border);
    const SampleOut inner{out.pixel(b, b), int(width), int(height), static_cast<size_t>(out.stride), 3};
    binariseSamples({scaled.data(), int(width), int(height), static_cast<size_t>(width), 1},
                    recipe.windowDivisor, recipe.offsetPercent, inner);
    return true;
}
