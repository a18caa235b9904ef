#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "detect/recognizer.h"

namespace {

TEST(RoundToInt, HalvesGoDownAndNegativesTruncate)
{
    struct Case {
        double x;
        int expected;
    };
    const Case cases[] = {
        {0.0, 0},   {0.49, 0},         {0.5, 0},   {0.51, 1},    {2.5, 2},
        {2.51, 3},  {3.5, 3},          {3.5000001, 4}, {7.0, 7}, {7.99, 8},
        {-0.7, 0},  {-1.7, -1},        {-2.5, -2}, {-0.2, 0},
        {1e300, INT_MAX}, {-1e300, INT_MIN}, {NAN, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(roundToInt(c.x), c.expected) << c.x;
    }
}

TEST(AbsValue, NegatesOnlyNegatives)
{
    EXPECT_EQ(absValue(-3.25), 3.25);
    EXPECT_EQ(absValue(3.25), 3.25);
    EXPECT_EQ(absValue(0.0), 0.0);
}

TEST(LineThroughPoints, PicksTheFormWithSlopeAtMostOne)
{
    // 45 degrees: form 1.
    Line diagonal = lineThroughPoints(0, 0, 10, 10);
    EXPECT_EQ(diagonal.tag, 3);
    EXPECT_EQ(diagonal.form, LINE_Y_OF_X);
    EXPECT_DOUBLE_EQ(diagonal.slope, 1.0);
    EXPECT_DOUBLE_EQ(diagonal.intercept, 0.0);

    Line flat = lineThroughPoints(2, 3, 12, 8);
    EXPECT_EQ(flat.form, LINE_Y_OF_X);
    EXPECT_DOUBLE_EQ(flat.slope, 0.5);
    EXPECT_DOUBLE_EQ(flat.intercept, 2.0);

    Line steep = lineThroughPoints(2, 3, 7, 13);
    EXPECT_EQ(steep.form, LINE_X_OF_Y);
    EXPECT_DOUBLE_EQ(steep.slope, 0.5);
    EXPECT_DOUBLE_EQ(steep.intercept, 0.5);

    Line vertical = lineThroughPoints(5, 0, 5, 9);
    EXPECT_EQ(vertical.form, LINE_X_OF_Y);
    EXPECT_DOUBLE_EQ(vertical.slope, 0.0);
    EXPECT_DOUBLE_EQ(vertical.intercept, 5.0);
}

Line makeLine(int form, double slope, double intercept)
{
    return Line{0, form, slope, intercept};
}

TEST(IntersectLines, AllFourFormPairs)
{
    struct Case {
        Line first;
        Line second;
        double x;
        double y;
    };
    const Case cases[] = {
        // x = 5 and y = 7, both orders.
        {makeLine(2, 0, 5), makeLine(1, 0, 7), 5, 7},
        {makeLine(1, 0, 7), makeLine(2, 0, 5), 5, 7},
        // y = x and y = -x + 4 cross at (2, 2).
        {makeLine(1, 1, 0), makeLine(1, -1, 4), 2, 2},
        // x = 0.5 y + 1 and x = -0.5 y + 4 cross at y = 3, x = 2.5.
        {makeLine(2, 0.5, 1), makeLine(2, -0.5, 4), 2.5, 3},
        // y = 0.5 x + 1 and x = 0.5 y + 2.5 cross at (4, 3).
        {makeLine(1, 0.5, 1), makeLine(2, 0.5, 2.5), 4, 3},
        {makeLine(2, 0.5, 2.5), makeLine(1, 0.5, 1), 4, 3},
    };
    for (const Case& c : cases) {
        double x = -1;
        double y = -1;
        ASSERT_EQ(intersectLines(c.first, c.second, x, y), 0);
        EXPECT_NEAR(x, c.x, 1e-12);
        EXPECT_NEAR(y, c.y, 1e-12);
    }
}

TEST(IntersectLines, NearlyParallelLinesAreRejectedUntouched)
{
    const Line pairs[][2] = {
        {makeLine(1, 0.3, 0), makeLine(1, 0.30005, 9)},
        {makeLine(2, -0.2, 1), makeLine(2, -0.2, 4)},
        // Slope 2 in y(x) and 0.5 in x(y) are the same direction.
        {makeLine(1, 2, 0), makeLine(2, 0.5, 3)},
        {makeLine(2, 0.5, 3), makeLine(1, 2, 0)},
    };
    for (const auto& pair : pairs) {
        double x = 123;
        double y = 456;
        EXPECT_EQ(intersectLines(pair[0], pair[1], x, y), 1);
        EXPECT_EQ(x, 123);
        EXPECT_EQ(y, 456);
    }
}

TEST(LineThroughExtremes, TagFollowsTheShorterWayRoundTheContour)
{
    auto r = std::make_unique<Recognizer>();
    for (int k = 0; k < kExtremeCount; ++k) {
        r->extremeX[k] = 10 * k;
        r->extremeY[k] = 3 * k;
    }
    struct Case {
        int n;
        int a;
        int b;
        int tag;
    };
    const Case cases[] = {
        {100, 5, 2, 1}, {100, 2, 5, 2}, {15, 7, 0, 1}, {15, 0, 7, 2},
        // Short contours: the index distance decides against n - distance.
        {6, 5, 2, 2},   // 3 >= 3
        {7, 5, 2, 1},   // 3 < 4
        {6, 2, 5, 1},   // 3 < 3 is false
        {7, 2, 5, 2},   // 3 < 4
        {0, 1, 0, 2},   {0, 0, 1, 1},
    };
    for (const Case& c : cases) {
        r->contourLength = c.n;
        Line line = r->lineThroughExtremes(c.a, c.b);
        EXPECT_EQ(line.tag, c.tag) << c.n << " " << c.a << " " << c.b;
        Line plain = lineThroughPoints(10 * c.a, 3 * c.a, 10 * c.b, 3 * c.b);
        EXPECT_EQ(line.form, plain.form);
        EXPECT_EQ(line.slope, plain.slope);
        EXPECT_EQ(line.intercept, plain.intercept);
    }
}

}  // namespace

TEST(SquaredLimit, AgreesWithTheRootOnWholeOffsets)
{
    // Limits on and a hair beside whole roots, halves, the walks' usual
    // lengths, random ones, 0, -0, negatives, huge ones and NaN; offsets
    // around the limit and far from it, of either sign.
    std::vector<double> limits = {0.0, -0.0, -1.0, 0.5, 1.0, std::sqrt(2.0), 2.5, 5.0, 100.0,
                                  1e6, 4.9e7, 5e7, 1e300, INFINITY, -INFINITY, NAN};
    for (int k = 1; k < 200; ++k) {
        const double root = std::sqrt(double(k));
        limits.push_back(root);
        limits.push_back(std::nextafter(root, 0.0));
        limits.push_back(std::nextafter(root, 1e9));
    }
    uint32_t seed = 7;
    for (int k = 0; k < 200; ++k) {
        seed = seed * 1664525u + 1013904223u;
        limits.push_back((seed >> 16) / 64.0);
    }
    // Images just small enough for whole squares, and larger ones.
    for (const int side : {kSquaredLimitSide - 1, kSquaredLimitSide}) {
        for (const double limit : limits) {
            const SquaredLimit squared = SquaredLimit::of(limit, side, side);
            const double reach = limit > 0 && limit < 3e4 ? limit : 40;
            const int span = int(reach) + 3;
            for (int dx = -span; dx <= span; ++dx) {
                for (int dy = -span; dy <= span; dy += 1 + span / 40) {
                    EXPECT_EQ(squared.beyond(dx, dy), std::sqrt(double(dx) * dx + double(dy) * dy) > limit)
                        << "limit " << limit << " dx " << dx << " dy " << dy;
                }
            }
            const int far = kSquaredLimitSide - 1;
            EXPECT_EQ(squared.beyond(far, far), std::sqrt(2.0 * far * far) > limit) << limit;
        }
    }
}
