#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "detect/clock_side.h"
#include "walk_canvas.h"

namespace {

constexpr double kDeg = kDetectorPi / 180.0;

Line horizontal(int tag = 1)
{
    return Line{tag, LINE_Y_OF_X, 0.0, 0.0};
}

// The geometry of the worked example: corner (10, 10), target (60, 10),
// anchor (10, 50), the solid side horizontal.
enum { kCorner = 0, kTarget = 1, kAnchor = 2 };
void exampleCorners(WalkCanvas& c)
{
    c.extreme(kCorner, 10, 10);
    c.extreme(kTarget, 60, 10);
    c.extreme(kAnchor, 10, 50);
    c.r->cornerL = kCorner;
}

// The probe angles in degrees, in pass order, as the debug log gives them.
std::vector<double> loggedAngles(const LogDirectory& log)
{
    std::vector<double> angles;
    int expectedPass = 0;
    for (const std::string& text : log.texts()) {
        double degrees, q;
        int pass, runs, light, dark;
        // The walk header has the same shape but starts with an integer.
        const bool passLine = text.find('.') < text.find("--");
        if (passLine && std::sscanf(text.c_str(), "%lf--%d--%d--%lf--%d--%d:", &degrees, &pass,
                                    &runs, &q, &light, &dark) == 6) {
            EXPECT_EQ(pass, expectedPass++);
            angles.push_back(degrees);
        }
    }
    return angles;
}

void expectAngles(const std::vector<double>& actual, const std::vector<double>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], 0.0006) << "pass " << i;
}

}  // namespace

TEST(ClockSide, AngleConstantsComeFromTheDetectorsPi)
{
    EXPECT_EQ(kClockFan, 0.6108652381966944);
    EXPECT_EQ(kBisectionFloor, 0.008726646259952777);
    EXPECT_EQ(kSweepStep, 0.004363323129976389);
}

TEST(SideWalk, ExampleStartsOnePixelInsideAndStopsBeyondTheReach)
{
    WalkCanvas c(100, 100);
    exampleCorners(c);
    EXPECT_EQ(c.r->walkSide(horizontal(), kAnchor, kTarget, 50.0), WALK_REACHED);
    ASSERT_EQ(c.r->probeCount, 51);
    for (int i = 0; i < 51; ++i) {
        EXPECT_EQ(c.r->probeX[i], 10 + i);
        EXPECT_EQ(c.r->probeY[i], 49);
    }
    // The point that ended the walk is kept beyond the count.
    EXPECT_EQ(c.r->probeX[51], 61);
    ASSERT_EQ(c.r->runCount, 1);
    EXPECT_EQ(c.r->runLength[0], 51);
    EXPECT_EQ(c.r->runDark[0], 0);
}

TEST(SideWalk, StartPointAndDirection)
{
    struct Case {
        int form;
        int xa, ya, xc, yc, xd, yd;
        int startX, startY, step;
    };
    const Case cases[] = {
        // Form 1: one row towards the corner, x moved by the corner's ratio.
        {1, 10, 50, 20, 60, 60, 60, 11, 51, +1},
        {1, 10, 50, 30, 10, 60, 10, 9, 49, +1},   // 10 + (-0.5), added, truncated
        {1, 10, 50, 40, 50, 0, 50, 10, 49, -1},   // same row: straight below
        {1, 50, 50, 40, 10, 40, 10, 50, 49, -1},  // 50 + (-10/-40) = 50.25
        // Form 2: one column towards the corner, y moved by the ratio.
        {2, 50, 10, 50, 40, 50, 90, 49, 10, +1},  // same column: straight left
        {2, 10, 50, 40, 20, 40, 0, 11, 49, -1},
        {2, 50, 10, 10, 13, 10, 60, 49, 9, +1},   // 10 + 3/(-40), truncated
    };
    for (const Case& k : cases) {
        WalkCanvas c(100, 100);
        c.extreme(0, k.xc, k.yc);
        c.extreme(1, k.xd, k.yd);
        c.extreme(2, k.xa, k.ya);
        c.r->cornerL = 0;
        // A slope and a wrong intercept: the walk must move the line onto
        // its start point.
        const Line w{1, k.form, 0.25, 77.0};
        c.r->walkSide(w, 2, 1, 10.0);
        ASSERT_GE(c.r->probeCount, 2);
        EXPECT_EQ(c.r->probeX[0], k.startX) << k.xa << "," << k.ya;
        EXPECT_EQ(c.r->probeY[0], k.startY) << k.xa << "," << k.ya;
        if (k.form == 1) {
            EXPECT_EQ(c.r->probeX[1], k.startX + k.step);
            EXPECT_EQ(c.r->probeY[1], roundToInt(k.startY + 0.25 * k.step));
        } else {
            EXPECT_EQ(c.r->probeY[1], k.startY + k.step);
            EXPECT_EQ(c.r->probeX[1], roundToInt(k.startX + 0.25 * k.step));
        }
    }
}

