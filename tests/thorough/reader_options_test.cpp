#include <gtest/gtest.h>

#include <string>

#include "tests/support/frame_render.h"
#include "thorough/thorough_reader.h"

namespace {

// Kinds the caller has run already are skipped: a plain symbol that kind 0
// reads is read by the first kind not yet run, or, with all four run, by a
// later step.
TEST(ThoroughReader, SkipsTheKindsTheCallerRan)
{
    frame_render::ModuleGrid grid;
    ASSERT_TRUE(frame_render::encodeWithZint(16, 16, "DONE KINDS", grid));
    const frame_render::Frame f = frame_render::renderFrame(640, 480, grid, {320, 240, 8, 0});
    const PictureView view{f.pixels.data(), f.width, f.height, f.stride};
    const struct {
        unsigned doneKinds;
        int kind;  // -1: a step after the cycle's kinds
    } cases[] = {{0x0, 0}, {0x3, 2}, {0xF, -1}};
    for (const auto& c : cases) {
        ThoroughOptions options;
        options.doneKinds = c.doneKinds;
        const ThoroughReading t = readThoroughly(view, options);
        ASSERT_TRUE(t.reading.decoded) << c.doneKinds;
        EXPECT_EQ(t.reading.utf8, "DONE KINDS") << c.doneKinds;
        if (c.kind >= 0) {
            EXPECT_STREQ(t.step, "cycle") << c.doneKinds;
            EXPECT_EQ(t.reading.kind, c.kind) << c.doneKinds;
            EXPECT_EQ(t.attempts, 1) << c.doneKinds;
        } else {
            EXPECT_STRNE(t.step, "cycle") << c.doneKinds;
        }
    }
}

// A light-on-dark symbol, which the inversion step reads: with the steps
// at the picture's size first, the bound of 20 attempts reaches that step;
// in the full order it runs out among the enlargements.
TEST(ThoroughReader, SmallStepsFirstReachTheInversionSooner)
{
    frame_render::ModuleGrid grid;
    ASSERT_TRUE(frame_render::encodeWithZint(18, 18, "LIGHT ON DARK", grid));
    frame_render::Frame f = frame_render::renderFrame(640, 480, grid, {320, 240, 6, 5});
    for (uint8_t& v : f.pixels)
        v = static_cast<uint8_t>(255 - v);
    const PictureView view{f.pixels.data(), f.width, f.height, f.stride};
    for (bool smallFirst : {false, true}) {
        ThoroughOptions options;
        options.maxAttempts = 20;
        options.smallStepsFirst = smallFirst;
        const ThoroughReading t = readThoroughly(view, options);
        EXPECT_EQ(t.reading.decoded, smallFirst);
        if (smallFirst) {
            EXPECT_STREQ(t.step, "inverted");
            EXPECT_EQ(t.reading.utf8, "LIGHT ON DARK");
        }
    }
}

}  // namespace
