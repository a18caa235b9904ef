#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "detect/recognizer.h"
#include "tests/support/frame_builder.h"

namespace fs = std::filesystem;

namespace {

// A working image given by its pixel classes, rows[0] being buffer row 0:
// '.' light, '#' dark, 'e' EDGE_MARK.
std::unique_ptr<Recognizer> classImage(const std::vector<std::string>& rows)
{
    auto r = frame_builder::makeRecognizer(frame_builder::frameFromRows(rows));
    for (int y = 0; y < r->height; ++y) {
        for (int x = 0; x < int(rows[y].size()); ++x) {
            if (rows[y][x] == 'e') {
                r->pixels[y * r->stride + 3 * x] = EDGE_MARK;
            }
        }
    }
    return r;
}

using Point = std::pair<int, int>;

Point extreme(const Recognizer& r, int k)
{
    return {r.extremeX[k], r.extremeY[k]};
}

TEST(ContourTrace, IsolatedPixelIsRejected)
{
    auto r = classImage({"...", ".e.", "..."});
    EXPECT_FALSE(r->traceCandidate(1, 1));
    EXPECT_EQ(r->contourLength, 0);
    for (int k = 0; k < kExtremeCount; ++k) {
        EXPECT_EQ(extreme(*r, k), Point(1, 1));
    }
    EXPECT_EQ(frame_builder::classRows(*r)[1], ".t.");
}

TEST(ContourTrace, RightBeforeDownAndBranchesResumeLater)
{
    // From S = (1,1) the walk goes right first; the branch point S and
    // (2,1) are revisited for the pixels below. On ties the pixel reached
    // first stays an extreme point.
    auto r = classImage({
        "......",
        ".eee..",
        ".e....",
        ".eee..",
        "......",
        "......",
    });
    EXPECT_FALSE(r->traceCandidate(1, 1));
    EXPECT_EQ(r->contourLength, 6);
    EXPECT_EQ(r->branchCount, 0);
    EXPECT_EQ(extreme(*r, 0), Point(1, 1));  // smallest x
    EXPECT_EQ(extreme(*r, 1), Point(3, 1));  // largest x: (3,1) before (3,3)
    EXPECT_EQ(extreme(*r, 2), Point(1, 1));  // smallest y
    EXPECT_EQ(extreme(*r, 3), Point(2, 3));  // largest y: (2,3) before (1,3)
    EXPECT_EQ(extreme(*r, 4), Point(1, 1));  // nearest (0, 0)
    EXPECT_EQ(extreme(*r, 5), Point(1, 3));  // nearest (0, 6)
    EXPECT_EQ(extreme(*r, 6), Point(3, 1));  // nearest (6, 0)
    EXPECT_EQ(extreme(*r, 7), Point(3, 3));  // nearest (6, 6)
    for (const std::string& row : frame_builder::classRows(*r)) {
        EXPECT_EQ(row.find('e'), std::string::npos);
    }
}

TEST(ContourTrace, BranchPointsBeyondTheStackAreForgotten)
{
    // A spine along row 1 with a two-pixel tooth below every even x: every
    // spine pixel is a branch point. Only the first 100 are remembered, so
    // the teeth beyond x = 100 are not reached and keep their mark, but for
    // the last one, where the spine itself ends.
    const int width = 252;
    std::vector<std::string> rows(5, std::string(width, '.'));
    for (int x = 0; x < width - 1; ++x) {
        rows[1][x] = 'e';
        if (x % 2 == 0) {
            rows[2][x] = 'e';
            rows[3][x] = 'e';
        }
    }
    auto r = classImage(rows);
    EXPECT_FALSE(r->traceCandidate(0, 1));
    EXPECT_EQ(r->branchCount, 0);
    const std::vector<std::string> after = frame_builder::classRows(*r);
    for (int x = 0; x < width - 1; x += 2) {
        const char expected = x <= 100 || x == width - 2 ? 't' : 'e';
        EXPECT_EQ(after[2][x], expected) << x;
        EXPECT_EQ(after[3][x], expected) << x;
    }
    EXPECT_EQ(after[1].find('e'), std::string::npos);
}

// The walk as plainly written: neighbours tried one by one, corner
// distances squared directly. Leaves the extremes, the length and the
// marks in r.
void plainTrace(Recognizer& r, int x, int y)
{
    const int stepX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
    const int stepY[8] = {0, 1, 1, 1, 0, -1, -1, -1};
    const auto at = [&](int px, int py) { return &r.pixels[size_t(py) * r.stride + 3 * size_t(px)]; };
    const auto squared = [](long long ax, long long ay, long long bx, long long by) {
        return (bx - ax) * (bx - ax) + (by - ay) * (by - ay);
    };
    const int cornerX[4] = {0, 0, r.width, r.width};
    const int cornerY[4] = {0, r.height, 0, r.height};
    long long nearest[4];
    *at(x, y) = TRACED_MARK;
    for (int k = 0; k < 8; ++k) {
        r.extremeX[k] = x;
        r.extremeY[k] = y;
    }
    for (int k = 0; k < 4; ++k) {
        nearest[k] = squared(x, y, cornerX[k], cornerY[k]);
    }
    std::vector<Point> branches;
    r.contourLength = 0;
    for (;;) {
        int next = -1;
        bool branch = false;
        for (int k = 0; k < 8; ++k) {
            const int nx = x + stepX[k];
            const int ny = y + stepY[k];
            if (nx >= 0 && ny >= 0 && nx < r.width && ny < r.height && *at(nx, ny) == EDGE_MARK) {
                if (next >= 0) {
                    branch = true;
                    break;
                }
                next = k;
            }
        }
        if (next < 0) {
            if (branches.empty()) {
                return;
            }
            std::tie(x, y) = branches.back();
            branches.pop_back();
            continue;
        }
        if (branch && branches.size() < size_t(kBranchCapacity)) {
            branches.emplace_back(x, y);
        }
        x += stepX[next];
        y += stepY[next];
        r.contourLength += 1;
        *at(x, y) = TRACED_MARK;
        const bool better[4] = {x < r.extremeX[0], x > r.extremeX[1], y < r.extremeY[2], y > r.extremeY[3]};
        for (int k = 0; k < 8; ++k) {
            const bool take = k < 4 ? better[k] : squared(x, y, cornerX[k - 4], cornerY[k - 4]) < nearest[k - 4];
            if (take) {
                r.extremeX[k] = x;
                r.extremeY[k] = y;
            }
            if (take && k >= 4) {
                nearest[k - 4] = squared(x, y, cornerX[k - 4], cornerY[k - 4]);
            }
        }
    }
}

TEST(ContourTrace, AgreesWithThePlainWalkOnRandomMarks)
{
    // Marks of every density on images from 1 x 1 up, odd widths and
    // padded rows; the walk starts at every mark that is still untraced,
    // as the raster search starts it.
    std::mt19937 random(29);
    for (int trial = 0; trial < 400; ++trial) {
        const int width = 1 + int(random() % 23);
        const int height = 1 + int(random() % 17);
        const unsigned density = 1 + random() % 9;
        std::vector<std::string> rows(size_t(height), std::string(size_t(width), '.'));
        for (std::string& row : rows) {
            for (char& c : row) {
                c = random() % 10 < density ? '#' : random() % 2 ? '.' : 'x';
            }
        }
        auto fast = frame_builder::makeRecognizer(frame_builder::frameFromRows(rows, '#'));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (rows[size_t(y)][size_t(x)] == '#') {
                    fast->pixels[size_t(y) * fast->stride + 3 * size_t(x)] = EDGE_MARK;
                }
            }
        }
        auto plain = frame_builder::makeRecognizer(frame_builder::frameFromRows(rows, '#'));
        std::copy(fast->pixels, fast->pixels + size_t(fast->stride) * height, plain->pixels);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (plain->pixels[size_t(y) * plain->stride + 3 * size_t(x)] != EDGE_MARK) {
                    continue;
                }
                fast->traceCandidate(x, y);
                plainTrace(*plain, x, y);
                ASSERT_EQ(frame_builder::classRows(*fast), frame_builder::classRows(*plain)) << trial;
                ASSERT_EQ(fast->contourLength, plain->contourLength) << trial;
                for (int k = 0; k < 8; ++k) {
                    ASSERT_EQ(fast->extremeX[k], plain->extremeX[k]) << trial << " extreme " << k;
                    ASSERT_EQ(fast->extremeY[k], plain->extremeY[k]) << trial << " extreme " << k;
                }
            }
        }
    }
}

