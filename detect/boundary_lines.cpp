// Orientation of the finder pattern, the two clock sides, the fourth corner
// and the two families of module boundary lines laid across the symbol.
#include <cmath>

#include "detect/recognizer.h"
#include "detect/run_model.h"

// The detector's value of 2 pi (the angle constants of detection all derive
// from this value, not from the full double-precision one).
static constexpr double kTwoPi = 6.283185307166;

void dropLeadingSliver(int* runLength, int* runDark, int& runCount)
{
    if (runCount < 1 || runDark[0] != 0 || runLength[0] > 2)
        return;
    for (int k = 1; k < runCount; ++k) {
        runLength[k - 1] = runLength[k];
        runDark[k - 1] = runDark[k];
    }
    --runCount;
}

void smoothRunLengths(int* runLength, int runCount)
{
    const double n = runCount;
    double sx = 0, sxx = 0, sy = 0, sxy = 0;
    for (int k = 0; k < runCount; ++k) {
        sx += k;
        sxx += double(k) * k;
        sy += runLength[k];
        sxy += double(k) * runLength[k];
    }
    const double dn = n * sxx - sx * sx;
    const double a = (sy * sxx - sxy * sx) / dn;
    const double b = (n * sxy - sy * sx) / dn;
    double fitted = 0;
    for (int k = 0; k < runCount; ++k)
        fitted += a + b * k;
    // The fit's residuals sum to zero, so the scale is 1 up to rounding.
    const double scale = sy / fitted;

    double c = a * scale;
    int previous = roundToInt(c);
    runLength[0] = previous;
    for (int k = 1; k < runCount; ++k) {
        const double m = a + b * k;
        const int p = roundToInt(c + m * scale);
        runLength[k] = p - previous;
        previous = p;
        c += m;
    }
}

// Direction of the vector from L to P in [0, 2 pi).
static double directionAngle(int xL, int yL, int xP, int yP)
{
    const double dx = xP - xL;
    const double dy = yP - yL;
    const double d = std::sqrt(dx * dx + dy * dy);
    double angle = std::acos(dx / d);
    if (dy / d > 0)
        angle = kTwoPi - angle;
    return angle;
}

// Makes the turn from A to B (modulo 2 pi) zero or at least half a turn,
// which puts row 0 of the grid along the clock track B-D and column 0 along
// the solid side L-B, as the ECC200 module placement expects.
static void fixHandedness(Recognizer& r)
{
    const int xL = r.extremeX[r.cornerL];
    const int yL = r.extremeY[r.cornerL];
    const double alpha = directionAngle(xL, yL, r.extremeX[r.cornerA], r.extremeY[r.cornerA]);
    const double beta = directionAngle(xL, yL, r.extremeX[r.cornerB], r.extremeY[r.cornerB]);
    if ((beta > alpha && alpha + kTwoPi - beta > beta - alpha) ||
        (beta < alpha && beta + kTwoPi - alpha < alpha - beta)) {
        const int swap = r.cornerA;
        r.cornerA = r.cornerB;
        r.cornerB = swap;
    }
}

// Lays the interior boundary lines of one family: line k runs from the
// clock side (anchor to D) to the solid side (L to far corner), both cut at
// the same fraction of the measured total. False when a line's two ends
// fall on one pixel (a collapsed outline), which defines no line.
static bool layLines(Recognizer& r, int anchor, int far, double xD, double yD,
                     double total, BoundaryLines& lines, int& count)
{
    const int xS = r.extremeX[anchor];
    const int yS = r.extremeY[anchor];
    const int xL = r.extremeX[r.cornerL];
    const int yL = r.extremeY[r.cornerL];
    const int xF = r.extremeX[far];
    const int yF = r.extremeY[far];
    int sum = 0;
    for (int k = 0; k + 1 < r.runCount; ++k) {
        sum += r.runLength[k];
        const double f = sum / total;
        lines.startX[k] = xS + roundToInt((xD - xS) * f);
        lines.startY[k] = yS + roundToInt((yD - yS) * f);
        lines.endX[k] = xL + roundToInt((xF - xL) * f);
        lines.endY[k] = yL + roundToInt((yF - yL) * f);
        if (lines.startX[k] == lines.endX[k] && lines.startY[k] == lines.endY[k])
            return false;
        lines.line[k] = lineThroughPoints(lines.startX[k], lines.startY[k],
                                          lines.endX[k], lines.endY[k]);
    }
    count = r.runCount - 1;
    return true;
}

// Measures the module runs along one clock side and lays that family of
// boundary lines. False when the runs cannot describe an ECC200 side: the
// fit needs two runs, and no symbol has more than 144 modules a side.
static bool measureFamily(Recognizer& r, Line clock, int anchor, int far, double xD,
                          double yD, BoundaryLines& lines, int& count)
{
    r.scanRuns(clock, anchor, far, xD, yD);
    dropLeadingSliver(r.runLength, r.runDark, r.runCount);
    if (r.runCount < 2 || r.runCount > kGridCapacity)
        return false;
    double total = 0;
    for (int k = 0; k < r.runCount; ++k)
        total += r.runLength[k];
    smoothRunLengths(r.runLength, r.runCount);
    return layLines(r, anchor, far, xD, yD, total, lines, count);
}

bool Recognizer::buildBoundaryLines(SymbolOutline& outline, DetectFlags flags)
{
    fixHandedness(*this);
    outline.sideA = lineThroughExtremes(cornerL, cornerA);
    outline.sideB = lineThroughExtremes(cornerL, cornerB);
    outline.clock1 = findClockSide(outline.sideA, cornerB, cornerA, flags);
    if (outline.clock1.tag == LINE_TAG_MISSING)
        return false;
    outline.clock2 = findClockSide(outline.sideB, cornerA, cornerB, flags);
    if (outline.clock2.tag == LINE_TAG_MISSING)
        return false;
    if (intersectLines(outline.clock1, outline.clock2, outline.xD, outline.yD) != 0)
        return false;
    if (!measureFamily(*this, outline.clock1, cornerB, cornerA, outline.xD, outline.yD,
                       columnLines, columnLineCount))
        return false;
    return measureFamily(*this, outline.clock2, cornerA, cornerB, outline.xD, outline.yD,
                         rowLines, rowLineCount);
}
