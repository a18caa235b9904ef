#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "frame/packed_frame.h"
#include "thorough/prepare.h"

namespace {

// A grey picture from rows of levels, rows[0] being buffer row 0.
Picture greyPicture(const std::vector<std::vector<int>>& rows)
{
    Picture p;
    EXPECT_TRUE(makePicture(int32_t(rows[0].size()), int32_t(rows.size()), p));
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            std::memset(p.pixel(x, y), rows[size_t(y)][size_t(x)], 3);
    return p;
}

std::vector<int> row(const Picture& p, int y)
{
    std::vector<int> levels;
    for (int x = 0; x < p.width; ++x)
        levels.push_back(const_cast<Picture&>(p).pixel(x, y)[0]);
    return levels;
}

Picture uniform(int width, int height, int level)
{
    Picture p;
    EXPECT_TRUE(makePicture(width, height, p));
    std::memset(p.pixels.data(), level, p.pixels.size());
    return p;
}

}  // namespace

// Pixel centres map onto pixel centres, so an enlargement keeps the edge
// pixels and a halving averages pairs.
TEST(Preparation, ScalingSizesAndWeights)
{
    struct Case {
        int numerator, denominator;
        std::vector<int> in;
        std::vector<int> out;
    };
    const Case cases[] = {
        {2, 1, {0, 200}, {0, 50, 150, 200}},
        {3, 1, {0, 90}, {0, 0, 30, 60, 90, 90}},
        {4, 1, {0, 80}, {0, 0, 10, 30, 50, 70, 80, 80}},
        {1, 2, {0, 100, 200, 40}, {50, 120}},
        {3, 4, {0, 40, 80, 120}, {7, 60, 113}},
    };
    for (const Case& c : cases) {
        const Picture in = greyPicture({c.in, c.in});
        Picture out;
        ASSERT_TRUE(scalePicture(in.rows(), c.numerator, c.denominator, out)) << c.numerator;
        EXPECT_EQ(out.width, int(c.out.size()));
        EXPECT_EQ(out.height, 2 * c.numerator / c.denominator);
        EXPECT_EQ(out.stride, frameStride(out.width));
        for (int y = 0; y < out.height; ++y)
            EXPECT_EQ(row(out, y), c.out) << c.numerator << "/" << c.denominator;
    }
}

// Every step refuses pictures it cannot walk and results beyond the cap,
// and leaves a usable empty record behind.
TEST(Preparation, RefusesBadInputAndOversizedResults)
{
    const Picture big = uniform(2100, 2100, 200);
    Picture out;
    EXPECT_FALSE(scalePicture(big.rows(), 2, 1, out));
    EXPECT_FALSE(padPicture(uniform(4096, 4096, 9).rows(), 8, out));
    EXPECT_FALSE(makePicture(0, 5, out));
    PixelRows broken = big.rows();
    broken.stride = 3 * broken.width - 1;
    EXPECT_FALSE(binariseLocalMean(broken, 8, 3, out));
    broken.rows = nullptr;
    EXPECT_FALSE(blurPicture(broken, out));
    EXPECT_FALSE(transposePicture(PixelRows{}, out));
    EXPECT_FALSE(cropParallelogram(big.rows(), Parallelogram{{5, 9, 13}, {5, 9, 13}}, 5, out));
}

// Light falling off from left to right: the marks are darker than their
// surroundings, but the left marks are lighter than the right background,
// which no global threshold separates.
TEST(Preparation, LocalMeanBinarisationFollowsUnevenLight)
{
    std::vector<std::vector<int>> rows(40, std::vector<int>(80));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 80; ++x) {
            const bool mark = (x / 4) % 2 == 1 && (y / 4) % 2 == 1;
            rows[size_t(y)][size_t(x)] = 230 - 2 * x - (mark ? 50 : 0);
        }
    Picture out;
    ASSERT_TRUE(binariseLocalMean(greyPicture(rows).rows(), 4, 3, out));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 80; ++x) {
            const uint8_t* p = out.pixel(x, y);
            const bool mark = (x / 4) % 2 == 1 && (y / 4) % 2 == 1;
            ASSERT_EQ(p[0], mark ? 0 : 255) << x << "," << y;
            ASSERT_TRUE(p[1] == p[0] && p[2] == p[0]);
        }

    // The fused grey-plane road gives the bytes of the colour steps in
    // turn (a grey picture's grey level is its byte).
    for (const bool blur : {false, true}) {
        Picture blurred, scaled, binarised, padded, fused;
        const Picture in = greyPicture(rows);
        ASSERT_TRUE(blurPicture(in.rows(), blurred));
        ASSERT_TRUE(scalePicture(blur ? blurred.rows() : in.rows(), 3, 1, scaled));
        ASSERT_TRUE(binariseLocalMean(scaled.rows(), 4, 10, binarised));
        ASSERT_TRUE(padPicture(binarised.rows(), 8, padded));
        ASSERT_TRUE(prepareLocalMean(in.rows(), LocalMeanRecipe{blur, 3, 1, 4, 10, 8}, fused));
        EXPECT_EQ(fused.width, padded.width);
        EXPECT_EQ(fused.height, padded.height);
        EXPECT_TRUE(fused.pixels == padded.pixels) << "blur " << blur;
    }
}

