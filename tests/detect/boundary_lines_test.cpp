#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "detect/recognizer.h"
#include "detect/run_model.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Runs {
    std::vector<int> length;
    std::vector<int> dark;
};

TEST(RunCleanUp, DropsOnlyALightSliverBeforeTheFirstModule)
{
    struct Case {
        Runs in;
        Runs out;
    };
    const Case cases[] = {
        {{{1, 6, 6, 6}, {0, 1, 0, 1}}, {{6, 6, 6}, {1, 0, 1}}},
        {{{2, 6, 6, 6}, {0, 1, 0, 1}}, {{6, 6, 6}, {1, 0, 1}}},
        {{{3, 6, 6, 6}, {0, 1, 0, 1}}, {{3, 6, 6, 6}, {0, 1, 0, 1}}},
        {{{1, 6, 6, 6}, {1, 0, 1, 0}}, {{1, 6, 6, 6}, {1, 0, 1, 0}}},
        {{{2}, {0}}, {{}, {}}},
    };
    for (const Case& c : cases) {
        Runs runs = c.in;
        int count = int(runs.length.size());
        dropLeadingSliver(runs.length.data(), runs.dark.data(), count);
        runs.length.resize(size_t(count));
        runs.dark.resize(size_t(count));
        EXPECT_EQ(runs.length, c.out.length);
        EXPECT_EQ(runs.dark, c.out.dark);
    }
    int none = 0;
    dropLeadingSliver(nullptr, nullptr, none);
    EXPECT_EQ(none, 0);
}

TEST(RunModel, KeepsRunsThatAlreadyFollowAStraightLine)
{
    const std::vector<std::vector<int>> exact = {
        {6, 6, 6, 6, 6, 6, 6, 6, 6, 6},
        {5, 6, 7, 8},
        {9, 8, 7, 6, 5, 4},
        {7, 7},
    };
    for (const std::vector<int>& lengths : exact) {
        std::vector<int> runs = lengths;
        smoothRunLengths(runs.data(), int(runs.size()));
        EXPECT_EQ(runs, lengths);
    }
}

TEST(RunModel, SpreadsMeasurementNoiseAndKeepsTheTotal)
{
    // A clock track of 7-pixel modules whose edges the threshold moved by
    // a pixel here and there, with a short last run.
    std::vector<int> runs = {8, 6, 7, 8, 6, 7, 7, 6, 8, 5};
    const int total = 68;
    smoothRunLengths(runs.data(), int(runs.size()));
    int sum = 0;
    for (int length : runs) {
        sum += length;
        EXPECT_GE(length, 6);
        EXPECT_LE(length, 8);
    }
    EXPECT_EQ(sum, total);
    // The fitted pitch shrinks from 7.35 to 6.25 pixels; each boundary is
    // the rounded running sum of the fitted lengths.
    EXPECT_EQ(runs, (std::vector<int>{7, 8, 7, 7, 7, 6, 7, 6, 7, 6}));
}

// A detector whose image is uniformly light: every clock side search fails,
// so buildBoundaryLines stops after fixing the handedness.
std::unique_ptr<Recognizer> lightRecognizer(std::vector<uint8_t>& pixels)
{
    auto r = std::make_unique<Recognizer>();
    r->width = 200;
    r->height = 200;
    r->stride = 600;
    pixels.assign(600 * 200, 255);
    r->pixels = pixels.data();
    r->contourLength = 400;
    return r;
}

