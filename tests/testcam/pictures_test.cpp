// The test camera's picture handling: which BMP files it accepts, how it
// picks and times the pictures, and the samples it writes.
#include "tools/testcam/pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>
#include "frame/packed_frame.h"

namespace {

using testcam::BmpLayout;

struct BmpRecipe {
    int32_t width = 3;
    int32_t height = 2;  // negative: top-down
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t infoSize = 40;
    uint16_t planes = 1;
    int offsetShift = 0;  // added to the pixel offset in the header
    int cut = 0;          // bytes removed from the end of the file
};

void put(std::vector<uint8_t>& out, size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// A BMP file whose pixel bytes count up from 1, row after row in file order.
std::vector<uint8_t> makeBmp(const BmpRecipe& s) {
    const uint32_t rows = static_cast<uint32_t>(s.height < 0 ? -static_cast<int64_t>(s.height) : s.height);
    const auto stride = static_cast<uint32_t>(frameStride(s.width));
    const uint32_t offset = 14 + s.infoSize;
    std::vector<uint8_t> file(offset + static_cast<size_t>(stride) * rows, 0);
    file[0] = 'B';
    file[1] = 'M';
    put(file, 2, static_cast<uint32_t>(file.size()), 4);
    put(file, 10, static_cast<uint32_t>(static_cast<int>(offset) + s.offsetShift), 4);
    put(file, 14, s.infoSize, 4);
    put(file, 18, static_cast<uint32_t>(s.width), 4);
    put(file, 22, static_cast<uint32_t>(s.height), 4);
    put(file, 26, s.planes, 2);
    put(file, 28, s.bits, 2);
    put(file, 30, s.compression, 4);
    for (size_t i = offset; i < file.size(); ++i) {
        file[i] = static_cast<uint8_t>(i - offset + 1);
    }
    file.resize(file.size() - static_cast<size_t>(s.cut));
    return file;
}

bool layoutOf(const std::vector<uint8_t>& file, BmpLayout& layout) {
    return testcam::readBmpLayout(file.data(), file.size(), file.size(), layout);
}

TEST(TestcamBmp, AcceptsOnlyUncompressed24BitFilesWholeInside) {
    struct Case {
        const char* name;
        BmpRecipe recipe;
        bool accepted;
    };
    const Case cases[] = {
        {"bottom-up", {}, true},
        {"top-down", {3, -2}, true},
        {"V5 header", {3, 2, 24, 0, 124}, true},
        {"one pixel", {1, 1}, true},
        {"8 bits", {3, 2, 8}, false},
        {"32 bits", {3, 2, 32}, false},
        {"run-length compressed", {3, 2, 24, 1}, false},
        {"bit fields", {3, 2, 24, 3}, false},
        {"core header", {3, 2, 24, 0, 12}, false},
        {"two planes", {3, 2, 24, 0, 40, 2}, false},
        {"zero width", {0, 2}, false},
        {"zero height", {3, 0}, false},
        {"too wide", {testcam::kMaxPictureSide + 1, 1}, false},
        {"too tall, top-down", {1, -(testcam::kMaxPictureSide + 1)}, false},
        {"pixels inside the header", {3, 2, 24, 0, 40, 1, -1}, false},
        {"last row one byte short", {3, 2, 24, 0, 40, 1, 0, 1}, false},
        {"rows start past the end", {3, 2, 24, 0, 40, 1, 100}, false},
    };
    for (const Case& c : cases) {
        BmpLayout layout;
        EXPECT_EQ(layoutOf(makeBmp(c.recipe), layout), c.accepted) << c.name;
    }
}

TEST(TestcamBmp, RefusesDamagedHeaders) {
    std::vector<uint8_t> file = makeBmp({});
    BmpLayout layout;
    EXPECT_FALSE(testcam::readBmpLayout(file.data(), testcam::kBmpHeaderBytes - 1, file.size(), layout));
    EXPECT_FALSE(testcam::readBmpLayout(nullptr, 0, 0, layout));
    file[1] = 'A';
    EXPECT_FALSE(layoutOf(file, layout));

    file = makeBmp({});
    put(file, 22, static_cast<uint32_t>(INT32_MIN), 4);
    EXPECT_FALSE(layoutOf(file, layout));
    file = makeBmp({});
    put(file, 14, 0xFFFFFFF8u, 4);  // a header size that wraps 14 + size
    EXPECT_FALSE(layoutOf(file, layout));
}

TEST(TestcamBmp, LayoutAndRowsBottomRowFirst) {
    // 3 x 2: rows of 9 pixel bytes padded to 12.
    const std::vector<uint8_t> up = makeBmp({});
    BmpLayout layout;
    ASSERT_TRUE(layoutOf(up, layout));
    EXPECT_EQ(layout.width, 3);
    EXPECT_EQ(layout.height, 2);
    EXPECT_FALSE(layout.topDown);
    EXPECT_EQ(layout.pixelOffset, 54u);
    EXPECT_EQ(layout.stride, 12u);
    std::vector<uint8_t> rows;
    ASSERT_TRUE(testcam::readBmpRows(up.data(), up.size(), layout, rows));
    EXPECT_EQ(rows, std::vector<uint8_t>(up.begin() + 54, up.end()));

    // Top-down: the file's second row is the bottom one.
    const std::vector<uint8_t> down = makeBmp({3, -2});
    ASSERT_TRUE(layoutOf(down, layout));
    EXPECT_TRUE(layout.topDown);
    ASSERT_TRUE(testcam::readBmpRows(down.data(), down.size(), layout, rows));
    std::vector<uint8_t> want(down.begin() + 54 + 12, down.end());
    want.insert(want.end(), down.begin() + 54, down.begin() + 54 + 12);
    EXPECT_EQ(rows, want);
}

TEST(TestcamBmp, RowsRefusedWhenTheFileNoLongerMatches) {
    const std::vector<uint8_t> file = makeBmp({});
    BmpLayout layout;
    ASSERT_TRUE(layoutOf(file, layout));
    std::vector<uint8_t> rows;
    // Cut off since its header was read.
    EXPECT_FALSE(testcam::readBmpRows(file.data(), file.size() - 1, layout, rows));
    // Replaced by a picture of another size.
    const std::vector<uint8_t> other = makeBmp({4, 2});
    EXPECT_FALSE(testcam::readBmpRows(other.data(), other.size(), layout, rows));
}

TEST(TestcamPictures, FirstGoodFileSetsTheSizeOthersAreSkipped) {
    BmpLayout big;
    big.width = 640;
    big.height = 480;
    BmpLayout small = big;
    small.width = 320;
    small.height = 240;
    BmpLayout bigTopDown = big;
    bigTopDown.topDown = true;

    const testcam::PictureChoice c =
        testcam::choosePictures({nullptr, &big, &small, &bigTopDown, nullptr});
    EXPECT_EQ(c.width, 640);
    EXPECT_EQ(c.height, 480);
    EXPECT_EQ(c.played, (std::vector<size_t>{1, 3}));
    EXPECT_EQ(c.skipped, (std::vector<size_t>{0, 2, 4}));

    const testcam::PictureChoice none = testcam::choosePictures({nullptr, nullptr});
    EXPECT_EQ(none.width, testcam::kGreyWidth);
    EXPECT_EQ(none.height, testcam::kGreyHeight);
    EXPECT_TRUE(none.played.empty());
    EXPECT_EQ(none.skipped.size(), 2u);
}

TEST(TestcamPictures, EachPictureInTurnThenFromTheStart) {
    struct Case {
        int64_t elapsed;
        int64_t per;
        size_t count;
        size_t picture;
    };
    const Case cases[] = {
        {0, 2000, 8, 0},     {1999, 2000, 8, 0}, {2000, 2000, 8, 1},  {15999, 2000, 8, 7},
        {16000, 2000, 8, 0}, {2000, 2000, 1, 0}, {5000, 2000, 0, 0},  {-1, 2000, 8, 0},
        {5000, 0, 8, 0},     {INT64_MAX, 100, 3, static_cast<size_t>((INT64_MAX / 100) % 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(testcam::pictureAt(c.elapsed, c.per, c.count), c.picture)
            << c.elapsed << " ms, " << c.per << " ms each, " << c.count << " pictures";
    }
}

TEST(TestcamPictures, SecondsPerPicture) {
    struct Case {
        const char* text;
        int64_t milliseconds;
    };
    const int64_t fallback = testcam::kDefaultMillisecondsPerPicture;
    const Case cases[] = {
        {"2", 2000},         {"0.5", 500},        {".5", 500},         {"3.", 3000},
        {"1.25", 1250},      {"1.2345", 1234},    {"0.1", 100},        {"86400", 86400000},
        {"", fallback},      {".", fallback},     {"abc", fallback},   {"-1", fallback},
        {"+1", fallback},    {"1e3", fallback},   {"1,5", fallback},   {"1.2.3", fallback},
        {"0.05", fallback},  {"0", fallback},     {"86401", fallback}, {"99999999999999999999", fallback},
        {" 2", fallback},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(testcam::parseSecondsAsMilliseconds(c.text), c.milliseconds) << '"' << c.text << '"';
    }
    EXPECT_EQ(testcam::parseSecondsAsMilliseconds(nullptr), fallback);
}

TEST(TestcamSamples, SizesOfBothDepths) {
    EXPECT_EQ(testcam::sampleBytes(640, 480, 24), 921600u);
    EXPECT_EQ(testcam::sampleBytes(640, 480, 32), 1228800u);
    EXPECT_EQ(testcam::sampleBytes(3, 2, 24), 24u);  // rows padded to 12
    EXPECT_EQ(testcam::sampleBytes(3, 2, 32), 24u);
    EXPECT_EQ(testcam::sampleBytes(3, 2, 16), 0u);
    EXPECT_EQ(testcam::sampleBytes(0, 2, 24), 0u);
    EXPECT_EQ(testcam::sampleBytes(testcam::kMaxPictureSide + 1, 1, 24), 0u);
}

TEST(TestcamSamples, PictureInEitherDepthOrGrey) {
    const std::vector<uint8_t> file = makeBmp({});
    BmpLayout layout;
    ASSERT_TRUE(layoutOf(file, layout));
    std::vector<uint8_t> rows;
    ASSERT_TRUE(testcam::readBmpRows(file.data(), file.size(), layout, rows));

    std::vector<uint8_t> sample(64, 0xEE);
    ASSERT_EQ(testcam::writeSample(rows, 3, 2, 24, sample.data(), sample.size()), 24u);
    EXPECT_TRUE(std::equal(rows.begin(), rows.end(), sample.begin()));
    EXPECT_EQ(sample[24], 0xEE);  // nothing past the sample

    ASSERT_EQ(testcam::writeSample(rows, 3, 2, 32, sample.data(), sample.size()), 24u);
    const std::vector<uint8_t> want32 = {
        1,  2,  3,  0xFF, 4,  5,  6,  0xFF, 7,  8,  9,  0xFF,   // bottom row
        13, 14, 15, 0xFF, 16, 17, 18, 0xFF, 19, 20, 21, 0xFF};  // top row
    EXPECT_TRUE(std::equal(want32.begin(), want32.end(), sample.begin()));

    // No picture, or one of another size: plain grey of the camera's size.
    for (const std::vector<uint8_t>& r : {std::vector<uint8_t>(), std::vector<uint8_t>(12, 1)}) {
        std::fill(sample.begin(), sample.end(), 0xEE);
        ASSERT_EQ(testcam::writeSample(r, 3, 2, 24, sample.data(), sample.size()), 24u);
        EXPECT_EQ(std::count(sample.begin(), sample.begin() + 24, testcam::kGreyLevel), 24);
        EXPECT_EQ(sample[24], 0xEE);
    }

    // A sample buffer too small for the picture is left alone.
    std::fill(sample.begin(), sample.end(), 0xEE);
    EXPECT_EQ(testcam::writeSample(rows, 3, 2, 32, sample.data(), 23), 0u);
    EXPECT_EQ(testcam::writeSample(rows, 3, 2, 24, nullptr, 64), 0u);
    EXPECT_EQ(std::count(sample.begin(), sample.end(), 0xEE), 64);
}

}  // namespace