TEST(SideWalk, PixelClasses)
{
    struct Case {
        uint8_t blue, green, red;
        int dark;
    };
    const Case cases[] = {
        {0, 0, 0, 1},   {EDGE_MARK, 0, 0, 1}, {TRACED_MARK, 0, 0, 1}, {0, 0, 255, 1},
        {255, 255, 255, 0}, {1, 0, 0, 0},     {127, 0, 0, 0},         {254, 254, 254, 0},
    };
    for (const Case& k : cases) {
        WalkCanvas c(20, 20);
        exampleCorners(c);
        c.extreme(kAnchor, 10, 5);
        c.extreme(kCorner, 10, 0);
        c.set(11, 4, k.blue, k.green, k.red);
        c.r->walkSide(horizontal(), kAnchor, kTarget, 2.0);
        ASSERT_EQ(c.r->probeCount, 3);
        ASSERT_EQ(c.r->runCount, k.dark ? 3 : 1) << int(k.blue);
        EXPECT_EQ(c.r->runDark[0], 0);
        if (k.dark) {
            EXPECT_EQ(c.r->runDark[1], 1);
        }
    }
}

TEST(SideWalk, EndsAtTheImageBorder)
{
    WalkCanvas c(30, 100);
    exampleCorners(c);
    EXPECT_EQ(c.r->walkSide(horizontal(), kAnchor, kTarget, 50.0), WALK_OUTSIDE);
    EXPECT_EQ(c.r->probeCount, 20);  // x = 10 .. 29
    EXPECT_EQ(c.r->runLength[0], 20);

    // The anchor on row 0 with the corner on the same row: the start point
    // is row -1, and nothing is recorded.
    c.extreme(kAnchor, 10, 0);
    c.extreme(kCorner, 20, 0);
    c.r->runCount = 5;
    EXPECT_EQ(c.r->walkSide(horizontal(), kAnchor, kTarget, 50.0), WALK_OUTSIDE);
    EXPECT_EQ(c.r->probeCount, 0);
    EXPECT_EQ(c.r->runCount, 0);
}

TEST(SideWalk, StopsAtTheArrayCapacity)
{
    WalkCanvas c(1300, 4);
    for (int x = 0; x < 1300; x += 2)
        c.dark(x, 1);
    c.extreme(kCorner, 0, 0);
    c.extreme(kTarget, 1299, 0);
    c.extreme(kAnchor, 0, 2);
    c.r->cornerL = kCorner;
    EXPECT_EQ(c.r->walkSide(horizontal(), kAnchor, kTarget, 1200.0), WALK_FULL);
    EXPECT_EQ(c.r->probeCount, kProbeCapacity);
    EXPECT_EQ(c.r->runCount, kProbeCapacity);
    EXPECT_EQ(c.r->probeX[kProbeCapacity - 1], kProbeCapacity - 1);

    // A reach that ends on the very point that would overflow still counts
    // as reached.
    EXPECT_EQ(c.r->walkSide(horizontal(), kAnchor, kTarget, 999.0), WALK_REACHED);
    EXPECT_EQ(c.r->probeCount, kProbeCapacity);
}

TEST(RunStatistics, SumsAndIrregularity)
{
    struct Case {
        std::vector<int> runs;  // run 0 dark, then alternating
        int total, darkSum, lightSum;
        double q;
    };
    const Case cases[] = {
        {{}, 0, 0, 0, 0.0},
        {{7}, 7, 0, 0, 0.0},
        {{3, 4}, 7, 0, 0, 0.0},
        {{5, 5, 5}, 15, 5, 5, 0.0},
        {{1, 9, 4, 20}, 34, 1, 9, 0.0},              // run 2 alone
        {{2, 9, 4, 6, 5, 100}, 126, 6, 15, 2.0 / 6},  // runs 2..4
        {{2, 9, 4, 6, 5, 1, 3}, 30, 11, 16, 5.0 / 6},  // k = 6
    };
    for (const Case& k : cases) {
        WalkCanvas c(1, 1);
        c.r->runCount = static_cast<int>(k.runs.size());
        for (size_t i = 0; i < k.runs.size(); ++i) {
            c.r->runLength[i] = k.runs[i];
            c.r->runDark[i] = i % 2 == 0 ? 1 : 0;
        }
        const RunStats st = c.r->runStatistics();
        EXPECT_EQ(st.total, k.total);
        EXPECT_EQ(st.darkSum, k.darkSum);
        EXPECT_EQ(st.lightSum, k.lightSum);
        EXPECT_DOUBLE_EQ(st.irregularity, k.q);
    }
}

