#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "recognition/recognition.h"
#include "shell/frame_exchange.h"
#include "tests/support/frame_render.h"

namespace {

using frame_render::Frame;
using frame_render::ModuleGrid;
using frame_render::Placement;

// Records what the cycle hands to the results window and the stage trace.
struct Observed {
    std::vector<std::string> lines;
    std::vector<int> refreshLimits;
    std::vector<std::string> trace;

    int count(const std::string& message) const {
        int n = 0;
        for (const auto& m : trace) {
            n += m == message;
        }
        return n;
    }
};

Observed* observed = nullptr;

int recordLine(const char* line) {
    observed->lines.emplace_back(line);
    return 0;
}

void recordRefresh(int limit) {
    observed->refreshLimits.push_back(limit);
}

void recordTrace(const char* text, void*) {
    observed->trace.emplace_back(text);
}

const ResultsRoutines kRecordingRoutines = {recordLine, recordRefresh};

class RecognitionCycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        observed = &seen;
        buffer.assign(frameBufferCapacity, 0);
        frameExchange.frameBuffer = buffer.data();
        frameExchange.frameBufferSize = buffer.size();
        setResultsRoutines(&kRecordingRoutines);
        setDebugSink(recordTrace, nullptr);
        PairSelector = 0;
        LastDecodedText[0] = '\0';
        LastEncodationMode = 0;
    }

    void TearDown() override {
        setDebugSink(nullptr, nullptr);
        setResultsRoutines(nullptr);
        frameExchange.frameBuffer = nullptr;
        frameExchange.frameReady.store(0);
        observed = nullptr;
    }

    // Puts a frame into the exchange as the grab does: a 40-byte header,
    // then the rows.
    void offer(const Frame& frame) {
        ASSERT_TRUE(frameFits(frame.width, frame.height));
        std::memcpy(buffer.data() + kFrameHeaderSize, frame.pixels.data(), frame.pixels.size());
        frameExchange.videoWidth = frame.width;
        frameExchange.videoHeight = frame.height;
        frameExchange.frameReady.store(1, std::memory_order_release);
    }

    std::string runCycle(const Frame& frame) {
        seen = Observed();
        offer(frame);
        RecognitionCycle();
        EXPECT_EQ(frameExchange.frameReady.load(), 0);
        EXPECT_EQ(seen.lines.size(), 1u);
        EXPECT_EQ(seen.refreshLimits, std::vector<int>{29998});
        return seen.lines.empty() ? std::string() : seen.lines.back();
    }

    static Frame symbolFrame(const std::string& text, int rows, int cols) {
        ModuleGrid grid;
        EXPECT_TRUE(frame_render::encodeWithZint(rows, cols, text, grid));
        Placement at;
        at.centerX = 320;
        at.centerY = 240;
        at.moduleSize = 8;
        return frame_render::renderFrame(640, 480, grid, at);
    }

    static std::string afterPrefix(const std::string& line) {
        const size_t dash = line.find(" - ");
        return dash == std::string::npos ? line : line.substr(dash + 3);
    }

    std::vector<uint8_t> buffer;
    Observed seen;
};

TEST_F(RecognitionCycleTest, FailedCycleTriesBothKindsOfItsPairAndSwitchesPair) {
    const Frame blank = frame_render::uniformFrame(640, 480, 200);
    EXPECT_EQ(afterPrefix(runCycle(blank)), "None");
    EXPECT_EQ(seen.count("Start 3 started...\n"), 2);
    EXPECT_EQ(PairSelector, 1);
    EXPECT_EQ(afterPrefix(runCycle(blank)), "None");
    EXPECT_EQ(seen.count("Start 3 started...\n"), 2);
    EXPECT_EQ(PairSelector, 0);
}

TEST_F(RecognitionCycleTest, DecodedCycleKeepsItsPairAndRunsOneAttempt) {
    const Frame frame = symbolFrame("Tessaread 42", 16, 16);
    for (int pair = 0; pair < 2; ++pair) {
        PairSelector = pair;
        EXPECT_EQ(afterPrefix(runCycle(frame)), "Tessaread 42 (ASCII)");
        EXPECT_EQ(seen.count("Start 3 started...\n"), 1);
        EXPECT_EQ(PairSelector, pair);
    }
}

// A grey level whose grey value the detector computes exactly, so that
// the histogram's valley lands on it.
int exactGreyLevel() {
    for (int level = 200; level > 150; --level) {
        const double grey = 0.707 * level + 0.222 * level + 0.071 * level;
        if (grey == level) {
            return level;
        }
    }
    return 0;
}

