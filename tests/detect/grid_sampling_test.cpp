#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "detect/recognizer.h"
#include "frame/packed_frame.h"

namespace {

Line horizontal(double y)
{
    return Line{3, LINE_Y_OF_X, 0.0, y};
}

Line vertical(double x)
{
    return Line{3, LINE_X_OF_Y, 0.0, x};
}

// An axis-parallel symbol of rows x cols modules drawn into a light
// bottom-up image, with its outline and boundary lines set up as the
// boundary-line phase leaves them: L bottom left, A bottom right, B top
// left; row line 0 next to the bottom side, column line 0 next to the left.
struct GridSetup {
    static constexpr int kModule = 8;
    static constexpr int kX0 = 16;
    static constexpr int kY0 = 12;
    int rows;
    int cols;
    std::vector<uint8_t> pixels;
    std::unique_ptr<Recognizer> r = std::make_unique<Recognizer>();
    SymbolOutline outline{};

    // Row 0 is the top row; no symmetry, so a turned or mirrored read
    // cannot match.
    static bool dark(int row, int col) { return (row * 7 + col * 3 + row * col) % 5 < 2; }

    GridSetup(int rowCount, int colCount) : rows(rowCount), cols(colCount)
    {
        Recognizer& s = *r;
        s.width = kX0 * 2 + cols * kModule;
        s.height = kY0 * 2 + rows * kModule;
        s.stride = int(frameStride(s.width));
        pixels.assign(size_t(s.stride) * size_t(s.height), 255);
        for (int row = 0; row < rows; ++row)
            for (int col = 0; col < cols; ++col)
                if (dark(row, col))
                    paintModule(row, col);
        s.pixels = pixels.data();
        setCorners();
        setLines();
    }

    void paintModule(int row, int col)
    {
        const int y0 = kY0 + (rows - 1 - row) * kModule;
        const int x0 = kX0 + col * kModule;
        for (int y = y0; y < y0 + kModule; ++y)
            for (int x = x0; x < x0 + kModule; ++x)
                for (int ch = 0; ch < 3; ++ch)
                    pixels[size_t(y) * size_t(r->stride) + size_t(x) * 3 + size_t(ch)] = 0;
    }

    void setCorners()
    {
        const int right = kX0 + cols * kModule;
        const int top = kY0 + rows * kModule;
        const int xs[3] = {kX0, right, kX0};
        const int ys[3] = {kY0, kY0, top};
        for (int k = 0; k < 3; ++k) {
            r->extremeX[k] = xs[k];
            r->extremeY[k] = ys[k];
        }
        r->cornerL = 0;
        r->cornerA = 1;
        r->cornerB = 2;
        outline.xD = right;
        outline.yD = top;
    }

    void setLines()
    {
        const int right = kX0 + cols * kModule;
        const int top = kY0 + rows * kModule;
        outline.sideA = horizontal(kY0);
        outline.sideB = vertical(kX0);
        outline.clock1 = horizontal(top);
        outline.clock2 = vertical(right);
        for (int k = 0; k + 1 < cols; ++k) {
            const int x = kX0 + (k + 1) * kModule;
            setLine(r->columnLines, k, x, top, x, kY0);
        }
        for (int k = 0; k + 1 < rows; ++k) {
            const int y = kY0 + (k + 1) * kModule;
            setLine(r->rowLines, k, right, y, kX0, y);
        }
        r->columnLineCount = cols - 1;
        r->rowLineCount = rows - 1;
    }

    static void setLine(BoundaryLines& lines, int k, int x1, int y1, int x2, int y2)
    {
        lines.startX[k] = x1;
        lines.startY[k] = y1;
        lines.endX[k] = x2;
        lines.endY[k] = y2;
        lines.line[k] = x1 == x2 ? vertical(x1) : horizontal(y1);
    }

    int redPixels() const
    {
        int count = 0;
        for (size_t i = 0; i + 2 < pixels.size(); i += 3)
            count += pixels[i] == 0 && pixels[i + 1] == 0 && pixels[i + 2] == 255;
        return count;
    }
};

TEST(GridSampling, RowZeroIsTheClockTrackAndColumnZeroTheSolidSide)
{
    struct Case {
        int rows;
        int cols;
        DetectFlags flags;
    };
    const Case cases[] = {
        {10, 10, 0}, {10, 10, DETECT_PAINT_LINES}, {8, 18, 0},
        {8, 18, DETECT_PAINT_LINES}, {16, 48, DETECT_PAINT_LINES}, {26, 12, 0},
    };
    for (const Case& c : cases) {
        GridSetup s(c.rows, c.cols);
        s.r->sampleGrid(s.outline, c.flags, "", "");
        const std::string name = std::to_string(c.rows) + "x" + std::to_string(c.cols) +
                                 " flags " + std::to_string(c.flags);
        ASSERT_EQ(s.r->gridRows, c.rows) << name;
        ASSERT_EQ(s.r->gridCols, c.cols) << name;
        int mismatches = 0;
        for (int i = 0; i < c.rows; ++i)
            for (int j = 0; j < c.cols; ++j)
                mismatches += s.r->grid[i][j] != (GridSetup::dark(i, j) ? 1 : 0);
        EXPECT_EQ(mismatches, 0) << name;
        if (c.flags & DETECT_PAINT_LINES)
            EXPECT_GT(s.redPixels(), 0) << name;
        else
            EXPECT_EQ(s.redPixels(), 0) << name;
    }
}

TEST(GridSampling, PaintsTheOutlineAndEveryBoundaryLine)
{
    GridSetup s(10, 10);
    s.r->sampleGrid(s.outline, DETECT_PAINT_LINES, "", "");
    const Recognizer& r = *s.r;
    auto red = [&](int x, int y) {
        const uint8_t* p = &s.pixels[size_t(y) * size_t(r.stride) + size_t(x) * 3];
        return p[0] == 0 && p[1] == 0 && p[2] == 255;
    };
    const int m = GridSetup::kModule;
    const int x0 = GridSetup::kX0, y0 = GridSetup::kY0;
    // Halfway along every line of both families and the four sides.
    for (int k = 0; k <= 10; ++k) {
        EXPECT_TRUE(red(x0 + k * m, y0 + 5 * m + 3)) << "vertical " << k;
        EXPECT_TRUE(red(x0 + 5 * m + 3, y0 + k * m)) << "horizontal " << k;
    }
    EXPECT_FALSE(red(x0 + 3, y0 + 3));
}

TEST(GridSampling, WritesTheGridDumpWhenAskedAndIgnoresAnUnwritablePath)
{
    const std::string path = testing::TempDir() + "grid_sampling_dump.txt";
    std::remove(path.c_str());
    GridSetup s(8, 18);
    s.r->sampleGrid(s.outline, DETECT_WRITE_GRID, "", path.c_str());
    std::ifstream dump(path);
    std::string line;
    int lines = 0;
    while (std::getline(dump, line)) {
        if (lines == 0) {
            std::string expected;
            for (int col = 0; col < 18; ++col)
                expected += GridSetup::dark(0, col) ? "1," : "0,";
            EXPECT_EQ(line, expected);
        }
        ++lines;
    }
    EXPECT_EQ(lines, 8);
    std::remove(path.c_str());

    GridSetup t(10, 10);
    t.r->sampleGrid(t.outline, DETECT_WRITE_GRID | DETECT_WRITE_IMAGE, "/nonexistent/dir/a.bmp",
                    "/nonexistent/dir/a.txt");
    EXPECT_EQ(t.r->gridRows, 10);
}

}  // namespace
