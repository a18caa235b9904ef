#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "shell/results_text.h"

namespace {

class ResultsTextTest : public ::testing::Test {
protected:
    void SetUp() override { clearResultsText(); }

    static std::string text() { return ResultsText; }

    // Fills the text with lines of `width` characters (CR LF included)
    // until it holds at least `length` characters; the oldest line is the
    // first one put in.
    static void fillWithLines(size_t length, size_t width) {
        int number = 0;
        while (std::strlen(ResultsText) < length) {
            std::string line = std::to_string(number++);
            line.resize(width - 2, '.');
            prependResultLine(line.c_str());
        }
    }
};

TEST_F(ResultsTextTest, NewLinesGoOnTopEachEndedByCrLf) {
    prependResultLine("Start program!");
    EXPECT_EQ(text(), "Start program!\r\n");
    prependResultLine("second");
    prependResultLine("third");
    EXPECT_EQ(text(), "third\r\nsecond\r\nStart program!\r\n");
}

TEST_F(ResultsTextTest, FirstCutRemovesOnlyTheOldestLineEnd) {
    // 29,990 characters and a 10-character line make 30,000: one cut, and
    // since the text ends in CR LF that cut takes just the final CR LF.
    std::string oldest(29990 - 2, 'x');
    prependResultLine(oldest.c_str());
    ASSERT_EQ(std::strlen(ResultsText), 29990u);
    prependResultLine("0123456789");
    EXPECT_EQ(text(), "0123456789\r\n" + oldest);
}

TEST_F(ResultsTextTest, CutsUntilBelowTheUpperBound) {
    fillWithLines(29900, 100);
    prependResultLine("Start");  // still below the first bound
    const std::string before = text();
    const std::string line(200, 'n');
    prependResultLine(line.c_str());
    const std::string after = text();
    EXPECT_LT(after.size(), 30098u + 2);
    EXPECT_EQ(after.substr(0, 202), line + "\r\n");
    // What stays is the newest part of the old text, cut at a line end.
    const std::string kept = after.substr(202);
    EXPECT_EQ(before.compare(0, kept.size(), kept), 0);
    EXPECT_EQ(before[kept.size()], '\r');
}

TEST_F(ResultsTextTest, CarriageReturnInsideALineCountsAsALineEnd) {
    std::string filler(29990 - 2, 'x');
    prependResultLine(filler.c_str());
    prependResultLine("a\rb");  // 29,995 characters now
    prependResultLine("0123456789");
    // First cut: the final CR LF; the oldest line loses nothing else.
    EXPECT_EQ(text(), "0123456789\r\na\rb\r\n" + filler);
}

TEST_F(ResultsTextTest, TrimmingEndsForTextWithoutCarriageReturn) {
    // Only reachable by a line that alone comes near the bound.
    std::string huge(40000, 'h');
    prependResultLine(huge.c_str());
    EXPECT_LE(std::strlen(ResultsText), 30099u);
    prependResultLine(huge.c_str());
    EXPECT_LE(std::strlen(ResultsText), 30099u);
    EXPECT_EQ(text().substr(0, 10), std::string(10, 'h'));
    prependResultLine("after");
    EXPECT_EQ(text().substr(0, 7), "after\r\n");
}

TEST_F(ResultsTextTest, RandomLinesKeepTheBoundAndTheNewestLineFirst) {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> lengthOf(0, 2000);
    std::uniform_int_distribution<int> byteOf(1, 255);
    for (int i = 0; i < 3000; ++i) {
        std::string line(static_cast<size_t>(lengthOf(random)), ' ');
        for (char& c : line) {
            c = static_cast<char>(byteOf(random));
        }
        prependResultLine(line.c_str());
        const size_t length = std::strlen(ResultsText);
        ASSERT_LE(length, 30099u);
        ASSERT_EQ(std::memcmp(ResultsText, line.data(), line.size()), 0);
        ASSERT_EQ(ResultsText[line.size()], '\r');
        ASSERT_EQ(ResultsText[line.size() + 1], '\n');
    }
}

}  // namespace