TEST_F(RecognitionCycleTest, SecondAttemptOfThePairDecodesWhenTheFirstFails) {
    // Light modules a shade of grey on a white page: the histogram valley
    // lies at that shade, so kind 0 takes the light modules for dark and
    // sees a solid square; kind 1, thirty levels lower, reads the symbol.
    ModuleGrid grid;
    ASSERT_TRUE(frame_render::encodeWithZint(12, 12, "pair", grid));
    Placement at;
    at.centerX = 320;
    at.centerY = 240;
    at.moduleSize = 8;
    Frame frame = frame_render::renderFrame(640, 480, grid, at);
    const int level = exactGreyLevel();
    ASSERT_GT(level, 0);
    const uint8_t page = frame.pixels[0];
    ASSERT_GT(page, level);
    const int half = 6 * 8;
    for (int y = 240 - half; y < 240 + half; ++y) {
        for (int x = 320 - half; x < 320 + half; ++x) {
            uint8_t* p = &frame.pixels[static_cast<size_t>(y) * frame.stride + 3 * x];
            if (p[0] == page) {
                p[0] = p[1] = p[2] = static_cast<uint8_t>(level);
            }
        }
    }
    PairSelector = 0;
    EXPECT_EQ(afterPrefix(runCycle(frame)), "pair (ASCII)");
    EXPECT_EQ(seen.count("Start 3 started...\n"), 2);
    EXPECT_EQ(LastAttemptRecord.decodedKind, 1);
    EXPECT_EQ(PairSelector, 0);
}

TEST_F(RecognitionCycleTest, TraceNestsTheStagesOfADecodedCycle) {
    runCycle(symbolFrame("12345678", 12, 12));
    std::vector<std::string> stages;
    for (const auto& m : seen.trace) {
        if (m.rfind("Start ", 0) == 0) {
            stages.push_back(m.substr(0, m.find(' ', 6)) + (m.find("started") != std::string::npos ? "+" : "-"));
        }
    }
    const std::vector<std::string> expected = {
        "Start 1+", "Start 3+", "Start 4+", "Start 45+", "Start 5+",
        "Start 5-", "Start 45-", "Start 4-", "Start 3-", "Start 2+", "Start 2-", "Start 1-"};
    EXPECT_EQ(stages, expected);
}

TEST_F(RecognitionCycleTest, FailedCycleKeepsThePreviousTextForLaterCycles) {
    runCycle(symbolFrame("first", 12, 12));
    EXPECT_STREQ(LastDecodedText, "first");
    runCycle(frame_render::uniformFrame(640, 480, 30));
    EXPECT_STREQ(LastDecodedText, "first");
}

TEST(ResultLine, TimePrefixHasNoLeadingZeros) {
    char line[kResultLineCapacity];
    const LocalTime time = {2009, 3, 7, 9, 5, 4, 42};
    composeResultLine(line, time, false, "", 0);
    EXPECT_STREQ(line, "2009.3.7 9:5:4:42 - None");
}

TEST(ResultLine, ModeLabels) {
    const struct {
        int32_t mode;
        const char* label;
    } cases[] = {{0, "ASCII"}, {1, "ASCII"}, {3, "C40"}, {4, "TEXT"}, {5, "X12"},
                 {6, "EDIFACT"}, {7, "B256"}, {2, ""}, {8, ""}, {-1, ""}};
    const LocalTime time = {2026, 12, 8, 18, 0, 0, 0};
    for (const auto& c : cases) {
        char line[kResultLineCapacity];
        composeResultLine(line, time, true, "X", c.mode);
        EXPECT_EQ(std::string(line), std::string("2026.12.8 18:0:0:0 - X (") + c.label + ")")
            << "mode " << c.mode;
    }
}

TEST(ResultLine, LongestTextFitsWithItsLabel) {
    const std::string text(kDecodedTextCapacity - 1, 'w');
    const LocalTime time = {65535, 12, 31, 23, 59, 59, 999};
    char line[kResultLineCapacity];
    const int length = composeResultLine(line, time, true, text.c_str(), MODE_EDIFACT);
    const std::string expected = "65535.12.31 23:59:59:999 - " + text + " (EDIFACT)";
    EXPECT_EQ(std::string(line), expected);
    EXPECT_EQ(length, static_cast<int>(expected.size()));
}

TEST(FrameLayout, StrideAndPackedSize) {
    EXPECT_EQ(frameStride(640), 1920);
    EXPECT_EQ(frameStride(321), 964);
    EXPECT_EQ(frameStride(5), 16);
    EXPECT_EQ(packedFrameSize(640, 480), 921640);
    EXPECT_TRUE(frameFits(1280, 959));
    EXPECT_FALSE(frameFits(1280, 960));  // the 40 header bytes do not fit
    EXPECT_FALSE(frameFits(0, 480));
    EXPECT_FALSE(frameFits(640, -1));
    EXPECT_FALSE(frameFits(0x7fffffff, 0x7fffffff));
}

TEST_F(RecognitionCycleTest, FrameLargerThanTheBufferIsNotRead) {
    frameExchange.videoWidth = 1280;
    frameExchange.videoHeight = 960;
    frameExchange.frameReady.store(1);
    seen = Observed();
    RecognitionCycle();
    ASSERT_EQ(seen.lines.size(), 1u);
    EXPECT_EQ(afterPrefix(seen.lines[0]), "None");
}

}  // namespace
