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
    const int step = startMajor < endMajor ? 1 : -1;
    // The image's fields in locals: the painted pixels and probes cannot
    // change them.
    const int w = width;
    const int h = height;
    const size_t rowBytes = static_cast<size_t>(stride);
    uint8_t* const image = pixels;
    // A start that is not a number paints nothing.
    int n = startMajor == startMajor ? 0 : kProbeCapacity;
    int painted = 0;
    for (int t = truncateToInt(startMajor), x0 = 0, y0 = 0; n < kProbeCapacity; ++n, t += step) {
        const int minor = roundToInt(line.slope * t + line.intercept);
        const int x = alongY ? minor : t;
        const int y = alongY ? t : minor;
        probeX[n] = x;
        probeY[n] = y;
        if (y < 0 || x < 0 || y >= h || x >= w)
            break;
        if (n == 0) {
            x0 = x;
            y0 = y;
        }
        // Both ends lie in the image.
        if (reach.beyond(x - x0, y - y0))
            break;
        uint8_t* pixel = image + static_cast<size_t>(y) * rowBytes + 3u * static_cast<size_t>(x);
        pixel[0] = 0;
        pixel[1] = 0;
        pixel[2] = 255;
        painted = n + 1;
    }
    probeCount = painted;
    StageTimer endMarker("DLO End");
}
