// How straight a traced outline runs between two of its extreme points: the
// mean perpendicular distance from the segment to the nearest traced pixel,
// one sample per pixel step along the segment's major axis.
#include "detect/recognizer.h"

#include <cmath>

#include "detect/image_access.h"
#include "recognition/stage_timer.h"

namespace {

// Returned for a side that cannot be measured; above the straightness limit.
constexpr double kUnmeasurable = 5.5;
// Minor-axis offsets tried at each step, nearest first, minus before plus.
constexpr int kTryCount = 13;
constexpr int kTryOffsets[kTryCount] = {0, -1, 1, -2, 2, -3, 3, -4, 4, -5, 5, -6, 6};

bool tracedAt(const Recognizer& r, int x, int y)
{
    return insideImage(r, x, y) && pixelAt(r, x, y)[0] == TRACED_MARK;
}

}  // namespace

double Recognizer::edgeDeviation(int i, int j) const
{
    StageTimer stage("RecogLine");
    if (i == j || i < 0 || j < 0 || i >= kExtremeCount || j >= kExtremeCount) {
        return kUnmeasurable;
    }
    const int xi = extremeX[i];
    const int yi = extremeY[i];
    const int dx = extremeX[j] - xi;
    const int dy = extremeY[j] - yi;
    if (dx == 0 && dy == 0) {
        return kUnmeasurable;
    }
    // Step along the longer axis, so every step meets the outline once; a
    // 45-degree side steps along x.
    const bool alongY = std::abs(dy) > std::abs(dx);
    const double slope = alongY ? static_cast<double>(dx) / dy : static_cast<double>(dy) / dx;
    const double intercept = alongY ? xi - slope * yi : yi - slope * xi;
    const int from = alongY ? yi : xi;
    const int to = alongY ? extremeY[j] : extremeX[j];
    const int first = from < to ? from : to;
    const int last = from < to ? to : from;

    // The same root at every step.
    const double norm = std::sqrt(slope * slope + 1);
    double sum = 0;
    int steps = 0;
    for (int t = first; t <= last; ++t) {
        ++steps;
        const double m = intercept + slope * t;
        const int base = static_cast<int>(m);
        int k = 0;
        for (; k < kTryCount; ++k) {
            const int c = base + kTryOffsets[k];
            if (alongY ? tracedAt(*this, c, t) : tracedAt(*this, t, c)) {
                sum += absValue(c - m) / norm;
                break;
            }
        }
        if (k == kTryCount) {
            return kUnmeasurable;
        }
    }
    const double deviation = sum / steps;
    { StageTimer marker("RecogLine End"); }
    return deviation;
}
