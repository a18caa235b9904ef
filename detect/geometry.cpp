#include "detect/recognizer.h"

#include <climits>

int roundToInt(double x)
{
    // Far-away intersections can produce values no int holds; saturate
    // rather than convert out of range.
    if (x != x) {
        return 0;
    }
    if (x >= 2147483647.0) {
        return INT_MAX;
    }
    if (x <= -2147483648.0) {
        return INT_MIN;
    }
    int t = static_cast<int>(x);
    // Halves go down for x >= 0; negative values simply truncate.
    if (x + 0.5 > t + 1) {
        return static_cast<int>(x + 1);
    }
    return t;
}

double absValue(double x)
{
    return x < 0 ? -x : x;
}

Line lineThroughPoints(double x1, double y1, double x2, double y2)
{
    Line line{};
    line.tag = 3;
    // Keep |slope| <= 1 so that steep and flat lines are equally well
    // conditioned.
    if (absValue(y1 - y2) <= absValue(x1 - x2)) {
        line.form = LINE_Y_OF_X;
        line.slope = (y2 - y1) / (x2 - x1);
        line.intercept = y1 - line.slope * x1;
    } else {
        line.form = LINE_X_OF_Y;
        line.slope = (x2 - x1) / (y2 - y1);
        line.intercept = x1 - line.slope * y1;
    }
    return line;
}

int intersectLines(Line first, Line second, double& x, double& y)
{
    constexpr double kParallel = 0.0001;
    const double s1 = first.slope;
    const double c1 = first.intercept;
    const double s2 = second.slope;
    const double c2 = second.intercept;
    if (first.form == second.form) {
        if (absValue(s1 - s2) < kParallel) {
            return 1;
        }
        const double along = (c2 - c1) / (s1 - s2);
        const double across = s1 * along + c1;
        if (first.form == LINE_Y_OF_X) {
            x = along;
            y = across;
        } else {
            y = along;
            x = across;
        }
        return 0;
    }
    if (absValue(1 - s1 * s2) < kParallel) {
        return 1;
    }
    // The first line's own variable is found first, the second line then
    // gives the other coordinate.
    const double own = (s1 * c2 + c1) / (1 - s1 * s2);
    if (first.form == LINE_Y_OF_X) {
        y = own;
        x = s2 * y + c2;
    } else {
        x = own;
        y = s2 * x + c2;
    }
    return 0;
}

Line Recognizer::lineThroughExtremes(int a, int b) const
{
    const int n = contourLength;
    int tag;
    if (a > b) {
        tag = (a - b) >= n - (a - b) ? 2 : 1;
    } else {
        tag = (b - a) < n - (b - a) ? 2 : 1;
    }
    Line line = lineThroughPoints(extremeX[a], extremeY[a], extremeX[b], extremeY[b]);
    line.tag = tag;
    return line;
}
