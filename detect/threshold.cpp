// Threshold choice, binarisation and boundary marking: the first phase of
// detection. One global threshold, chosen from a grey histogram or from the
// mean brightness, turns every pixel pure light or pure dark.
#include "detect/recognizer.h"

#include "detect/image_access.h"

namespace {

constexpr int kBins = 256;
// Valley depth and zigzag limit, as fractions of the tallest bin.
constexpr double kPeakFraction = 0.3;
constexpr int kDarkerOffset = 30;
constexpr int kLoweredAbove = 60;
constexpr int kLoweredBy = 40;
constexpr int kRaisedBelow = 230;
constexpr int kRaisedBy = 10;

bool usesHistogram(DetectFlags flags)
{
    return (flags & (DETECT_HIST_VALLEY | DETECT_HIST_VALLEY_DARKER)) != 0;
}

// Luma-like weighting of the camera's blue-green-red bytes,
// 0.707 green + 0.222 blue + 0.071 red. The products come from tables made
// at compile time and are added in that order, so every pixel gets exactly
// the double the formula gives, for a fraction of its cost.
struct GreyWeights {
    double green[kBins];
    double blue[kBins];
    double red[kBins];
};

constexpr GreyWeights makeGreyWeights()
{
    GreyWeights w{};
    for (int v = 0; v < kBins; ++v) {
        w.green[v] = 0.707 * v;
        w.blue[v] = 0.222 * v;
        w.red[v] = 0.071 * v;
    }
    return w;
}

constexpr GreyWeights kGreyWeights = makeGreyWeights();

inline double greyValue(const uint8_t* pixel)
{
    return kGreyWeights.green[pixel[1]] + kGreyWeights.blue[pixel[0]] +
           kGreyWeights.red[pixel[2]];
}

void buildHistogram(const Recognizer& r, int* histogram)
{
    for (int y = 0; y < r.height; ++y) {
        const uint8_t* p = pixelAt(r, 0, y);
        for (int x = 0; x < r.width; ++x, p += 3) {
            const int bin = static_cast<int>(greyValue(p));
            histogram[bin > kBins - 1 ? kBins - 1 : bin] += 1;
        }
    }
}

// One pass in place: a bin that zigzags against both neighbours' trends by
// less than a third of the peak is levelled, so that noise does not fake a
// valley.
void smoothHistogram(int* h, int peak)
{
    const double limit = kPeakFraction * peak;
    for (int m = 2; m <= kBins - 2; ++m) {
        const int d1 = h[m - 1] - h[m - 2];
        const int d2 = h[m] - h[m - 1];
        const int d3 = h[m + 1] - h[m];
        const bool zigzag = (d2 >= 0 && d1 < 0 && d3 < 0) || (d2 < 0 && d1 >= 0 && d3 >= 0);
        if (zigzag && absValue(d2) < limit) {
            h[m] = (h[m - 1] + h[m + 1]) / 2;
        }
    }
}

// From the bright end: reach the light peak, leave it, and stop at the
// first bin that rises again. -1 when there is no such bin.
int findValley(const int* h, int peak)
{
    const double level = kPeakFraction * peak;
    int phase = 0;
    for (int j = kBins - 1; j >= 0; --j) {
        if (phase == 0) {
            if (h[j] > level) {
                phase = 1;
            }
        } else if (phase == 1) {
            if (h[j] < level) {
                phase = 2;
            }
        } else if (h[j] > h[j + 1]) {
            return j;
        }
    }
    return -1;
}

int histogramThreshold(const Recognizer& r, DetectFlags flags)
{
    int histogram[kBins] = {};
    if (imageUsable(r)) {
        buildHistogram(r, histogram);
    }
    int peak = 0;
    for (int bin : histogram) {
        peak = bin > peak ? bin : peak;
    }
    smoothHistogram(histogram, peak);
    int t = findValley(histogram, peak);
    if ((flags & DETECT_HIST_VALLEY_DARKER) != 0) {
        t -= kDarkerOffset;
    }
    return t < 0 ? 0 : t;
}

// Mean over all pixels of the largest of the three bytes, truncated.
int meanBrightness(const Recognizer& r)
{
    if (!imageUsable(r)) {
        return 0;
    }
    unsigned long long sum = 0;
    for (int y = 0; y < r.height; ++y) {
        const uint8_t* p = pixelAt(r, 0, y);
        for (int x = 0; x < r.width; ++x, p += 3) {
            uint8_t brightest = p[0] > p[1] ? p[0] : p[1];
            sum += brightest > p[2] ? brightest : p[2];
        }
    }
    const double count = static_cast<double>(r.width) * static_cast<double>(r.height);
    return static_cast<int>(static_cast<double>(sum) / count);
}

inline void setClass(uint8_t* pixel, bool light)
{
    const uint8_t value = light ? 255 : 0;
    pixel[0] = value;
    pixel[1] = value;
    pixel[2] = value;
}

void classifyRow(uint8_t* p, int width, int threshold, bool byGrey)
{
    if (byGrey) {
        for (int x = 0; x < width; ++x, p += 3) {
            setClass(p, greyValue(p) > threshold);
        }
        return;
    }
    for (int x = 0; x < width; ++x, p += 3) {
        setClass(p, p[0] > threshold || p[1] > threshold || p[2] > threshold);
    }
}

// Marks the dark pixels of one row that have a light 4-neighbour inside
// the image; `above` and `below` are the neighbouring rows, or null at the
// image's edges.
void markRow(uint8_t* row, const uint8_t* above, const uint8_t* below, int width)
{
    for (int x = 0; x < width; ++x) {
        uint8_t* p = row + 3 * x;
        // A mark made earlier in this pass holds 128, not 255, so it never
        // marks a neighbour in turn.
        if (p[0] == 255) {
            continue;
        }
        const bool touches = (above != nullptr && above[3 * x] == 255) ||
                             (below != nullptr && below[3 * x] == 255) ||
                             (x > 0 && p[-3] == 255) || (x + 1 < width && p[3] == 255);
        if (touches) {
            p[0] = EDGE_MARK;
            p[1] = 0;
            p[2] = 0;
        }
    }
}

}  // namespace

void Recognizer::chooseThreshold(int fixedThreshold, DetectFlags flags)
{
    if (usesHistogram(flags)) {
        threshold = histogramThreshold(*this, flags);
        return;
    }
    const bool lowered = (flags & DETECT_MEAN_LOWERED) != 0;
    const bool raised = (flags & DETECT_MEAN_RAISED) != 0;
    const int mean = (lowered || raised) ? meanBrightness(*this) : 0;
    threshold = fixedThreshold;
    if (lowered) {
        threshold = mean > kLoweredAbove ? mean - kLoweredBy : mean;
    }
    if (raised) {
        threshold = mean < kRaisedBelow ? mean + kRaisedBy : mean;
    }
}

void Recognizer::classifyPixels(DetectFlags flags)
{
    if (!imageUsable(*this)) {
        return;
    }
    const bool byGrey = usesHistogram(flags);
    for (int y = 0; y < height; ++y) {
        classifyRow(pixelAt(*this, 0, y), width, threshold, byGrey);
    }
}

void Recognizer::markBoundaries()
{
    if (!imageUsable(*this)) {
        return;
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* above = y > 0 ? pixelAt(*this, 0, y - 1) : nullptr;
        const uint8_t* below = y + 1 < height ? pixelAt(*this, 0, y + 1) : nullptr;
        markRow(pixelAt(*this, 0, y), above, below, width);
    }
}
