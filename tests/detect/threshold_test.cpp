#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "detect/recognizer.h"
#include "tests/support/frame_builder.h"

namespace {

using frame_builder::Frame;

// One row holding `count` grey pixels of each level. The levels used here
// have a grey value that truncates to the level itself.
Frame greyLevels(const std::map<int, int>& counts)
{
    int width = 0;
    for (const auto& level : counts) {
        width += level.second;
    }
    Frame frame = frame_builder::solidFrame(width, 1, 0, 0, 0);
    int x = 0;
    for (const auto& level : counts) {
        for (int k = 0; k < level.second; ++k) {
            frame.setGrey(x++, 0, uint8_t(level.first));
        }
    }
    return frame;
}

int thresholdOf(const Frame& frame, DetectFlags flags, int fixed = 210)
{
    auto r = frame_builder::makeRecognizer(frame);
    r->chooseThreshold(fixed, flags);
    return r->threshold;
}

TEST(HistogramThreshold, ValleyBelowTheBrightPeak)
{
    struct Case {
        std::map<int, int> counts;
        int valley;
        const char* why;
    };
    const Case cases[] = {
        {{{200, 50}, {20, 20}}, 20, "first rising bin below the peak"},
        {{{200, 50}, {150, 30}, {100, 20}}, 150, "a deep dip is not smoothed"},
        // Bin 151 dips between the small spike at 150 and the empty 152:
        // smoothing lifts it to 2, and the search stops there.
        {{{200, 50}, {150, 5}, {100, 20}}, 151, "smoothing works in place"},
        {{{180, 77}}, 0, "uniform image: no valley"},
        {{{200, 10}, {50, 100}}, 0, "bright peak too low: no valley"},
    };
    for (const Case& c : cases) {
        const Frame frame = greyLevels(c.counts);
        EXPECT_EQ(thresholdOf(frame, DETECT_HIST_VALLEY), c.valley) << c.why;
        const int darker = c.valley - 30 < 0 ? 0 : c.valley - 30;
        EXPECT_EQ(thresholdOf(frame, DETECT_HIST_VALLEY_DARKER), darker) << c.why;
        // The histogram excludes the mean methods and the fixed value.
        EXPECT_EQ(thresholdOf(frame, DETECT_HIST_VALLEY | DETECT_MEAN_LOWERED | DETECT_MEAN_RAISED),
                  c.valley);
    }
}

// Two pixels whose brightest bytes are a and b; the other bytes are lower.
Frame brightnessPair(uint8_t a, uint8_t b)
{
    Frame frame = frame_builder::solidFrame(2, 1, 0, 0, 0);
    frame.set(0, 0, uint8_t(a / 2), a, uint8_t(a / 4));
    frame.set(1, 0, uint8_t(b / 5), uint8_t(b / 3), b);
    return frame;
}

TEST(MeanThreshold, LoweredAndRaisedAroundTheirLimits)
{
    struct Case {
        uint8_t a, b;
        DetectFlags flags;
        int expected;
    };
    const Case cases[] = {
        {60, 60, DETECT_MEAN_LOWERED, 60},
        {61, 61, DETECT_MEAN_LOWERED, 21},
        {60, 61, DETECT_MEAN_LOWERED, 60},  // 60.5 truncates
        {0, 0, DETECT_MEAN_LOWERED, 0},
        {230, 230, DETECT_MEAN_RAISED, 230},
        {229, 229, DETECT_MEAN_RAISED, 239},
        {229, 230, DETECT_MEAN_RAISED, 239},  // 229.5 truncates
        {255, 255, DETECT_MEAN_RAISED, 255},
        // Both at once: the raised value replaces the lowered one.
        {100, 100, DETECT_MEAN_LOWERED | DETECT_MEAN_RAISED, 110},
        {7, 9, 0, 210},
        {7, 9, 0x20 | DETECT_LOG | DETECT_PAINT_LINES, 210},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(thresholdOf(brightnessPair(c.a, c.b), c.flags), c.expected)
            << int(c.a) << "," << int(c.b) << " flags " << c.flags;
    }
}

TEST(MeanThreshold, LargeFrameSumsWithoutOverflow)
{
    const Frame frame = frame_builder::solidFrame(4096, 2100, 250, 250, 250);
    EXPECT_EQ(thresholdOf(frame, DETECT_MEAN_LOWERED), 210);
}

std::vector<uint8_t> classify(const Frame& frame, int threshold, DetectFlags flags)
{
    auto r = frame_builder::makeRecognizer(frame);
    r->threshold = threshold;
    r->classifyPixels(flags);
    std::vector<uint8_t> blue;
    for (int x = 0; x < frame.width; ++x) {
        const uint8_t* p = r->pixels + 3 * x;
        EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]);
        blue.push_back(p[0]);
    }
    return blue;
}

