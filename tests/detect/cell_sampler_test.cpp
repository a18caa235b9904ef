#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>

#include "walk_canvas.h"

namespace {

Line rowLine(double y)
{
    return Line{3, LINE_Y_OF_X, 0.0, y};
}

Line columnLine(double x)
{
    return Line{3, LINE_X_OF_Y, 0.0, x};
}

// The square cell between rows lo..hi and columns lo..hi, its sides in
// the order top, left, bottom, right.
int sampleSquare(const WalkCanvas& c, double lo, double hi)
{
    return c.r->sampleCell(rowLine(lo), columnLine(hi), rowLine(hi), columnLine(lo));
}

}  // namespace

// Corners (10..20): the window shrinks by 3 on each side to 13..17, 25
// pixels; non-white wins only beyond 1.2 times the white count.
TEST(CellSampler, VotesOfTheMiddleWindow)
{
    struct Case {
        int nonWhite, white, red;
        int expected;
    };
    const Case cases[] = {
        {14, 11, 0, 1},  {13, 12, 0, 0},  {12, 10, 3, -1}, {13, 10, 2, 1},
        {11, 10, 4, 0},  {25, 0, 0, 1},   {0, 25, 0, 0},   {0, 0, 25, -1},
        {6, 5, 14, -1},
    };
    for (const Case& k : cases) {
        WalkCanvas c(40, 40);
        // Everything outside the window votes dark, and must not count.
        c.fill(0, 0, 0);
        int i = 0;
        for (int y = 13; y <= 17; ++y)
            for (int x = 13; x <= 17; ++x, ++i) {
                if (i < k.nonWhite)
                    c.set(x, y, 40, 200, 255);  // any colour but white is non-white
                else if (i < k.nonWhite + k.white)
                    c.light(x, y);
                else
                    c.red(x, y);
            }
        EXPECT_EQ(sampleSquare(c, 10, 20), k.expected)
            << k.nonWhite << "/" << k.white << "/" << k.red;
    }
}

// Which pixels the window holds: a single dark pixel in an otherwise
// red (ignored) image decides the cell exactly when it is inside.
TEST(CellSampler, WindowShrinksToTheMiddle)
{
    struct Case {
        double lo, hi;
        int inside[2];
        int outside[2];
    };
    const Case cases[] = {
        {10, 19, {12, 17}, {11, 18}},  // span 9: h = 2, six columns
        {10, 18, {12, 16}, {11, 17}},  // span 8: h = 2, five columns
        {10, 14, {10, 14}, {9, 15}},   // span 4: not shrunk
        {10, 15, {10, 15}, {9, 16}},   // span 5: h = 0
    };
    for (const Case& k : cases) {
        for (int column : k.inside) {
            WalkCanvas c(30, 30);
            c.fill(0, 0, 255);
            const int row = static_cast<int>(k.lo) + 2;
            c.dark(column, row);
            EXPECT_EQ(sampleSquare(c, k.lo, k.hi), 1) << k.lo << ".." << k.hi << " x=" << column;
            c.red(column, row);
            c.dark(row, column);  // the same along y
            EXPECT_EQ(sampleSquare(c, k.lo, k.hi), 1) << k.lo << ".." << k.hi << " y=" << column;
        }
        for (int column : k.outside) {
            WalkCanvas c(30, 30);
            c.fill(0, 0, 255);
            const int row = static_cast<int>(k.lo) + 2;
            c.dark(column, row);
            c.dark(row, column);
            EXPECT_EQ(sampleSquare(c, k.lo, k.hi), -1) << k.lo << ".." << k.hi << " " << column;
        }
    }
}

// A cell whose left side runs diagonally, x = y: the pixels right of the
// diagonal are outside the cell, those on it are inside.
TEST(CellSampler, OnlyPixelsBetweenOppositeSidesVote)
{
    WalkCanvas c(30, 30);
    int below = 0;
    for (int y = 10; y <= 14; ++y)
        for (int x = 10; x <= 14; ++x) {
            if (x == y)
                c.dark(x, y);  // on the line: counts
            else if (x < y)
                (below++ % 2 == 0) ? c.dark(x, y) : c.light(x, y);
            // x > y stays white and is outside.
        }
    // Inside: 5 on the diagonal and 5 of 10 below it dark, 5 white: dark.
    // Counting the 10 white pixels right of the diagonal would make it
    // light, and leaving out the diagonal too.
    const Line diagonal{3, LINE_X_OF_Y, 1.0, 0.0};
    EXPECT_EQ(c.r->sampleCell(rowLine(10), diagonal, rowLine(14), columnLine(10)), 1);
}

