#include <gtest/gtest.h>

#include <map>
#include <memory>
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