TEST(Classification, AValueEqualToTheThresholdIsDark)
{
    Frame frame = frame_builder::solidFrame(4, 1, 0, 0, 0);
    frame.set(0, 0, 100, 100, 100);
    frame.set(1, 0, 100, 101, 100);  // grey 100.707
    frame.set(2, 0, 0, 0, 101);      // red alone above the threshold
    frame.set(3, 0, 99, 99, 99);
    const std::vector<uint8_t> byBytes = {0, 255, 255, 0};
    EXPECT_EQ(classify(frame, 100, 0), byBytes);
    EXPECT_EQ(classify(frame, 100, DETECT_MEAN_LOWERED), byBytes);
    // By grey value: 100 exactly is not above 100; red 101 weighs 7.171.
    const std::vector<uint8_t> byGrey = {0, 255, 0, 0};
    EXPECT_EQ(classify(frame, 100, DETECT_HIST_VALLEY), byGrey);
    EXPECT_EQ(classify(frame, 100, DETECT_HIST_VALLEY_DARKER), byGrey);
}

TEST(Classification, RowPaddingIsLeftAlone)
{
    const Frame frame = frame_builder::solidFrame(5, 3, 10, 10, 10);
    auto r = frame_builder::makeRecognizer(frame);
    r->threshold = 0;
    r->classifyPixels(0);
    r->markBoundaries();
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(r->pixels[y * 16 + 15], 0xEE);
    }
}

std::vector<std::string> marked(const std::vector<std::string>& rows)
{
    auto r = frame_builder::makeRecognizer(frame_builder::frameFromRows(rows));
    r->markBoundaries();
    return frame_builder::classRows(*r);
}

TEST(BoundaryMarking, FourNeighboursInsideTheImageOnly)
{
    // Borders count as neither light nor dark; diagonal light does not mark.
    EXPECT_EQ(marked({"###", "###", "###"}), (std::vector<std::string>{"###", "###", "###"}));
    EXPECT_EQ(marked({".##", "###", "###"}), (std::vector<std::string>{".e#", "e##", "###"}));
    EXPECT_EQ(marked({"###.", "####", "####", "####"}),
              (std::vector<std::string>{"##e.", "###e", "####", "####"}));
    EXPECT_EQ(marked({"#####", "#####", "##.##", "#####", "#####"}),
              (std::vector<std::string>{"#####", "##e##", "#e.e#", "##e##", "#####"}));
    // A mark made earlier in the pass does not spread.
    EXPECT_EQ(marked({"....", "####", "####"}), (std::vector<std::string>{"....", "eeee", "####"}));
    EXPECT_EQ(marked({"#"}), (std::vector<std::string>{"#"}));
    EXPECT_EQ(marked({"#."}), (std::vector<std::string>{"e."}));
}

TEST(BoundaryMarking, MarkedPixelsAreBlueOnly)
{
    auto r = frame_builder::makeRecognizer(frame_builder::frameFromRows({"#."}));
    r->markBoundaries();
    EXPECT_EQ(r->pixels[0], EDGE_MARK);
    EXPECT_EQ(r->pixels[1], 0);
    EXPECT_EQ(r->pixels[2], 0);
}

}  // namespace

// The grey value as written in the detector's description, for the checks
// of the quick forms below.
double plainGrey(const uint8_t* p)
{
    return 0.707 * p[1] + 0.222 * p[0] + 0.071 * p[2];
}

// Every 24-bit colour once, in rows of an odd width (so that the rows have
// padding and end in a part of a block of pixels).
Frame everyColour()
{
    const int width = 4099;
    const int height = (1 << 24) / width + 1;
    Frame frame = frame_builder::solidFrame(width, height, 0, 0, 0);
    for (int i = 0; i < width * height; ++i) {
        const uint32_t c = uint32_t(i) & 0xFFFFFF;
        frame.set(i % width, i / width, uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16));
    }
    return frame;
}