TEST(Handedness, PutsBAtLeastHalfATurnOnFromA)
{
    struct Case {
        const char* name;
        double angleA;
        double angleB;
        bool swapped;
    };
    // Angles as the detector measures them: 0 points along +x, pi/2 along
    // -y (down in a bottom-up picture), 3 pi/2 along +y.
    const Case cases[] = {
        {"A right, B up (upright symbol)", 0, 3 * kPi / 2, false},
        {"A right, B down (mirrored)", 0, kPi / 2, true},
        {"A up, B right", 3 * kPi / 2, 0, true},
        {"A left, B up", kPi, 3 * kPi / 2, true},
        {"A left, B down", kPi, kPi / 2, false},
        {"A at 30 degrees, B at 300", kPi / 6, 5 * kPi / 3, false},
        {"opposite directions", 0, kPi, false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> pixels;
        auto r = lightRecognizer(pixels);
        const int xL = 100, yL = 100;
        r->extremeX[0] = xL;
        r->extremeY[0] = yL;
        r->extremeX[1] = xL + int(std::lround(60 * std::cos(c.angleA)));
        r->extremeY[1] = yL - int(std::lround(60 * std::sin(c.angleA)));
        r->extremeX[2] = xL + int(std::lround(60 * std::cos(c.angleB)));
        r->extremeY[2] = yL - int(std::lround(60 * std::sin(c.angleB)));
        r->cornerL = 0;
        r->cornerA = 1;
        r->cornerB = 2;
        SymbolOutline outline{};
        EXPECT_FALSE(r->buildBoundaryLines(outline)) << c.name;
        EXPECT_EQ(r->cornerA, c.swapped ? 2 : 1) << c.name;
        EXPECT_EQ(r->cornerB, c.swapped ? 1 : 2) << c.name;
    }
}

// An upright ECC200-like 10 x 10 pattern of 6-pixel modules drawn into a
// light bottom-up image: solid left column and bottom row, alternating top
// row and right column, a checkerboard inside.
struct UprightSymbol {
    static constexpr int kModule = 6;
    static constexpr int kSize = 10;
    static constexpr int kX0 = 40;  // left edge, buffer x
    static constexpr int kY0 = 30;  // bottom edge, buffer y
    std::vector<uint8_t> pixels;
    std::unique_ptr<Recognizer> r = std::make_unique<Recognizer>();

    static bool dark(int row, int col)  // row 0 at the top
    {
        if (col == 0 || row == kSize - 1)
            return true;
        if (row == 0)
            return col % 2 == 0;
        if (col == kSize - 1)
            return row % 2 == 1;
        return (row + col) % 3 == 0;
    }

    UprightSymbol()
    {
        r->width = 140;
        r->height = 120;
        r->stride = 420;
        pixels.assign(420 * 120, 255);
        for (int y = 0; y < kSize * kModule; ++y)
            for (int x = 0; x < kSize * kModule; ++x)
                if (dark(kSize - 1 - y / kModule, x / kModule))
                    for (int ch = 0; ch < 3; ++ch)
                        pixels[size_t(kY0 + y) * 420 + size_t(kX0 + x) * 3 + size_t(ch)] = 0;
        r->pixels = pixels.data();
        r->contourLength = 4 * kSize * kModule;
        const int last = kSize * kModule - 1;
        // Extreme points 4, 5, 6 are the finder corner and the solid
        // sides' far ends; they are given in mirrored order on purpose.
        r->extremeX[4] = kX0;
        r->extremeY[4] = kY0;
        r->extremeX[5] = kX0;
        r->extremeY[5] = kY0 + last;
        r->extremeX[6] = kX0 + last;
        r->extremeY[6] = kY0;
        r->cornerL = 4;
        r->cornerA = 5;
        r->cornerB = 6;
    }
};

TEST(BoundaryLines, UprightSymbolGetsOneLinePerModuleEdge)
{
    UprightSymbol s;
    SymbolOutline outline{};
    ASSERT_TRUE(s.r->buildBoundaryLines(outline));
    Recognizer& r = *s.r;
    EXPECT_EQ(r.cornerA, 6);  // bottom right
    EXPECT_EQ(r.cornerB, 5);  // top left
    // The clock sides come from a search in quarter-degree steps and the
    // run walk reaches to their crossing, a pixel or two past the corner
    // pixel, so the fourth corner and the lines are exact to two pixels.
    const int x0 = UprightSymbol::kX0, y0 = UprightSymbol::kY0;
    const int last = UprightSymbol::kSize * UprightSymbol::kModule - 1;
    EXPECT_NEAR(outline.xD, x0 + last, 2.0);
    EXPECT_NEAR(outline.yD, y0 + last, 2.0);
    ASSERT_EQ(r.columnLineCount, 9);
    ASSERT_EQ(r.rowLineCount, 9);
    for (int k = 0; k < 9; ++k) {
        const int edge = UprightSymbol::kModule * (k + 1);
        // Column line k runs from the top clock track down to the bottom
        // side; line 0 is next to the left side.
        const BoundaryLines& c = r.columnLines;
        EXPECT_NEAR(c.startX[k], x0 + edge, 2) << k;
        EXPECT_NEAR(c.startY[k], y0 + last, 2) << k;
        EXPECT_NEAR(c.endX[k], x0 + edge, 2) << k;
        EXPECT_EQ(c.endY[k], y0) << k;
        EXPECT_EQ(c.line[k].form, LINE_X_OF_Y) << k;
        // Row line k runs from the right clock track to the left side;
        // line 0 is next to the bottom side.
        const BoundaryLines& w = r.rowLines;
        EXPECT_NEAR(w.startX[k], x0 + last, 2) << k;
        EXPECT_NEAR(w.startY[k], y0 + edge, 2) << k;
        EXPECT_EQ(w.endX[k], x0) << k;
        EXPECT_NEAR(w.endY[k], y0 + edge, 2) << k;
        EXPECT_EQ(w.line[k].form, LINE_Y_OF_X) << k;
    }
}

TEST(BoundaryLines, LightSliverBeforeTheClockTrackAddsNoModule)
{
    struct Case {
        int notch;    // light pixels cut out of the top-left module's start
        int columns;  // modules counted across
    };
    const Case cases[] = {{0, 10}, {1, 10}, {2, 10}, {3, 11}};
    for (const Case& c : cases) {
        UprightSymbol s;
        // The column scan runs one pixel inside the top edge, from the
        // top-left corner rightward: a notch there is what it meets first.
        const int y = s.r->extremeY[5] - 1;
        for (int x = 0; x < c.notch; ++x)
            for (int ch = 0; ch < 3; ++ch)
                s.pixels[size_t(y) * 420 + size_t(UprightSymbol::kX0 + x) * 3 + size_t(ch)] = 255;
        SymbolOutline outline{};
        ASSERT_TRUE(s.r->buildBoundaryLines(outline)) << c.notch;
        EXPECT_EQ(s.r->columnLineCount + 1, c.columns) << c.notch;
        EXPECT_EQ(s.r->rowLineCount + 1, 10) << c.notch;
    }
}

}  // namespace
