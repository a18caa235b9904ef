// Paints one line pure red into the working image, so that the written
// picture shows the found geometry and the cell sampler leaves the line's
// own pixels out of its votes.
#include <climits>
#include <cmath>

#include "detect/recognizer.h"
#include "recognition/stage_timer.h"

namespace {

// Truncation toward zero that saturates instead of converting a value no
// int holds; a saturated start lies outside every image.
int truncateToInt(double v)
{
    if (v >= 2147483647.0)
        return INT_MAX;
    if (v <= -2147483648.0)
        return INT_MIN;
    return static_cast<int>(v);
}

}  // namespace

void Recognizer::paintLine(Line line, double startX, double startY, double endX, double endY)
{
    StageTimer timer("DLO");
    const bool alongY = line.form == LINE_X_OF_Y;
    const double startMajor = alongY ? startY : startX;
    const double endMajor = alongY ? endY : endX;
    const double limit = std::sqrt((endY - startY) * (endY - startY) + (endX - startX) * (endX - startX));
    const SquaredLimit reach = SquaredLimit::of(limit, width, height);
    runCount = 0;
    probeCount = 0;
    const int step = startMajor < endMajor ? 1 : -1;
    // A start that is not a number paints nothing.
    int n = startMajor == startMajor ? 0 : kProbeCapacity;
    for (int t = truncateToInt(startMajor); n < kProbeCapacity; ++n, t += step) {
        const int minor = roundToInt(line.slope * t + line.intercept);
        const int x = alongY ? minor : t;
        const int y = alongY ? t : minor;
        probeX[n] = x;
        probeY[n] = y;
        if (y < 0 || x < 0 || y >= height || x >= width)
            break;
        // Both ends lie in the image.
        if (reach.beyond(x - probeX[0], y - probeY[0]))
            break;
        uint8_t* pixel = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride) + 3u * static_cast<size_t>(x);
        pixel[0] = 0;
        pixel[1] = 0;
        pixel[2] = 255;
        probeCount = n + 1;
    }
    StageTimer endMarker("DLO End");
}