TEST(CellSampler, InvalidLinesAreUndecided)
{
    WalkCanvas c(40, 40);
    c.fill(0, 0, 0);
    ASSERT_EQ(sampleSquare(c, 10, 20), 1);
    Line bad = rowLine(10);
    for (int form : {101, -1, 1000}) {
        bad.form = form;
        EXPECT_EQ(c.r->sampleCell(bad, columnLine(20), rowLine(20), columnLine(10)), -1) << form;
        EXPECT_EQ(c.r->sampleCell(rowLine(10), columnLine(20), rowLine(20), bad), -1) << form;
    }
    // Neighbouring sides that do not cross: no corner, no vote.
    EXPECT_EQ(c.r->sampleCell(rowLine(10), rowLine(12), rowLine(20), columnLine(10)), -1);
}

TEST(CellSampler, PixelsOffTheImageDoNotVote)
{
    WalkCanvas c(10, 10);
    c.fill(0, 0, 0);
    // Window -2..2 by -2..2: only the 3 x 3 pixels inside the image vote.
    EXPECT_EQ(sampleSquare(c, -3, 3), 1);
    c.fill(255, 255, 255);
    EXPECT_EQ(sampleSquare(c, -3, 3), 0);
    // Window 8..12: columns and rows 8 and 9 only.
    c.dark(8, 8);
    c.dark(9, 8);
    c.dark(8, 9);
    EXPECT_EQ(sampleSquare(c, 8, 12), 1);  // 3 against 1
    // Entirely outside: nothing votes.
    EXPECT_EQ(sampleSquare(c, 20, 30), -1);
    // Corners beyond any int: the window still lies about the middle,
    // here over the white pixels next to the origin.
    EXPECT_EQ(sampleSquare(c, -1e12, 1e12), 0);
}

TEST(CellSampler, StagesEndInReverseOrder)
{
    WalkCanvas c(40, 40);
    TraceCapture trace;
    sampleSquare(c, 10, 20);
    ASSERT_EQ(trace.messages.size(), 6u);
    EXPECT_EQ(trace.messages[0], "OnM started...\n");
    EXPECT_EQ(trace.messages[1], "ONM 1 started...\n");
    EXPECT_EQ(trace.messages[2], "ONM Emd started...\n");
    EXPECT_EQ(trace.messages[3].rfind("ONM Emd processed in ", 0), 0u);
    EXPECT_EQ(trace.messages[4].rfind("ONM 1 processed in ", 0), 0u);
    EXPECT_EQ(trace.messages[5].rfind("OnM processed in ", 0), 0u);
}

namespace {

// The sampler written pixel by pixel, with its own copies of the rounding
// and crossing rules: what the randomized comparison holds the sampler to.
int plainRound(double x)
{
    if (x != x)
        return 0;
    if (x >= 2147483647.0)
        return INT_MAX;
    if (x <= -2147483648.0)
        return INT_MIN;
    const int t = static_cast<int>(x);
    return x + 0.5 > t + 1 ? static_cast<int>(x + 1) : t;
}

bool plainCorner(const Line& a, const Line& b, double& x, double& y)
{
    if (a.form == b.form) {
        if (std::fabs(a.slope - b.slope) < 0.0001)
            return false;
        const double along = (b.intercept - a.intercept) / (a.slope - b.slope);
        const double across = a.slope * along + a.intercept;
        x = a.form == LINE_Y_OF_X ? along : across;
        y = a.form == LINE_Y_OF_X ? across : along;
        return true;
    }
    if (std::fabs(1 - a.slope * b.slope) < 0.0001)
        return false;
    const double own = (a.slope * b.intercept + a.intercept) / (1 - a.slope * b.slope);
    const double other = b.slope * own + b.intercept;
    x = a.form == LINE_Y_OF_X ? other : own;
    y = a.form == LINE_Y_OF_X ? own : other;
    return true;
}

bool plainBetween(const Line& p, const Line& q, int64_t x, int64_t y)
{
    const auto known = [](int form) { return form == LINE_Y_OF_X || form == LINE_X_OF_Y; };
    if (!known(p.form) || !known(q.form))
        return true;
    const bool byX = p.form == LINE_Y_OF_X;
    const double t = static_cast<double>(byX ? x : y);
    const double w = static_cast<double>(byX ? y : x);
    const double u = p.slope * t + p.intercept;
    const double v = q.form == p.form ? q.slope * t + q.intercept : (t - q.intercept) / q.slope;
    return !((w > u && w > v) || (w < u && w < v));
}

std::string describe(const Line (&l)[4])
{
    std::ostringstream out;
    out << std::hexfloat;
    for (const Line& line : l)
        out << line.form << ": " << line.slope << ", " << line.intercept << "; ";
    return out.str();
}

int plainSample(const Recognizer& r, const Line (&l)[4])
{
    for (const Line& line : l)
        if (static_cast<unsigned>(line.form) > 100u)
            return -1;
    int64_t minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (int i = 0; i < 4; ++i) {
        double x = 0, y = 0;
        if (!plainCorner(l[i], l[(i + 1) % 4], x, y))
            return -1;
        const int64_t rx = plainRound(x), ry = plainRound(y);
        minX = i == 0 ? rx : std::min(minX, rx);
        maxX = i == 0 ? rx : std::max(maxX, rx);
        minY = i == 0 ? ry : std::min(minY, ry);
        maxY = i == 0 ? ry : std::max(maxY, ry);
    }
    const auto shrink = [](int64_t& lo, int64_t& hi) {
        const int64_t h = hi - lo > 4 ? (hi - lo - 4) / 2 : 0;
        lo += h;
        hi -= h;
    };
    shrink(minX, maxX);
    shrink(minY, maxY);
    int white = 0, nonWhite = 0;
    for (int64_t y = minY; y <= maxY; ++y)
        for (int64_t x = minX; x <= maxX; ++x) {
            if (!plainBetween(l[0], l[2], x, y) || !plainBetween(l[1], l[3], x, y))
                continue;
            if (x < 0 || y < 0 || x >= r.width || y >= r.height)
                continue;
            const uint8_t* p = r.pixels + y * r.stride + 3 * x;
            if (p[0] == 0 && p[1] == 0 && p[2] == 255)
                continue;
            (p[0] == 255 && p[1] == 255 && p[2] == 255) ? ++white : ++nonWhite;
        }
    return nonWhite < 1.2 * white ? 0 : nonWhite > 1.2 * white ? 1 : -1;
}

}  // namespace

