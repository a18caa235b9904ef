#include <gtest/gtest.h>

#include <string>

#include "shell/thorough_reading.h"
#include "tests/support/frame_render.h"

namespace {

using frame_render::Frame;

// A light-on-dark symbol of Latin-1 text: the cycle's pair of attempts
// misses it, the thorough reading that the option installs reads it, and
// the text comes back in the program's single-byte convention. A blank
// frame gives no reading.
TEST(ThoroughReadingOption, ReadsALightOnDarkFrameInAnsiBytes) {
    frame_render::ModuleGrid grid;
    ASSERT_TRUE(frame_render::encodeWithZint(18, 18, "Gr\xc3\xbc\xc3\x9f\x65 Option", grid));
    Frame inverted = frame_render::renderFrame(640, 480, grid, {320, 240, 6, 5});
    for (uint8_t& v : inverted.pixels) {
        v = static_cast<uint8_t>(255 - v);
    }
    const Frame blank = frame_render::uniformFrame(160, 120, 200);
    const struct {
        const char* name;
        const Frame& frame;
        bool read;
        std::string text;
    } cases[] = {
        {"light on dark", inverted, true, "Gr\xfc\xdf" "e Option"},
        {"blank", blank, false, ""},
    };
    for (const auto& c : cases) {
        CycleFrame frame = {};
        frame.picture = {c.frame.pixels.data(), c.frame.width, c.frame.height, c.frame.stride};
        frame.kindsRun = 0x3;
        FallbackReading reading;
        // No time budget: the outcome must not depend on the machine's load.
        EXPECT_EQ(readFrameThoroughlyWithin(frame, 0, reading), c.read) << c.name;
        if (c.read) {
            EXPECT_EQ(std::string(reading.text), c.text) << c.name;
            EXPECT_STRNE(encodationModeName(reading.mode), "") << c.name;
        }
    }
}

}  // namespace