// A binarised and boundary-marked frame made from module rows (picture
// top row first) at `scale` pixels per module with a quiet zone, stored
// bottom-up as the camera delivers it.
std::unique_ptr<Recognizer> symbolImage(const std::vector<std::string>& modules, int scale,
                                        int quiet)
{
    const int rows = int(modules.size());
    const int cols = int(modules[0].size());
    std::vector<std::string> pixelRows(size_t(rows * scale + 2 * quiet),
                                       std::string(size_t(cols * scale + 2 * quiet), '.'));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            for (int k = 0; k < scale * scale; ++k) {
                const int y = quiet + (rows - 1 - r) * scale + k / scale;
                const int x = quiet + c * scale + k % scale;
                pixelRows[size_t(y)][size_t(x)] = modules[size_t(r)][size_t(c)];
            }
        }
    }
    auto image = frame_builder::makeRecognizer(frame_builder::frameFromRows(pixelRows));
    image->markBoundaries();
    return image;
}

// First raster pixel that starts an accepted contour, as detect walks.
bool findCandidate(Recognizer& r)
{
    for (int y = 0; y < r.height; ++y) {
        for (int x = 0; x < r.width; ++x) {
            if (r.pixels[y * r.stride + 3 * x] == EDGE_MARK && r.traceCandidate(x, y)) {
                return true;
            }
        }
    }
    return false;
}

