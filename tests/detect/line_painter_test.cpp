#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <utility>

#include "walk_canvas.h"

namespace {

using Points = std::set<std::pair<int, int>>;

Points redPixels(WalkCanvas& c)
{
    Points out;
    for (int y = 0; y < c.r->height; ++y)
        for (int x = 0; x < c.r->width; ++x)
            if (c.isRed(x, y))
                out.insert({x, y});
    return out;
}

}  // namespace

TEST(LinePainter, PaintsFromTheTruncatedStartUpToTheLength)
{
    WalkCanvas c(20, 20);
    c.r->runCount = 7;
    TraceCapture trace;
    c.r->paintLine(Line{3, LINE_Y_OF_X, 0.5, 2.0}, 0.9, 2.45, 10.0, 7.0);
    // Halves round down (2.5 gives 2); (10, 7), 11.18 from (0, 2), is
    // beyond the length of 10.17 and stays unpainted.
    const Points expected{{0, 2}, {1, 2}, {2, 3}, {3, 3}, {4, 4},
                          {5, 4}, {6, 5}, {7, 5}, {8, 6}, {9, 6}};
    EXPECT_EQ(redPixels(c), expected);
    EXPECT_EQ(c.r->probeCount, 10);
    EXPECT_EQ(c.r->runCount, 0);
    const std::vector<std::string> expectedTrace{"DLO started...\n", "DLO End started...\n"};
    ASSERT_EQ(trace.messages.size(), 4u);
    EXPECT_EQ(trace.messages[0], expectedTrace[0]);
    EXPECT_EQ(trace.messages[1], expectedTrace[1]);
    EXPECT_EQ(trace.messages[2].rfind("DLO End processed in ", 0), 0u);
    EXPECT_EQ(trace.messages[3].rfind("DLO processed in ", 0), 0u);
}

TEST(LinePainter, DirectionFormAndEdges)
{
    struct Case {
        const char* what;
        Line line;
        double sx, sy, ex, ey;
        Points expected;
    };
    const Case cases[] = {
        {"same start and end", {3, 1, 0.0, 4.0}, 5.0, 4.0, 5.0, 4.0, {{5, 4}}},
        {"leftwards", {3, 1, 0.0, 4.0}, 5.7, 4.0, 2.0, 4.0, {{5, 4}, {4, 4}, {3, 4}, {2, 4}}},
        {"column line", {3, 2, 0.0, 3.0}, 3.0, 1.0, 3.0, 4.0, {{3, 1}, {3, 2}, {3, 3}, {3, 4}}},
        {"off the right edge", {3, 1, 0.0, 1.0}, 5.0, 1.0, 30.0, 1.0,
         {{5, 1}, {6, 1}, {7, 1}}},
        {"off the bottom", {3, 2, 1.0, 0.0}, 2.0, 2.0, 0.0, -5.0, {{2, 2}, {1, 1}, {0, 0}}},
        {"start outside", {3, 1, 0.0, 1.0}, -1.0, 1.0, 5.0, 1.0, {}},
        {"start off row", {3, 1, 0.0, 9.0}, 1.0, 9.0, 5.0, 9.0, {}},
        {"start not a number", {3, 1, 0.0, 1.0}, std::numeric_limits<double>::quiet_NaN(), 1.0, 5.0, 1.0, {}},
        {"start far away", {3, 1, 0.0, 1.0}, 1e300, 1.0, 5.0, 1.0, {}},
    };
    for (const Case& k : cases) {
        WalkCanvas c(8, 8);
        c.r->paintLine(k.line, k.sx, k.sy, k.ex, k.ey);
        EXPECT_EQ(redPixels(c), k.expected) << k.what;
        EXPECT_EQ(c.r->probeCount, static_cast<int>(k.expected.size())) << k.what;
    }
}

TEST(LinePainter, StopsAtTheProbeCapacity)
{
    WalkCanvas c(1200, 3);
    c.r->paintLine(Line{3, LINE_Y_OF_X, 0.0, 1.0}, 0.0, 1.0, 1150.0, 1.0);
    EXPECT_EQ(c.r->probeCount, kProbeCapacity);
    EXPECT_TRUE(c.isRed(kProbeCapacity - 1, 1));
    EXPECT_FALSE(c.isRed(kProbeCapacity, 1));
}