// Rows of greys (three equal bytes), each broken by one colour pixel at a
// place of its own (or at none), so that the greys' own path hands over to
// the general one at every offset.
Frame greyRows(int width, int height)
{
    Frame frame = frame_builder::solidFrame(width, height, 0, 0, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            frame.setGrey(x, y, uint8_t(x * 7 + y * 13));
        }
        // One byte off by one: blue, green or red by turns.
        const int x = y % (width + 1);
        if (x < width) {
            const uint8_t v = uint8_t(y);
            const int k = y % 3;
            frame.set(x, y, uint8_t(v + (k == 0)), uint8_t(v + (k == 1)), uint8_t(v + (k == 2)));
        }
    }
    return frame;
}

void expectAgreesWithTheFormula(const Frame& frame)
{
    auto image = frame_builder::makeRecognizer(frame);
    std::vector<int> bins(256);
    image->greyHistogram(bins.data());
    std::vector<int> expectedBins(256);
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const int bin = int(plainGrey(&frame.pixels[size_t(y) * frame.stride + 3 * x]));
            expectedBins[bin > 255 ? 255 : bin] += 1;
        }
    }
    EXPECT_EQ(bins, expectedBins);

    // The same count when it keeps each pixel's level, the smallest whole
    // number not below its grey value.
    FrameStatistics shared;
    std::vector<uint8_t> levels(size_t(frame.width) * frame.height);
    shared.levels = levels.data();
    shared.levelCapacity = levels.size();
    image->frameStatistics = &shared;
    image->chooseThreshold(210, DETECT_HIST_VALLEY);
    EXPECT_EQ(std::vector<int>(shared.histogram, shared.histogram + 256), expectedBins);
    long long wrongLevels = 0;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const double grey = plainGrey(&frame.pixels[size_t(y) * frame.stride + 3 * x]);
            wrongLevels += levels[size_t(y) * frame.width + x] != std::ceil(grey);
        }
    }
    EXPECT_EQ(wrongLevels, 0);

    // Thresholds at both ends and where grey values of whole numbers lie
    // on either side of the integer.
    for (const int threshold : {-1, 0, 1, 9, 53, 100, 191, 245, 253, 254, 255, 256}) {
        auto r = frame_builder::makeRecognizer(frame);
        r->threshold = threshold;
        r->classifyPixels(DETECT_HIST_VALLEY);
        long long wrong = 0;
        for (int y = 0; y < frame.height; ++y) {
            const size_t row = size_t(y) * frame.stride;
            for (int x = 0; x < frame.width; ++x) {
                const uint8_t expected = plainGrey(&frame.pixels[row + 3 * x]) > threshold ? 255 : 0;
                const uint8_t* p = &r->pixels[row + 3 * x];
                wrong += p[0] != expected || p[1] != expected || p[2] != expected;
            }
            wrong += std::memcmp(&r->pixels[row + 3 * frame.width], &frame.pixels[row + 3 * frame.width],
                                 frame.stride - 3 * frame.width) != 0;
        }
        EXPECT_EQ(wrong, 0) << "threshold " << threshold;
    }
}

TEST(GreyValue, HistogramLevelsAndClassesAgreeWithTheFormula)
{
    for (const Frame& frame : {everyColour(), greyRows(1031, 1100), greyRows(6, 40), greyRows(1, 4)}) {
        SCOPED_TRACE(testing::Message() << frame.width << " x " << frame.height);
        expectAgreesWithTheFormula(frame);
    }
}

// Classification and boundary marking as the detector's description words
// them, one pixel after the other.
void plainBinarise(Frame& f, int threshold, bool byGrey)
{
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            uint8_t* p = f.pixel(x, y);
            const bool light = byGrey ? plainGrey(p) > threshold
                                      : p[0] > threshold || p[1] > threshold || p[2] > threshold;
            p[0] = p[1] = p[2] = light ? 255 : 0;
        }
    }
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            uint8_t* p = f.pixel(x, y);
            const bool touches = (y > 0 && f.pixel(x, y - 1)[0] == 255) ||
                                 (y + 1 < f.height && f.pixel(x, y + 1)[0] == 255) ||
                                 (x > 0 && p[-3] == 255) || (x + 1 < f.width && p[3] == 255);
            if (p[0] != 255 && touches) {
                p[0] = EDGE_MARK;
                p[1] = p[2] = 0;
            }
        }
    }
}

