#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/frame_render.h"
#include "tests/support/independent_encoders.h"
#include "thorough/thorough_reader.h"

namespace {

using frame_render::Frame;
using frame_render::ModuleGrid;

// zint with options of its own (--gs1, --eci=N, --esc) at a fixed size.
bool encode(int rows, int cols, const std::string& options, const std::string& data, ModuleGrid& grid)
{
    const std::string command = "zint -b 71 --dump --vers=" +
                                std::to_string(frame_render::zintVersion(rows, cols)) + " " +
                                options + " -d '" + data + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    std::string dump;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        dump += buffer;
    if (pclose(pipe) != 0)
        return false;
    independent::EncodedSymbol symbol;
    if (!independent::ParseZintDump(dump, cols, symbol) || symbol.rows != rows)
        return false;
    grid = ModuleGrid{rows, cols, symbol.modules};
    return true;
}

enum class Look { Plain, UnevenLight, Mirrored, Inverted };

struct HardFrame {
    const char* name;
    int rows, cols;
    const char* options;
    std::string data;
    double moduleSize;
    double angle;
    Look look;
    std::string utf8;  // the text expected
    bool gs1;
    int eci;
    int macro;
};

Frame makeFrame(const HardFrame& h, ModuleGrid grid)
{
    if (h.look == Look::Mirrored)
        for (int r = 0; r < grid.rows; ++r)
            for (int c = 0; c < grid.cols / 2; ++c)
                std::swap(grid.dark[size_t(r * grid.cols + c)], grid.dark[size_t(r * grid.cols + grid.cols - 1 - c)]);
    Frame f = frame_render::renderFrame(640, 480, grid, {320, 240, h.moduleSize, h.angle});
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            for (int k = 0; k < 3; ++k) {
                uint8_t& v = f.pixel(x, y)[k];
                if (h.look == Look::Inverted)
                    v = uint8_t(255 - v);
                // Grey print (150 on 200) under light falling by 90 % across
                // the frame: the dark modules on the symbol's lit side are
                // as light as the light ones on its other side.
                if (h.look == Look::UnevenLight)
                    v = uint8_t((v < 128 ? 150 : 200) * (6400 - 9 * x) / 6400);
            }
    return f;
}

PictureView viewOf(const Frame& f)
{
    return {f.pixels.data(), f.width, f.height, f.stride};
}

std::string digits(int count)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += char('0' + (i * 7 + i / 10) % 10);
    return s;
}

}  // namespace

// Frames that the fixed cycle's four kinds do not read (too small, unevenly
// lit, mirrored, light on dark, 8 rows, or codewords only the decoder's
// extensions take), read by the thorough reader to the encoder's text.
TEST(ThoroughReader, ReadsHardFramesTheCycleMisses)
{
    if (!independent::ProgramAvailable("zint"))
        GTEST_SKIP() << "zint not installed";
    const HardFrame cases[] = {
        {"small modules", 16, 16, "", "SMALL MODULES", 2.5, 3, Look::Plain, "SMALL MODULES", false, -1, 0},
        {"uneven light", 20, 20, "", "UNEVEN LIGHT 2026", 6.0, 3, Look::UnevenLight, "UNEVEN LIGHT 2026", false, -1, 0},
        {"mirrored", 18, 18, "", "MIRRORED", 6.0, 0, Look::Mirrored, "MIRRORED", false, -1, 0},
        {"inverted", 18, 18, "", "LIGHT ON DARK", 6.0, 5, Look::Inverted, "LIGHT ON DARK", false, -1, 0},
        {"8-row rectangle", 8, 32, "", "EIGHT ROWS", 6.0, 0, Look::Plain, "EIGHT ROWS", false, -1, 0},
        {"over 200 codewords", 52, 52, "", digits(400), 4.0, 0, Look::Plain, digits(400), false, -1, 0},
        {"FNC1", 20, 20, "--gs1", "[01]09501101530003[10]AB-123[17]140704", 6.0, 0, Look::Plain,
         "0109501101530003" "10AB-123\x1d" "17140704", true, -1, 0},
        {"macro 05", 16, 16, "--esc", "[)>\\R05\\G12345\\R\\E", 6.0, 0, Look::Plain,
         "[)>\x1e" "05\x1d" "12345\x1e\x04", false, -1, 5},
        {"ECI", 16, 16, "--eci=7", "Привет", 6.0, 0, Look::Plain, "Привет", false, 7, 0},
    };
    for (const HardFrame& h : cases) {
        ModuleGrid grid;
        ASSERT_TRUE(encode(h.rows, h.cols, h.options, h.data, grid)) << h.name;
        const Frame frame = makeFrame(h, grid);

        ThoroughOptions cycleOnly;
        cycleOnly.maxAttempts = kAttemptKinds;
        const ThoroughReading cycle = readThoroughly(viewOf(frame), cycleOnly);
        EXPECT_FALSE(cycle.reading.decoded) << h.name;
        EXPECT_EQ(cycle.attempts, kAttemptKinds) << h.name;

        const ThoroughReading t = readThoroughly(viewOf(frame), ThoroughOptions{});
        EXPECT_TRUE(t.reading.decoded) << h.name;
        EXPECT_EQ(t.reading.utf8, h.utf8) << h.name << " read by " << t.step;
        EXPECT_EQ(t.reading.gs1, h.gs1) << h.name;
        EXPECT_EQ(t.reading.eci, h.eci) << h.name;
        EXPECT_EQ(t.reading.macro, h.macro) << h.name;
        EXPECT_GT(t.attempts, kAttemptKinds) << h.name;
    }
}

// The same picture takes the same road; every prepared picture is shown to
// the caller; the attempt bound stops the road early.
TEST(ThoroughReader, DeterministicWithPreparedPicturesAndBound)
{
    if (!independent::ProgramAvailable("zint"))
        GTEST_SKIP() << "zint not installed";
    ModuleGrid grid;
    ASSERT_TRUE(encode(18, 18, "", "MIRRORED", grid));
    const Frame frame = makeFrame({"", 18, 18, "", "", 6.0, 0, Look::Mirrored, "", false, -1, 0}, grid);

    std::vector<std::string> steps;
    ThoroughOptions options;
    options.context = &steps;
    options.preparedPicture = [](void* context, const char* step, const Picture& picture) {
        EXPECT_GT(picture.width, 0);
        static_cast<std::vector<std::string>*>(context)->push_back(step);
    };
    const ThoroughReading first = readThoroughly(viewOf(frame), options);
    ASSERT_TRUE(first.reading.decoded);
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back(), first.step);

    const ThoroughReading again = readThoroughly(viewOf(frame), ThoroughOptions{});
    EXPECT_EQ(std::string(again.step), first.step);
    EXPECT_EQ(again.attempts, first.attempts);
    EXPECT_EQ(again.reading.bytes, first.reading.bytes);

    ThoroughOptions bounded;
    bounded.maxAttempts = first.attempts - 1;
    const ThoroughReading cut = readThoroughly(viewOf(frame), bounded);
    EXPECT_FALSE(cut.reading.decoded);
    EXPECT_EQ(cut.attempts, first.attempts - 1);
}
