#include "detect/recognizer.h"

#include <cmath>

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

SquaredLimit SquaredLimit::of(double limit, int width, int height)
{
    SquaredLimit s{limit, 0, width < kSquaredLimitSide && height < kSquaredLimitSide};
    // Nothing exceeds a limit that is not a number, nor one beyond every
    // root below 2^25.5; every root exceeds a negative one.
    if (!(limit < 5e7)) {
        s.first = INT64_MAX;
        return s;
    }
    if (limit < 0) {
        return s;
    }
    s.first = static_cast<int64_t>(limit * limit);
    while (s.first > 0 && std::sqrt(static_cast<double>(s.first - 1)) > limit) {
        --s.first;
    }
    while (!(std::sqrt(static_cast<double>(s.first)) > limit)) {
        ++s.first;
    }
    return s;
}