// The lowered mean threshold as worded: the mean of each pixel's largest
// byte, truncated, less 40 above 60.
int plainLoweredMean(Frame& f)
{
    double sum = 0;
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            const uint8_t* p = f.pixel(x, y);
            sum += std::max({p[0], p[1], p[2]});
        }
    }
    const int mean = int(sum / (double(f.width) * f.height));
    return mean > 60 ? mean - 40 : mean;
}

TEST(Binarisation, AgreesWithThePlainPassesOnRandomFrames)
{
    // Widths around the blocks of four and five pixels and the 64-pixel
    // words, with and without row padding, and one too wide for the words;
    // noise, gradients and blotches; thresholds at pixel values.
    std::mt19937 random(13);
    for (const int width : {1, 2, 3, 4, 5, 6, 7, 8, 11, 16, 17, 21, 59, 63, 64, 65, 97, 128, 129, 640, 8193}) {
        for (int trial = 0; trial < 12; ++trial) {
            const int height = 1 + int(random() % 9);
            Frame frame = frame_builder::solidFrame(width, height, 0, 0, 0);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const int level = trial % 3 == 0 ? int(random() % 256)
                                      : trial % 3 == 1 ? (x * 7 + y * 13) % 256
                                                       : ((x / 3 + y / 2) % 2) * 200 + int(random() % 40);
                    if (trial % 2 == 0) {
                        frame.setGrey(x, y, uint8_t(level));
                    } else {
                        frame.set(x, y, uint8_t(level), uint8_t(random() % 256), uint8_t(level / 2));
                    }
                }
            }
            auto mean = frame_builder::makeRecognizer(frame);
            mean->chooseThreshold(210, DETECT_MEAN_LOWERED);
            EXPECT_EQ(mean->threshold, plainLoweredMean(frame)) << "width " << width;
            const int threshold = trial == 0 ? 0 : trial == 1 ? 255 : frame.pixel(0, 0)[1];
            for (const DetectFlags flags : {DetectFlags(DETECT_HIST_VALLEY), DetectFlags(DETECT_MEAN_LOWERED)}) {
                auto r = frame_builder::makeRecognizer(frame);
                r->threshold = threshold;
                r->binarise(flags);
                Frame expected = frame;
                plainBinarise(expected, threshold, flags == DETECT_HIST_VALLEY);
                EXPECT_TRUE(std::equal(expected.pixels.begin(), expected.pixels.end(), r->pixels))
                    << "width " << width << " height " << height << " trial " << trial;
                // The colours in a source frame of unpadded rows, the
                // working image full of stale bytes: every pixel is
                // written, the padding left alone.
                const int sourceStride = 3 * width + (trial % 2 == 0 ? 0 : 5);
                std::vector<uint8_t> source(size_t(sourceStride) * height);
                for (int y = 0; y < height; ++y) {
                    std::memcpy(&source[size_t(y) * sourceStride], frame.pixel(0, y), 3 * size_t(width));
                }
                Frame stale = expected;
                for (int y = 0; y < height; ++y) {
                    std::fill(stale.pixel(width - 1, y) + 3, stale.pixel(0, y) + stale.stride, uint8_t(0x5A));
                }
                // Two attempts sharing the frame's statistics and its kept
                // levels: the first counts and keeps them, the second uses
                // them; each from the frame in place and from the source.
                for (const bool fromSource : {false, true}) {
                    FrameStatistics shared;
                    std::vector<uint8_t> levels(size_t(width) * height);
                    shared.levels = levels.data();
                    shared.levelCapacity = levels.size();
                    for (int attempt = 0; attempt < 3; ++attempt) {
                        auto s = frame_builder::makeRecognizer(frame);
                        if (fromSource) {
                            std::fill(s->pixels, s->pixels + frame.pixels.size(), uint8_t(0x5A));
                            s->sourcePixels = source.data();
                            s->sourceStride = sourceStride;
                        }
                        // The third attempt has no statistics at all.
                        s->frameStatistics = attempt < 2 ? &shared : nullptr;
                        s->chooseThreshold(210, flags);
                        if (flags == DETECT_MEAN_LOWERED) {
                            EXPECT_EQ(s->threshold, plainLoweredMean(frame));
                        }
                        s->threshold = threshold;
                        s->binarise(flags);
                        const Frame& wanted = fromSource ? stale : expected;
                        EXPECT_TRUE(std::equal(wanted.pixels.begin(), wanted.pixels.end(), s->pixels))
                            << "width " << width << " attempt " << attempt << " source " << fromSource;
                    }
                }
            }
        }
    }
}