// In a light image no probe line is good: the bisection turns inward all
// the way, the sweep tries two angles and leaves the fan.
TEST(ClockSide, BisectionWhenNoPassIsGood)
{
    LogDirectory log("clock_none_good");
    WalkCanvas c(100, 100);
    exampleCorners(c);
    c.r->logEnabled = 1;
    const Line found = c.r->findClockSide(horizontal(2), kAnchor, kTarget);
    EXPECT_EQ(found.tag, LINE_TAG_MISSING);
    expectAngles(loggedAngles(log), {0, -17.5, -26.25, -30.625, -32.8125, -33.90625,
                                     -34.453125, -34.7265625, -34.7265625, -34.9765625});
    // The first probe of every pass is logged with its slope and form, and
    // so is the start of every row walk.
    const std::vector<std::string> texts = log.texts();
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[0], "0.000--1");
    EXPECT_EQ(texts[1], "0--2--10--50--10--10:");
    EXPECT_EQ(texts[2], "0.000--0--1--0.000--0--0:51(0),");
}

// Vertical stripes of irregular widths: every probe line crosses many runs
// and ends in a short one, but no line is regular enough to be a clock
// track. The bisection turns outward all the way; the sweep passes the
// last good angle and gives up nine passes later.
TEST(ClockSide, BisectionWhenEveryPassIsGood)
{
    LogDirectory log("clock_all_good");
    WalkCanvas c(100, 100);
    exampleCorners(c);
    const int widths[] = {3, 3, 1, 5};
    for (int x = 10, i = 0, dark = 1; x < 100; dark ^= 1, ++i) {
        const int w = widths[i < 2 ? i : 2 + i % 2];
        for (int j = 0; j < w && x < 100; ++j, ++x)
            for (int y = 0; y < 100; ++y)
                if (dark)
                    c.dark(x, y);
    }
    c.r->logEnabled = 1;
    const Line found = c.r->findClockSide(horizontal(), kAnchor, kTarget);
    EXPECT_EQ(found.tag, LINE_TAG_MISSING);
    expectAngles(loggedAngles(log),
                 {0, 17.5, 26.25, 30.625, 32.8125, 33.90625, 34.453125, 34.7265625, 35, 34.75,
                  34.5, 34.25, 34, 33.75, 33.5, 33.25, 33, 32.75, 32.5});
}

// A probe turned beyond 45 degrees is walked along the other axis.
TEST(ClockSide, SteepProbeLinesSwapForm)
{
    WalkCanvas c(160, 160);
    c.extreme(kCorner, 60, 60);
    c.extreme(kTarget, 106, 99);
    c.extreme(kAnchor, 99, 14);
    c.r->cornerL = kCorner;
    const Line base{1, LINE_Y_OF_X, 39.0 / 46.0, 0.0};
    const Line found = c.r->findClockSide(base, kAnchor, kTarget);
    EXPECT_EQ(found.tag, LINE_TAG_MISSING);
    // Outward is clockwise here, so the light image drives the search to
    // theta0 + 34.98 degrees, about 75 degrees: a column walk from (98, 12).
    const double last = std::atan(39.0 / 46.0) + 34.9765625 * kDeg;
    const double slope = 1 / std::tan(last);
    const int n = c.r->probeCount;
    ASSERT_GT(n, 50);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(c.r->probeY[i], 12 + i);
        EXPECT_EQ(c.r->probeX[i], roundToInt(98 + slope * i));
    }
}

namespace {

// An ECC200-like symbol of n x n modules of m pixels, turned by phi about
// the outer finder corner at (ox, oy): solid sides along the first row and
// column, clock tracks along the last ones, pseudo-random data inside.
struct Symbol {
    int n = 10;
    double m = 6.0;
    double ox = 40.0, oy = 40.0;
    double phi = 0.0;

