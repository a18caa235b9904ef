// A light Gaussian blur (sigma about 0.8): it closes the gaps that print
// texture and sensor noise leave inside modules before they are enlarged.
#include <vector>

#include "thorough/prepare.h"
#include "thorough/samples.h"

namespace {

// exp(-k^2 / (2 * 0.8^2)) for k = 0, 1, 2, scaled to sum to 256.
constexpr int kTaps[5] = {6, 58, 128, 58, 6};

int clampIndex(int i, int size)
{
    return i < 0 ? 0 : (i >= size ? size - 1 : i);
}

}  // namespace

void blurSamples(const SampleRows& in, const SampleOut& out)
{
    const int w = in.width, h = in.height, n = in.channels;
    const size_t rowValues = static_cast<size_t>(n) * static_cast<size_t>(w);
    // Horizontal pass, kept at 256 times the value so that the vertical
    // pass rounds only once.
    std::vector<uint16_t> across(rowValues * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = in.row(y);
        uint16_t* q = &across[y * rowValues];
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < n; ++k) {
                int sum = 0;
                for (int t = 0; t < 5; ++t)
                    sum += kTaps[t] * row[n * clampIndex(x + t - 2, w) + k];
                q[n * x + k] = static_cast<uint16_t>(sum);
            }
    }
    for (int y = 0; y < h; ++y) {
        const uint16_t* rows[5];
        for (int t = 0; t < 5; ++t)
            rows[t] = &across[clampIndex(y + t - 2, h) * rowValues];
        uint8_t* q = out.row(y);
        for (size_t i = 0; i < rowValues; ++i) {
            int sum = 0;
            for (int t = 0; t < 5; ++t)
                sum += kTaps[t] * rows[t][i];
            q[i] = static_cast<uint8_t>((sum + 32768) >> 16);
        }
    }
}

bool blurPicture(const PixelRows& in, Picture& out)
{
    if (!rowsUsable(in) || !makePicture(in.width, in.height, out))
        return false;
    blurSamples(samplesOf(in), samplesOf(out));
    return true;
}
