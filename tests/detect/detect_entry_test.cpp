#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "detect/recognizer.h"
#include "recognition/recognition.h"
#include "platform/platform.h"
#include "tests/support/frame_builder.h"

namespace fs = std::filesystem;

namespace {


// A 10 x 10 ECC200 symbol (zint, "123"), picture top row first.
const std::vector<std::string> kSymbol = {
    "#.#.#.#.#.", "#....#.#.#", "###..#.##.", "##..#..#.#", "##..##....",
    "#.##...###", "#..##.....", "#.##.##..#", "#.#...#...", "##########",
};

// The symbol at `scale` pixels per module on a light field, dark 0 and
// light 220, stored bottom-up. (With only two grey levels the valley is
// the dark level's own bin, so the dark level must sit exactly on it.)
frame_builder::Frame symbolFrame(int scale, int quiet)
{
    const int size = 10 * scale + 2 * quiet;
    frame_builder::Frame frame = frame_builder::solidFrame(size, size + 3, 220, 220, 220);
    for (int y = 0; y < 10 * scale; ++y) {
        for (int x = 0; x < 10 * scale; ++x) {
            if (kSymbol[size_t(9 - y / scale)][size_t(x / scale)] == '#') {
                frame.setGrey(quiet + x, quiet + y, 0);
            }
        }
    }
    return frame;
}

void collect(const char* text, void* context)
{
    static_cast<std::vector<std::string>*>(context)->push_back(text);
}

class DetectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("tessaread_detect_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        previous = fs::current_path();
        fs::current_path(dir);
    }
    void TearDown() override
    {
        setDebugSink(nullptr, nullptr);
        fs::current_path(previous);
        fs::remove_all(dir);
    }
    fs::path dir;
    fs::path previous;
};

TEST_F(DetectTest, UniformImagesHoldNoSymbol)
{
    for (uint8_t grey : {0, 90, 255}) {
        for (DetectFlags flags : kAttemptFlags) {
            auto r = frame_builder::makeRecognizer(frame_builder::solidFrame(33, 21, grey, grey, grey));
            EXPECT_EQ(r->detect(210, "out0.bmp", "outt.txt", flags), 0) << int(grey);
        }
    }
}

TEST_F(DetectTest, FindsTheSymbolAndSamplesItsModules)
{
    for (DetectFlags flags : kAttemptFlags) {
        auto r = frame_builder::makeRecognizer(symbolFrame(6, 12));
        ASSERT_EQ(r->detect(210, "out0.bmp", "outt.txt", flags), 1) << flags;
        ASSERT_EQ(r->gridRows, 10);
        ASSERT_EQ(r->gridCols, 10);
        for (int row = 0; row < 10; ++row) {
            std::string sampled;
            for (int col = 0; col < 10; ++col) {
                sampled += r->grid[row][col] == 1 ? '#' : r->grid[row][col] == 0 ? '.' : '?';
            }
            EXPECT_EQ(sampled, kSymbol[size_t(row)]) << "row " << row << " flags " << flags;
        }
        EXPECT_FALSE(fs::exists("r.log"));
        EXPECT_FALSE(fs::exists("out0.bmp"));
        EXPECT_FALSE(fs::exists("outt.txt"));
    }
}

TEST_F(DetectTest, DebugFilesOnRequest)
{
    auto r = frame_builder::makeRecognizer(symbolFrame(5, 10));
    const DetectFlags flags = DETECT_HIST_VALLEY | DETECT_LOG | DETECT_WRITE_GRID | DETECT_WRITE_IMAGE;
    ASSERT_EQ(r->detect(210, "image.bmp", "grid.txt", flags), 1);
    EXPECT_EQ(fs::file_size("image.bmp"), size_t(r->stride) * size_t(r->height) + 54);
    EXPECT_EQ(fs::file_size("grid.txt"), 10u * (2 * 10 + 1));
    EXPECT_GT(fs::file_size("r.log"), 0u);
}

TEST_F(DetectTest, UncreatableLogLeavesTheImageUntouched)
{
    fs::create_directory("r.log");
    const frame_builder::Frame frame = symbolFrame(4, 8);
    auto r = frame_builder::makeRecognizer(frame);
    EXPECT_EQ(r->detect(210, "out0.bmp", "outt.txt", DETECT_HIST_VALLEY | DETECT_LOG), -1);
    EXPECT_TRUE(std::equal(frame.pixels.begin(), frame.pixels.end(), r->pixels));
}

TEST_F(DetectTest, StagesAreTracedInNestedOrder)
{
    std::vector<std::string> messages;
    setDebugSink(collect, &messages);
    auto r = frame_builder::makeRecognizer(frame_builder::solidFrame(8, 8, 40, 40, 40));
    EXPECT_EQ(r->detect(210, "out0.bmp", "outt.txt", 0x09), 0);
    ASSERT_EQ(messages.size(), 6u);
    const char* order[] = {"P  1 started", "P  2 started", "P  3 started",
                           "P  3 processed", "P  2 processed", "P  1 processed"};
    for (size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(messages[k].rfind(order[k], 0), 0u) << messages[k];
    }
}

TEST_F(DetectTest, DegenerateImageFieldsAreNotWalked)
{
    auto r = std::make_unique<Recognizer>();
    EXPECT_EQ(r->detect(210, "out0.bmp", "outt.txt", kAttemptFlags[0]), 0);
    uint8_t pixel[4] = {0, 0, 0, 0};
    r->pixels = pixel;
    r->width = 2;  // rows too short for two pixels
    r->height = 1;
    r->stride = 4;
    EXPECT_EQ(r->detect(210, "out0.bmp", "outt.txt", 0x09), 0);
    EXPECT_EQ(pixel[3], 0);
}

}  // namespace
