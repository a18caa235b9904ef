#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "detect/recognizer.h"
#include "tests/support/frame_builder.h"

namespace {

struct Point {
    int x;
    int y;
};

// A light image with the given pixels traced, extreme points 0 and 1 set
// to the side's ends.
std::unique_ptr<Recognizer> tracedImage(int width, int height, const std::vector<Point>& traced,
                                        Point from, Point to, uint8_t mark = TRACED_MARK)
{
    auto r = frame_builder::makeRecognizer(frame_builder::solidFrame(width, height, 255, 255, 255));
    for (const Point& p : traced) {
        r->pixels[p.y * r->stride + 3 * p.x] = mark;
    }
    r->extremeX[0] = from.x;
    r->extremeY[0] = from.y;
    r->extremeX[1] = to.x;
    r->extremeY[1] = to.y;
    return r;
}

std::vector<Point> row(int y, int x0, int x1)
{
    std::vector<Point> points;
    for (int x = x0; x <= x1; ++x) {
        points.push_back({x, y});
    }
    return points;
}

TEST(EdgeDeviation, MeanDistanceOfTheNearestTracedPixel)
{
    EXPECT_EQ(tracedImage(30, 30, row(10, 10, 20), {10, 10}, {20, 10})->edgeDeviation(0, 1), 0.0);
    EXPECT_EQ(tracedImage(30, 30, row(11, 10, 20), {10, 10}, {20, 10})->edgeDeviation(0, 1), 1.0);
    // Either direction gives the same measure.
    EXPECT_EQ(tracedImage(30, 30, row(11, 10, 20), {10, 10}, {20, 10})->edgeDeviation(1, 0), 1.0);
    std::vector<Point> both = row(9, 10, 20);
    const std::vector<Point> below = row(11, 10, 20);
    both.insert(both.end(), below.begin(), below.end());
    EXPECT_EQ(tracedImage(30, 30, both, {10, 10}, {20, 10})->edgeDeviation(0, 1), 1.0);
    // Half the steps exactly on the line, half two rows off: mean 10/11.
    std::vector<Point> mixed;
    for (int x = 10; x <= 20; ++x) {
        mixed.push_back({x, x % 2 == 0 ? 10 : 12});
    }
    EXPECT_DOUBLE_EQ(tracedImage(30, 30, mixed, {10, 10}, {20, 10})->edgeDeviation(0, 1),
                     10.0 / 11.0);
}

TEST(EdgeDeviation, DiagonalSidesStepAlongXAndMeasurePerpendicular)
{
    std::vector<Point> diagonal;
    std::vector<Point> offDiagonal;
    for (int k = 0; k <= 10; ++k) {
        diagonal.push_back({k, k});
        offDiagonal.push_back({k, k + 1});
    }
    EXPECT_EQ(tracedImage(20, 20, diagonal, {0, 0}, {10, 10})->edgeDeviation(0, 1), 0.0);
    EXPECT_NEAR(tracedImage(20, 20, offDiagonal, {0, 0}, {10, 10})->edgeDeviation(0, 1),
                1 / std::sqrt(2.0), 1e-12);
}

TEST(EdgeDeviation, SteepSidesStepAlongY)
{
    // x = 5 for y = 0..8, traced one column to the left.
    std::vector<Point> column;
    for (int y = 0; y <= 8; ++y) {
        column.push_back({4, y});
    }
    EXPECT_EQ(tracedImage(10, 10, column, {5, 8}, {5, 0})->edgeDeviation(0, 1), 1.0);
}

TEST(EdgeDeviation, TriesStartAtTheTruncatedLineValue)
{
    // Side (0,0)-(4,2): at x = 1 the line is at 0.5; the try at y = 0 comes
    // before y = 1. At x = 3 (line 1.5) only y = 2 is traced.
    const std::vector<Point> traced = {{0, 0}, {1, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}};
    const double expected = (0 + 0.5 + 0 + 0.5 + 0) / 5 / std::sqrt(1.25);
    EXPECT_NEAR(tracedImage(10, 10, traced, {0, 0}, {4, 2})->edgeDeviation(0, 1), expected,
                1e-12);
    // A side leaving the image: from (0,0) to (10,-4) the line falls to
    // -0.4 x; the tries outside are skipped and row 0 is found each time.
    auto r = tracedImage(12, 3, row(0, 0, 10), {0, 0}, {10, -4});
    EXPECT_NEAR(r->edgeDeviation(0, 1), 22.0 / 11 / std::sqrt(1.16), 1e-12);
}

TEST(EdgeDeviation, UnmeasurableSidesGiveFiveAndAHalf)
{
    // A gap of more than 6 pixels at one step spoils the whole side.
    std::vector<Point> gap = row(10, 10, 20);
    gap[5].y = 17;
    EXPECT_EQ(tracedImage(30, 30, gap, {10, 10}, {20, 10})->edgeDeviation(0, 1), 5.5);
    gap[5].y = 16;
    EXPECT_DOUBLE_EQ(tracedImage(30, 30, gap, {10, 10}, {20, 10})->edgeDeviation(0, 1), 6.0 / 11);
    // Untraced boundary and dark pixels are no hits.
    EXPECT_EQ(tracedImage(30, 30, row(10, 10, 20), {10, 10}, {20, 10}, EDGE_MARK)->edgeDeviation(0, 1),
              5.5);
    EXPECT_EQ(tracedImage(30, 30, row(10, 10, 20), {10, 10}, {20, 10}, 0)->edgeDeviation(0, 1), 5.5);
    // Same index, or two indices at one position.
    auto r = tracedImage(30, 30, row(10, 10, 20), {10, 10}, {10, 10});
    EXPECT_EQ(r->edgeDeviation(0, 1), 5.5);
    EXPECT_EQ(r->edgeDeviation(1, 1), 5.5);
}

TEST(EdgeDeviation, PositionsOutsideTheImageAreNeverRead)
{
    // A side that runs past every edge of a 3 x 3 image: all tries that fall
    // outside are skipped (the sanitizer build checks the reads).
    auto r = tracedImage(3, 3, {{0, 0}, {1, 0}, {2, 0}}, {-5, 0}, {7, 0});
    EXPECT_EQ(r->edgeDeviation(0, 1), 5.5);
    auto inside = tracedImage(3, 3, {{0, 2}, {1, 2}, {2, 2}}, {0, 0}, {2, 0});
    EXPECT_EQ(inside->edgeDeviation(0, 1), 2.0);
}

}  // namespace
