#include <gtest/gtest.h>

#include "walk_canvas.h"

namespace {

enum { kCorner = 0, kDirection = 1, kAnchor = 2 };

// Corner (10, 10), direction point (60, 10), anchor (10, 50); columns from
// x = 10 on alternate in 5-pixel modules, the first one dark.
void alternatingColumns(WalkCanvas& c)
{
    c.extreme(kCorner, 10, 10);
    c.extreme(kDirection, 60, 10);
    c.extreme(kAnchor, 10, 50);
    c.r->cornerL = kCorner;
    for (int x = 10; x < c.r->width; ++x)
        for (int y = 0; y < c.r->height; ++y)
            if ((x - 10) / 5 % 2 == 0)
                c.dark(x, y);
}

const Line kHorizontal{3, LINE_Y_OF_X, 0.0, 0.0};

}  // namespace

TEST(RunScan, AlternatingModulesUpToTheEndPoint)
{
    LogDirectory log("run_scan_reached");
    WalkCanvas c(100, 100);
    alternatingColumns(c);
    c.r->logEnabled = 1;
    TraceCapture trace;
    c.r->scanRuns(kHorizontal, kAnchor, kDirection, 60.0, 50.0);

    // Reach 50 from (10, 49): x = 10 .. 60, ten full modules and one point
    // of the eleventh.
    ASSERT_EQ(c.r->probeCount, 51);
    EXPECT_EQ(c.r->probeY[0], 49);
    EXPECT_EQ(c.r->probeX[50], 60);
    ASSERT_EQ(c.r->runCount, 11);
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(c.r->runLength[k], 5);
        EXPECT_EQ(c.r->runDark[k], k % 2 == 0 ? 1 : 0);
    }
    EXPECT_EQ(c.r->runLength[10], 1);

    const std::vector<std::string> texts = log.texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "NEWW-11:5(1),5(0),5(1),5(0),5(1),5(0),5(1),5(0),5(1),5(0),1(1),");
    EXPECT_TRUE(trace.has("FMP End started...\n"));
    ASSERT_FALSE(trace.messages.empty());
    EXPECT_EQ(trace.messages.front(), "FMP started...\n");
    EXPECT_EQ(trace.messages.back().rfind("FMP processed in ", 0), 0u);
}

// Leaving the image keeps the runs met so far, with no log line and no
// end marker; so does a walk that fills its arrays.
TEST(RunScan, WalksThatDoNotReachTheEndPoint)
{
    struct Case {
        int width;
        double endX;
        int points;
    };
    const Case cases[] = {
        {40, 60.0, 30},                           // leaves the image at x = 40
        {1100, 1060.0, kProbeCapacity},           // needs 1051 points
    };
    for (const Case& k : cases) {
        LogDirectory log("run_scan_short");
        WalkCanvas c(k.width, 100);
        alternatingColumns(c);
        c.r->logEnabled = 1;
        TraceCapture trace;
        c.r->scanRuns(kHorizontal, kAnchor, kDirection, k.endX, 50.0);
        EXPECT_EQ(c.r->probeCount, k.points);
        EXPECT_EQ(c.r->runCount, (k.points + 4) / 5);
        EXPECT_TRUE(log.texts().empty());
        EXPECT_FALSE(trace.has("FMP End started...\n"));
        EXPECT_TRUE(trace.has("FMP started...\n"));
    }
}

TEST(RunScan, StartNextToTheAnchor)
{
    WalkCanvas c(100, 100);
    alternatingColumns(c);
    // Anchor and corner on one row: the walk starts straight below.
    c.extreme(kCorner, 40, 50);
    c.r->scanRuns(kHorizontal, kAnchor, kDirection, 60.0, 50.0);
    EXPECT_EQ(c.r->probeX[0], 10);
    EXPECT_EQ(c.r->probeY[0], 49);

    // An end point closer than one pixel: only the start point.
    c.r->scanRuns(kHorizontal, kAnchor, kDirection, 10.3, 50.0);
    EXPECT_EQ(c.r->probeCount, 1);
    EXPECT_EQ(c.r->runCount, 1);

    // The start point below row 0: nothing at all.
    c.extreme(kAnchor, 10, 0);
    c.extreme(kCorner, 40, 0);
    c.r->scanRuns(kHorizontal, kAnchor, kDirection, 60.0, 0.0);
    EXPECT_EQ(c.r->probeCount, 0);
    EXPECT_EQ(c.r->runCount, 0);
}
