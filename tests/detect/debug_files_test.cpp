#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "detect/recognizer.h"
#include "tests/support/frame_builder.h"

namespace fs = std::filesystem;

namespace {

// Runs each test in a fresh directory of its own, since the debug files
// go to the current directory.
class DebugFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / ("tessaread_debug_files_" + std::string(info->name()) +
                                           "_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        previous = fs::current_path();
        fs::current_path(dir);
        r = std::make_unique<Recognizer>();
    }
    void TearDown() override
    {
        fs::current_path(previous);
        fs::remove_all(dir);
    }

    static std::string read(const char* name)
    {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path dir;
    fs::path previous;
    std::unique_ptr<Recognizer> r;
};

TEST_F(DebugFilesTest, LogLinesAreStampedAndAppended)
{
    r->logEnabled = 1;
    EXPECT_EQ(r->appendLogLine("first"), 0);
    EXPECT_EQ(r->appendLogLine("2:x=3"), 0);
    const std::string log = read("r.log");
    // Seven numbers, then the text: "2024.5.1 9:7:3:45 first".
    unsigned v[7];
    char text[16] = {};
    ASSERT_EQ(std::sscanf(log.c_str(), "%u.%u.%u %u:%u:%u:%u %15[^\n]", &v[0], &v[1], &v[2], &v[3],
                          &v[4], &v[5], &v[6], text),
              8);
    EXPECT_STREQ(text, "first");
    ASSERT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
    // The stamp is that of the last line, without leading zeros.
    const LocalTime& t = r->logStamp;
    const std::string stamp = std::to_string(t.year) + "." + std::to_string(t.month) + "." +
                              std::to_string(t.day) + " " + std::to_string(t.hour) + ":" +
                              std::to_string(t.minute) + ":" + std::to_string(t.second) + ":" +
                              std::to_string(t.milliseconds) + " 2:x=3\n";
    EXPECT_EQ(log.substr(log.size() - stamp.size()), stamp);
    EXPECT_EQ(r->logFile, nullptr);
}

TEST_F(DebugFilesTest, DisabledLogWritesNothing)
{
    r->logEnabled = 0;
    EXPECT_EQ(r->appendLogLine("quiet"), 0);
    EXPECT_FALSE(fs::exists("r.log"));
    EXPECT_NE(r->logStamp.year, 0u);
}

TEST_F(DebugFilesTest, OverlongLinesAreCutBelowTenThousand)
{
    r->logEnabled = 1;
    const std::string longText(20000, 'x');
    EXPECT_EQ(r->appendLogLine(longText.c_str()), 0);
    const std::string log = read("r.log");
    EXPECT_EQ(log.size(), 9999u);
    EXPECT_EQ(log.back(), '\n');
}

TEST_F(DebugFilesTest, UnwritableLogIsSkipped)
{
    r->logEnabled = 1;
    fs::create_directory("r.log");  // a directory cannot be opened as a file
    EXPECT_EQ(r->appendLogLine("lost"), 1);
    EXPECT_EQ(r->logFile, nullptr);
}

TEST_F(DebugFilesTest, ElapsedTimeIsSevenWideWithFiveDecimals)
{
    struct Case {
        LocalTime start;
        LocalTime end;
        const char* text;
    };
    const Case cases[] = {
        {{2024, 5, 1, 10, 20, 30, 100}, {2024, 5, 1, 10, 20, 31, 334}, "1.23400"},
        {{2024, 5, 1, 10, 20, 30, 100}, {2024, 5, 1, 10, 20, 30, 100}, "0.00000"},
        {{2024, 5, 1, 10, 20, 59, 900}, {2024, 5, 1, 10, 21, 0, 50}, "0.15000"},
        {{2024, 5, 1, 10, 0, 0, 0}, {2024, 5, 1, 10, 2, 3, 4}, "123.00400"},
        // Across an hour and across midnight.
        {{2024, 5, 1, 10, 59, 59, 500}, {2024, 5, 1, 11, 0, 0, 250}, "0.75000"},
        {{2024, 5, 1, 23, 59, 59, 990}, {2024, 5, 2, 0, 0, 0, 10}, "0.02000"},
    };
    r->logEnabled = 1;
    for (const Case& c : cases) {
        fs::remove("r.log");
        r->startTime = c.start;
        r->endTime = c.end;
        r->logElapsedTime();
        EXPECT_STREQ(r->logLine, c.text);
        const std::string log = read("r.log");
        const std::string tail = std::string(" ") + c.text + "\n";
        ASSERT_GE(log.size(), tail.size());
        EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
    }
    r->startTime = {2024, 5, 1, 10, 20, 30, 0};
    r->endTime = {2024, 5, 1, 10, 20, 30, 5};
    r->logElapsedTime();
    EXPECT_STREQ(r->logLine, "0.00500");
}

TEST_F(DebugFilesTest, GridTextEndsEveryValueWithAComma)
{
    r->gridRows = 2;
    r->gridCols = 2;
    r->grid[0][0] = 1;
    r->grid[0][1] = 0;
    r->grid[1][0] = -1;
    r->grid[1][1] = 1;
    EXPECT_EQ(r->writeGridText("outt.txt"), 0);
    EXPECT_EQ(read("outt.txt"), "1,0,\n-1,1,\n");
}

TEST_F(DebugFilesTest, GridTextHoldsTheWidestRow)
{
    r->gridRows = 1;
    r->gridCols = kGridCapacity;
    for (int c = 0; c < kGridCapacity; ++c) {
        r->grid[0][c] = -1;
    }
    EXPECT_EQ(r->writeGridText("outt.txt"), 0);
    std::string expected;
    for (int c = 0; c < kGridCapacity; ++c) {
        expected += "-1,";
    }
    EXPECT_EQ(read("outt.txt"), expected + "\n");
    EXPECT_EQ(r->writeGridText("no/such/dir/outt.txt"), -1);
}

TEST_F(DebugFilesTest, BitmapHeaderIsLittleEndianAndPixelsInBufferOrder)
{
    frame_builder::Frame frame = frame_builder::solidFrame(5, 2, 0, 0, 0);
    for (size_t k = 0; k < frame.pixels.size(); ++k) {
        frame.pixels[k] = uint8_t(k * 7 + 1);
    }
    auto image = frame_builder::makeRecognizer(frame);
    EXPECT_EQ(image->writeImageBmp("out0.bmp"), 0);
    const std::string file = read("out0.bmp");
    ASSERT_EQ(file.size(), 86u);
    const std::vector<uint8_t> header = {
        'B', 'M', 86, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
        40, 0, 0, 0, 5, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,
        32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    };
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 54), header);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 54, file.end()), frame.pixels);
    EXPECT_EQ(image->writeImageBmp("no/such/dir/out0.bmp"), 1);
}

}  // namespace