// Random cells, mostly small and slanted, near and across the image's
// edges, with lines and colours at the awkward values: the sampler votes
// exactly as the pixel-by-pixel reference.
TEST(CellSampler, AgreesWithThePixelByPixelReference)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double odd[] = {std::nan(""), inf, -inf, 0.0, -0.0, 1e300, -1e300, 9.3e18, -9.3e18,
                          2147483647.0, -2147483648.5, 1e-300, 0.5, 1.0, -1.0, 2.0, 0.00005};
    const int oddForms[] = {0, 3, 100, 101, -1, INT_MIN};
    const uint8_t colours[][3] = {{255, 255, 255}, {0, 0, 255}, {0, 0, 0},    {255, 255, 254},
                                  {1, 0, 255},     {0, 1, 255}, {0, 0, 254}, {254, 255, 255}};
    std::mt19937_64 rng(20240611);
    const auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    const auto chance = [&](double p) { return uniform(0, 1) < p; };
    const auto below = [&](int n) { return static_cast<int>(rng() % static_cast<uint64_t>(n)); };
    int outcomes[3] = {};
    WalkCanvas c(1, 1);
    for (int n = 0; n < 40000; ++n) {
        const int width = chance(0.1) ? 1 + below(3) : 1 + below(20);
        const int height = chance(0.1) ? 1 + below(3) : 1 + below(20);
        c.resize(width, height);
        // Mostly white against non-white near the 1.2 balance; sometimes
        // all red but a dark and a light pixel near the cell, which decide
        // by whether they are inside.
        const bool probe = chance(0.3);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t* k = colours[probe ? 1 : chance(0.35) ? 0 : below(8)];
                if (chance(0.05))
                    c.set(x, y, static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                          static_cast<uint8_t>(rng()));
                else
                    c.set(x, y, k[0], k[1], k[2]);
            }
        // A cell about (cx, cy), its sides top, right, bottom, left, each
        // through a point of its side, slanted and in either form; corners
        // on whole or half pixels at times, so limits fall on pixels.
        const double cx = uniform(-2, width + 2), cy = uniform(-2, height + 2);
        const double half = uniform(0.3, 5);
        if (probe) {
            const auto near = [&](double centre, int size) {
                return std::clamp(static_cast<int>(centre + uniform(-half, half)), 0, size - 1);
            };
            c.dark(near(cx, width), near(cy, height));
            c.light(near(cx, width), near(cy, height));
        }
        const double grain = chance(0.3) ? 2 : chance(0.3) ? 4 : 0;
        const auto snap = [&](double v) { return grain > 0 ? std::round(v * grain) / grain : v; };
        Line l[4];
        for (int i = 0; i < 4; ++i) {
            const bool horizontal = i % 2 == 0;
            const double px = snap(cx + (i == 1 ? half : i == 3 ? -half : 0));
            const double py = snap(cy + (i == 0 ? -half : i == 2 ? half : 0));
            if (chance(0.4)) {
                // As the detector draws them: through two points, here on
                // half pixels and a few whole pixels apart.
                const double x = std::round(px * 2) / 2, y = std::round(py * 2) / 2;
                const double along = 1 + below(6), across = below(13) - 6;
                l[i] = horizontal ? lineThroughPoints(x, y, x + along, y + across)
                                  : lineThroughPoints(x, y, x + across, y + along);
                continue;
            }
            double slope = chance(0.2) ? 0 : snap(uniform(-1.2, 1.2));
            bool own = chance(0.8);  // the form that keeps the slope small
            if (!own && slope == 0)
                slope = snap(uniform(0.1, 1.2));
            l[i].tag = 3;
            l[i].form = horizontal == own ? LINE_Y_OF_X : LINE_X_OF_Y;
            l[i].slope = own ? slope : 1 / slope;
            l[i].intercept = l[i].form == LINE_Y_OF_X ? py - l[i].slope * px : px - l[i].slope * py;
        }
        // A side written in the other form, so that opposite sides differ.
        if (chance(0.3)) {
            Line& m = l[below(4)];
            if (m.slope != 0)
                m = Line{3, 3 - m.form, 1 / m.slope, -m.intercept / m.slope};
        }
        // Nearly parallel neighbours, about the limit of 0.0001.
        if (chance(0.1)) {
            const int i = below(4);
            Line& m = l[(i + 1) % 4];
            const double gap =
                0.0001 * (chance(0.5) ? 1 : 1 + uniform(-1e-9, 1e-9)) * (chance(0.5) ? 1 : -1);
            m.form = l[i].form;
            m.slope = l[i].slope + gap;
            if (chance(0.5) && l[i].slope != 0) {
                m.form = 3 - l[i].form;
                m.slope = (1 - gap) / l[i].slope;
            }
        }
        for (Line& line : l) {
            if (chance(0.06))
                line.slope = odd[below(17)];
            if (chance(0.06))
                line.intercept = odd[below(17)];
            if (chance(0.03))
                line.form = oddForms[below(6)];
        }
        const int expected = plainSample(*c.r, l);
        ASSERT_EQ(c.r->sampleCell(l[0], l[1], l[2], l[3]), expected)
            << "case " << n << ", " << width << " x " << height << ", lines " << describe(l);
        ++outcomes[expected + 1];
    }
    // Every outcome is reached often, so the cases do not all fall off the
    // image or apart.
    for (int count : outcomes)
        EXPECT_GT(count, 4000) << outcomes[0] << " " << outcomes[1] << " " << outcomes[2];
}

