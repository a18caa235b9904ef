#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/about_lines.h"
#include "shell/results_text.h"

namespace {

std::vector<int> refreshLimits;

void recordRefresh(int limit) {
    refreshLimits.push_back(limit);
}

TEST(AboutLines, TwiceGivesSixLinesNewestFirstEachFollowedByARefresh) {
    clearResultsText();
    refreshLimits.clear();
    prependResultLine("Start program!");
    prependAboutLines(recordRefresh);
    prependAboutLines(recordRefresh);

    const std::string notice = kAboutLines[2];
    EXPECT_FALSE(notice.empty());
    const std::string block = notice + "\r\nVersion 1.000\r\nTessaread\r\n";
    EXPECT_EQ(std::string(ResultsText), block + block + "Start program!\r\n");
    EXPECT_EQ(refreshLimits, std::vector<int>(6, 29998));
}

}  // namespace