TEST(FinderCorner, SolidSquareHasFourStraightSidesAndIsRejected)
{
    std::vector<std::string> square(12, std::string(12, '#'));
    auto r = symbolImage(square, 3, 6);
    EXPECT_FALSE(findCandidate(*r));
}

TEST(FinderCorner, DataMatrixOutlineGivesTheSolidCorner)
{
    // A 10 x 10 ECC200 symbol (zint, "123").
    const std::vector<std::string> symbol = {
        "#.#.#.#.#.", "#....#.#.#", "###..#.##.", "##..#..#.#", "##..##....",
        "#.##...###", "#..##.....", "#.##.##..#", "#.#...#...", "##########",
    };
    for (int scale : {3, 4, 7}) {
        const int quiet = 2 * scale;
        auto r = symbolImage(symbol, scale, quiet);
        ASSERT_TRUE(findCandidate(*r)) << scale;
        const int far = quiet + 10 * scale - 1;
        // The finder corner is the symbol's bottom left, buffer (quiet, quiet);
        // the solid sides end at the bottom right and the top left.
        EXPECT_EQ(extreme(*r, r->cornerL), Point(quiet, quiet)) << scale;
        const std::set<Point> ends = {extreme(*r, r->cornerA), extreme(*r, r->cornerB)};
        EXPECT_EQ(ends, (std::set<Point>{{far, quiet}, {quiet, far}})) << scale;
    }
}

// A bare L of arms `arm` pixels long and 4 thick at (10, 10). Its
// quadrilateral has a third straight side, the 3-pixel cap of one arm,
// which only counts as a nick when the arms are at least 20 times longer.
std::unique_ptr<Recognizer> bareL(int arm)
{
    std::vector<std::string> rows(size_t(arm + 20), std::string(size_t(arm + 20), '.'));
    for (int y = 0; y < arm; ++y) {
        for (int x = 0; x < arm; ++x) {
            if (x < 4 || y < 4) {
                rows[size_t(10 + y)][size_t(10 + x)] = '#';
            }
        }
    }
    auto r = frame_builder::makeRecognizer(frame_builder::frameFromRows(rows));
    r->markBoundaries();
    return r;
}

TEST(FinderCorner, ShortThirdStraightSideIsDiscountedOnlyWhenTwentyTimesShorter)
{
    EXPECT_FALSE(bareL(60)->traceCandidate(10, 10));  // arms 59 < 20 x 3
    for (int arm : {61, 100}) {
        auto r = bareL(arm);
        ASSERT_TRUE(r->traceCandidate(10, 10)) << arm;
        EXPECT_EQ(extreme(*r, r->cornerL), Point(10, 10));
        EXPECT_EQ(extreme(*r, r->cornerA), Point(10 + arm - 1, 10));
        EXPECT_EQ(extreme(*r, r->cornerB), Point(10, 10 + arm - 1));
    }
}

TEST(FinderCorner, CandidateLogLine)
{
    const fs::path dir = fs::temp_directory_path() / ("tessaread_contour_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    auto r = bareL(100);
    r->logEnabled = 1;
    EXPECT_TRUE(r->traceCandidate(10, 10));
    EXPECT_STREQ(r->logLine, "1:x=109:y=10,5:x=10:y=109,3:x=13:y=109,ll=394:a1=0.000:a2=0.000");
    fs::current_path(previous);
    fs::remove_all(dir);
}

TEST(FinderCorner, OppositeStraightSidesAreRejected)
{
    // Two straight sides facing each other, ragged ends: a bar with teeth.
    std::vector<std::string> bar(6, std::string(30, '#'));
    for (int c = 0; c < 30; c += 2) {
        bar[0][size_t(c)] = '.';
        bar[5][size_t(c) + 1 < 30 ? size_t(c) + 1 : size_t(c)] = '.';
    }
    auto r = symbolImage(bar, 4, 8);
    EXPECT_FALSE(findCandidate(*r));
}

}  // namespace