TEST(Preparation, PadBlurTransposeInvertCrop)
{
    // Mostly light with one dark pixel at (3, 1).
    std::vector<std::vector<int>> rows(6, std::vector<int>(10, 240));
    rows[1][3] = 0;
    const Picture in = greyPicture(rows);
    Picture out, back;

    ASSERT_TRUE(padPicture(in.rows(), 20, out));
    EXPECT_EQ(out.width, 14);
    EXPECT_EQ(out.height, 10);
    EXPECT_EQ(out.pixel(0, 0)[0], 240);
    EXPECT_EQ(out.pixel(5, 3)[0], 0);

    ASSERT_TRUE(blurPicture(in.rows(), out));
    EXPECT_EQ(row(out, 1)[3], 240 - (240 * 128 * 128 + 32768) / 65536);
    EXPECT_EQ(row(out, 1)[2], row(out, 1)[4]);
    EXPECT_EQ(row(out, 0)[3], row(out, 2)[3]);
    EXPECT_EQ(row(out, 5)[9], 240);

    ASSERT_TRUE(transposePicture(in.rows(), out));
    EXPECT_EQ(out.width, 6);
    EXPECT_EQ(out.height, 10);
    EXPECT_EQ(out.pixel(1, 3)[0], 0);
    ASSERT_TRUE(transposePicture(out.rows(), back));
    EXPECT_EQ(back.pixels, in.pixels);

    ASSERT_TRUE(invertPicture(in.rows(), out));
    EXPECT_EQ(out.pixel(3, 1)[2], 255);
    EXPECT_EQ(out.pixel(0, 0)[1], 15);
    ASSERT_TRUE(invertPicture(out.rows(), back));
    EXPECT_EQ(back.pixels, in.pixels);

    // A dark picture, a square parallelogram L (2, 2), A (7, 2), B (2, 7)
    // not grown: its bounding box, all of it kept.
    const Picture dark = uniform(12, 12, 20);
    ASSERT_TRUE(cropParallelogram(dark.rows(), Parallelogram{{2, 7, 2}, {2, 2, 7}}, 0, out));
    EXPECT_EQ(out.width, 6);
    EXPECT_EQ(out.height, 6);
    EXPECT_EQ(out.pixel(0, 0)[0], 20);
    EXPECT_EQ(out.pixel(5, 5)[0], 20);
    // A diamond (L (6, 1), A (11, 6), B (1, 6)) on a picture dark on the
    // left, light on the right: the corners of its box lie outside it and
    // take the light tone.
    std::vector<std::vector<int>> half(12, std::vector<int>(12, 250));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 6; ++x)
            half[size_t(y)][size_t(x)] = 10;
    ASSERT_TRUE(cropParallelogram(greyPicture(half).rows(), Parallelogram{{6, 11, 1}, {1, 6, 6}}, 0, out));
    EXPECT_EQ(out.width, 11);
    EXPECT_EQ(out.height, 11);
    EXPECT_EQ(out.pixel(0, 0)[0], 250);  // outside the diamond
    EXPECT_EQ(out.pixel(1, 5)[0], 10);   // inside, dark half
    // A square reaching past the picture's corner: what lies beyond the
    // picture is light too.
    std::vector<std::vector<int>> block(12, std::vector<int>(12, 250));
    for (int y = 8; y < 12; ++y)
        for (int x = 8; x < 12; ++x)
            block[size_t(y)][size_t(x)] = 10;
    ASSERT_TRUE(cropParallelogram(greyPicture(block).rows(), Parallelogram{{8, 13, 8}, {8, 8, 13}}, 0, out));
    EXPECT_EQ(out.width, 6);
    EXPECT_EQ(out.pixel(0, 0)[0], 10);
    EXPECT_EQ(out.pixel(5, 5)[0], 250);
}