// One probe pixel in a window of otherwise red pixels, at every place of
// windows of 1 to 6 columns and rows that start anywhere in a row and end
// anywhere up to the image's last row and column (8 pixels wide, the last
// row ends the buffer with no padding): the probe alone decides, so each
// pixel's colour is read whole and in its own place, and nothing around
// the window (white, then dark) counts.
TEST(CellSampler, EveryPixelOfEveryWindowPlaceIsReadWhole)
{
    struct Probe {
        uint8_t blue, green, red;
        int expected;
    };
    const Probe probes[] = {
        {255, 255, 255, 0}, {0, 0, 255, -1}, {0, 0, 0, 1},       {255, 255, 254, 1},
        {254, 255, 255, 1}, {255, 254, 255, 1}, {0, 0, 254, 1},  {1, 0, 255, 1},
        {0, 1, 255, 1},     {255, 0, 255, 1},   {0, 255, 255, 1}, {255, 255, 0, 1},
    };
    constexpr int kHeight = 8;
    for (int width : {6, 7, 8, 9, 11}) {
        WalkCanvas c(width, kHeight);
        for (int nx = 1; nx <= 6; ++nx)
            for (int ny = 1; ny <= 6; ++ny)
                for (int left = 0; left + nx <= width; ++left)
                    for (int top : {0, kHeight - 1 - ny, kHeight - ny}) {
                        const Line sides[4] = {rowLine(top), columnLine(left + nx - 1),
                                               rowLine(top + ny - 1), columnLine(left)};
                        for (int outside : {255, 0}) {
                            c.fill(static_cast<uint8_t>(outside), static_cast<uint8_t>(outside),
                                   static_cast<uint8_t>(outside));
                            for (int y = top; y < top + ny; ++y)
                                for (int x = left; x < left + nx; ++x)
                                    c.red(x, y);
                            for (int at = 0; at < nx * ny; ++at) {
                                const int x = left + at % nx, y = top + at / nx;
                                for (const Probe& p : probes) {
                                    c.set(x, y, p.blue, p.green, p.red);
                                    ASSERT_EQ(c.r->sampleCell(sides[0], sides[1], sides[2], sides[3]),
                                              p.expected)
                                        << width << " wide, window " << nx << " x " << ny << " at "
                                        << left << "," << top << ", probe at " << x << "," << y
                                        << " colour " << int{p.blue} << "," << int{p.green} << ","
                                        << int{p.red} << ", outside " << outside;
                                }
                                c.red(x, y);
                            }
                        }
                    }
    }
}