    double ux() const { return std::cos(phi); }
    double uy() const { return std::sin(phi); }

    bool darkModule(int row, int col) const
    {
        if (row == 0 || col == 0)
            return true;
        if (row == n - 1)
            return col % 2 == 0;
        if (col == n - 1)
            return row % 2 == 0;
        return ((row * 7 + col * 13) * 2654435761u >> 7) % 3 == 0;
    }

    void render(WalkCanvas& c) const
    {
        for (int y = 0; y < c.r->height; ++y)
            for (int x = 0; x < c.r->width; ++x) {
                const double dx = x + 0.5 - ox, dy = y + 0.5 - oy;
                const double u = dx * ux() + dy * uy();
                const double v = -dx * uy() + dy * ux();
                const int col = static_cast<int>(std::floor(u / m));
                const int row = static_cast<int>(std::floor(v / m));
                if (col >= 0 && row >= 0 && col < n && row < n && darkModule(row, col))
                    c.dark(x, y);
            }
    }

    // The pixel at the symbol corner (u, v) given in pixels from the
    // outer finder corner, half a pixel inside.
    void corner(WalkCanvas& c, int index, double u, double v) const
    {
        const double x = ox + u * ux() - v * uy() - 0.5;
        const double y = oy + u * uy() + v * ux() - 0.5;
        c.extreme(index, static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
    }
};

double directionDegrees(const Line& line)
{
    const double a = line.form == LINE_Y_OF_X ? std::atan(line.slope)
                                              : std::atan2(1.0, line.slope);
    double degrees = a / kDeg;
    while (degrees < 0)
        degrees += 180;
    while (degrees >= 180)
        degrees -= 180;
    return degrees;
}

void expectThrough(const Line& line, const Recognizer& r, int index)
{
    const double x = r.extremeX[index], y = r.extremeY[index];
    if (line.form == LINE_Y_OF_X)
        EXPECT_NEAR(line.slope * x + line.intercept, y, 1e-9);
    else
        EXPECT_NEAR(line.slope * y + line.intercept, x, 1e-9);
}

enum { kL = 0, kA = 1, kB = 2 };

}  // namespace

TEST(ClockSide, FindsBothClockTracksOfASymbol)
{
    for (double phiDegrees : {0.0, 8.0, 20.0, 37.0, -15.0}) {
        SCOPED_TRACE(phiDegrees);
        Symbol s;
        s.phi = phiDegrees * kDeg;
        WalkCanvas c(150, 150);
        s.render(c);
        const double side = s.n * s.m - 1;
        s.corner(c, kL, 0.5, 0.5);
        s.corner(c, kA, side + 0.5, 0.5);
        s.corner(c, kB, 0.5, side + 0.5);
        c.r->cornerL = kL;
        Recognizer& r = *c.r;
        const Line sideA = lineThroughPoints(r.extremeX[kL], r.extremeY[kL], r.extremeX[kA],
                                             r.extremeY[kA]);
        const Line sideB = lineThroughPoints(r.extremeX[kL], r.extremeY[kL], r.extremeX[kB],
                                             r.extremeY[kB]);

        const Line clock1 = r.findClockSide(Line{1, sideA.form, sideA.slope, 0}, kB, kA);
        ASSERT_EQ(clock1.tag, 1);
        EXPECT_LE(std::fabs(clock1.slope), 1.0);
        expectThrough(clock1, r, kB);
        EXPECT_NEAR(directionDegrees(clock1), directionDegrees(sideA), 2.0);

        const Line clock2 = r.findClockSide(Line{2, sideB.form, sideB.slope, 0}, kA, kB);
        ASSERT_EQ(clock2.tag, 2);
        EXPECT_LE(std::fabs(clock2.slope), 1.0);
        expectThrough(clock2, r, kA);
        EXPECT_NEAR(directionDegrees(clock2), directionDegrees(sideB), 2.0);

        // Walked to their crossing, both tracks show the n modules.
        double xD = 0, yD = 0;
        ASSERT_EQ(intersectLines(clock1, clock2, xD, yD), 0);
        r.scanRuns(clock1, kB, kA, xD, yD);
        EXPECT_GE(r.runCount, s.n);
        EXPECT_LE(r.runCount, s.n + 1);
        r.scanRuns(clock2, kA, kB, xD, yD);
        EXPECT_GE(r.runCount, s.n);
        EXPECT_LE(r.runCount, s.n + 1);
    }
}
