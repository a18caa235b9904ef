// Bilinear scaling in one pass. Positions are kept in units of
// 1 / (2 * numerator) of a source pixel, so every weight is an exact
// integer and every build computes the same bytes.
#include <vector>

#include "thorough/prepare.h"
#include "thorough/samples.h"

namespace {

struct Tap {
    int first;   // the lower source pixel
    int second;  // the upper one (the same at the far edge)
    int weight;  // of the upper one, out of 2 * numerator
};

// Output pixel centre i + 1/2 maps to source (i + 1/2) * d / n, whose
// offset from the centre of source pixel 0 is ((2i + 1) d - n) / 2n.
std::vector<Tap> makeTaps(int outSize, int inSize, int numerator, int denominator)
{
    const int64_t unit = 2 * static_cast<int64_t>(numerator);
    const int64_t last = unit * (inSize - 1);
    std::vector<Tap> taps(static_cast<size_t>(outSize));
    for (int i = 0; i < outSize; ++i) {
        int64_t p = (2 * static_cast<int64_t>(i) + 1) * denominator - numerator;
        p = p < 0 ? 0 : (p > last ? last : p);
        Tap& t = taps[static_cast<size_t>(i)];
        t.first = static_cast<int>(p / unit);
        t.weight = static_cast<int>(p % unit);
        t.second = t.first + 1 < inSize ? t.first + 1 : t.first;
    }
    return taps;
}

}  // namespace

void scaleSamples(const SampleRows& in, const SampleOut& out, int numerator, int denominator)
{
    const std::vector<Tap> columns = makeTaps(out.width, in.width, numerator, denominator);
    const std::vector<Tap> rows = makeTaps(out.height, in.height, numerator, denominator);
    const int unit = 2 * numerator;
    const int whole = unit * unit;
    const int n = in.channels;
    for (int y = 0; y < out.height; ++y) {
        const Tap& r = rows[static_cast<size_t>(y)];
        const uint8_t* lower = in.row(r.first);
        const uint8_t* upper = in.row(r.second);
        uint8_t* q = out.row(y);
        for (int x = 0; x < out.width; ++x) {
            const Tap& c = columns[static_cast<size_t>(x)];
            const uint8_t* a = lower + n * c.first;
            const uint8_t* b = lower + n * c.second;
            const uint8_t* d = upper + n * c.first;
            const uint8_t* e = upper + n * c.second;
            for (int k = 0; k < n; ++k, ++q) {
                const int bottom = a[k] * (unit - c.weight) + b[k] * c.weight;
                const int top = d[k] * (unit - c.weight) + e[k] * c.weight;
                *q = static_cast<uint8_t>((bottom * (unit - r.weight) + top * r.weight + whole / 2) / whole);
            }
        }
    }
}

bool scalePicture(const PixelRows& in, int numerator, int denominator, Picture& out)
{
    if (!rowsUsable(in) || numerator < 1 || denominator < 1 || numerator > 64 || denominator > 64)
        return false;
    const int64_t width = static_cast<int64_t>(in.width) * numerator / denominator;
    const int64_t height = static_cast<int64_t>(in.height) * numerator / denominator;
    if (width < 1 || height < 1 || width * height > kMaxPreparedPixels ||
        !makePicture(int32_t(width), int32_t(height), out))
        return false;
    scaleSamples(samplesOf(in), samplesOf(out), numerator, denominator);
    return true;
}
