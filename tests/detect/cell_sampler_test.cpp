#include <gtest/gtest.h>

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
