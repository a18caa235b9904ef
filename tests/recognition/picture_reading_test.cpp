#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "recognition/picture_reading.h"
#include "recognition/recognition.h"
#include "tests/support/frame_render.h"
#include "tests/support/independent_encoders.h"

namespace {

namespace fs = std::filesystem;
using frame_render::Frame;

Frame symbolFrame(const std::string& text, int width = 640, int height = 480) {
    frame_render::ModuleGrid grid;
    EXPECT_TRUE(frame_render::encodeWithZint(16, 16, text, grid));
    frame_render::Placement at;
    at.centerX = width / 2.0;
    at.centerY = height / 2.0;
    at.moduleSize = 8;
    return frame_render::renderFrame(width, height, grid, at);
}

PictureView viewOf(const Frame& frame) {
    return PictureView{frame.pixels.data(), frame.width, frame.height, frame.stride};
}

std::string afterPrefix(const std::string& line) {
    const size_t dash = line.find(" - ");
    return dash == std::string::npos ? line : line.substr(dash + 3);
}

TEST(PictureReading, CyclesRunAsAskedAndReportTheirDecode) {
    const Frame symbol = symbolFrame("Tessaread 42");
    const Frame blank = frame_render::uniformFrame(640, 480, 200);
    const struct {
        const Frame* frame;
        CycleRun run;
        int pairBefore;
        int cycles;
        int kind;  // -1: not decoded
        int pairAfter;
    } cases[] = {
        {&symbol, CycleRun::One, 1, 1, 0, 0},        // One starts with the first pair
        {&symbol, CycleRun::Stream, 1, 1, 2, 1},     // a stream carries the pair
        {&symbol, CycleRun::BothPairs, 0, 1, 0, 0},
        {&blank, CycleRun::BothPairs, 0, 2, -1, 0},  // both pairs tried
        {&blank, CycleRun::Stream, 0, 1, -1, 1},
        {&blank, CycleRun::One, 1, 1, -1, 1},
    };
    for (const auto& c : cases) {
        PairSelector = c.pairBefore;
        const PictureReading r = readPicture(viewOf(*c.frame), c.run);
        SCOPED_TRACE(testing::Message() << "run " << int(c.run) << " pair " << c.pairBefore);
        EXPECT_EQ(r.cycles, c.cycles);
        EXPECT_EQ(r.decoded, c.kind >= 0);
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(PairSelector, c.pairAfter);
        if (c.kind >= 0) {
            EXPECT_EQ(r.bytes, "Tessaread 42");
            EXPECT_EQ(r.mode, MODE_ASCII);
            EXPECT_EQ(r.rows, 16);
            EXPECT_EQ(r.cols, 16);
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(afterPrefix(r.line), "Tessaread 42 (ASCII)");
        } else {
            EXPECT_EQ(r.status, -1);
            EXPECT_EQ(afterPrefix(r.line), "None");
        }
    }
    PairSelector = 0;
}

// A picture held with wider rows than the frame's (an odd width, padding
// that is not zero) reads as its tightly packed copy does, whole or one
// attempt at a time.
TEST(PictureReading, AnyStrideReadsAsThePackedFrame) {
    const Frame tight = symbolFrame("stride", 641, 480);
    Frame wide = tight;
    wide.stride = tight.stride + 12;
    wide.pixels.assign(size_t(wide.stride) * size_t(wide.height), 0x5A);
    for (int y = 0; y < tight.height; ++y) {
        std::memcpy(&wide.pixels[size_t(y) * size_t(wide.stride)],
                    &tight.pixels[size_t(y) * size_t(tight.stride)], size_t(tight.width) * 3);
    }
    const PictureReading a = readPicture(viewOf(tight), CycleRun::One);
    const PictureReading b = readPicture(viewOf(wide), CycleRun::One);
    EXPECT_TRUE(a.decoded);
    EXPECT_EQ(a.bytes, b.bytes);
    for (int kind = 0; kind < kAttemptKinds; ++kind) {
        AttemptSettings s;
        s.kind = kind;
        const AttemptReading x = readPictureOnce(viewOf(tight), s);
        const AttemptReading y = readPictureOnce(viewOf(wide), s);
        EXPECT_EQ(x.reading.decoded, y.reading.decoded) << kind;
        EXPECT_EQ(x.reading.bytes, y.reading.bytes) << kind;
        EXPECT_EQ(x.candidates.size(), y.candidates.size()) << kind;
    }
    PairSelector = 0;
}

// Recording the finder candidates leaves the attempt's outcome as it is.
TEST(PictureReading, OneAttemptShowsItsFinderCandidates) {
    const Frame symbol = symbolFrame("corners");
    const Frame blank = frame_render::uniformFrame(640, 480, 200);
    for (const Frame* frame : {&symbol, &blank}) {
        for (int kind = 0; kind < kAttemptKinds; ++kind) {
            AttemptSettings s;
            s.kind = kind;
            const AttemptReading seen = readPictureOnce(viewOf(*frame), s);
            AttemptSetup setup;
            setup.flags = kAttemptFlags[kind];
            AttemptReport unobserved;
            const AttemptResult result = runAttempt(frame->pixels.data(), frame->width,
                                                    frame->height, frame->stride, setup, unobserved);
            EXPECT_EQ(seen.reading.decoded, result == ATTEMPT_DECODED);
            EXPECT_EQ(seen.detected, unobserved.detected);
            EXPECT_EQ(seen.reading.status, unobserved.status);
            if (frame == &blank) {
                EXPECT_TRUE(seen.candidates.empty());
                continue;
            }
            // Not every kind's threshold suits this picture; kind 0's does.
            EXPECT_TRUE(seen.reading.decoded || kind != 0);
            if (!seen.reading.decoded) {
                continue;
            }
            EXPECT_EQ(seen.reading.bytes, "corners");
            ASSERT_FALSE(seen.candidates.empty());
            // The symbol's 16 modules of 8 pixels lie around the centre.
            for (int corner = 0; corner < 3; ++corner) {
                EXPECT_NEAR(seen.candidates.back().x[corner], 320, 70);
                EXPECT_NEAR(seen.candidates.back().y[corner], 240, 70);
            }
        }
    }
}

// A GS1 symbol: the default decoder refuses its FNC1, the extended one
// reads it and says so.
TEST(PictureReading, OneAttemptDecodesWithTheExtensionsAsked) {
    independent::EncodedSymbol symbol;
    std::string error;
    ASSERT_TRUE(independent::EncodeWithZintOptions("[01]04012345678901", "--gs1", symbol, error)) << error;
    frame_render::ModuleGrid grid;
    grid.rows = symbol.rows;
    grid.cols = symbol.cols;
    grid.dark = symbol.modules;
    frame_render::Placement at;
    at.centerX = 320;
    at.centerY = 240;
    at.moduleSize = 8;
    const Frame frame = frame_render::renderFrame(640, 480, grid, at);
    AttemptSettings plain;
    const AttemptReading refused = readPictureOnce(viewOf(frame), plain);
    EXPECT_FALSE(refused.reading.decoded);
    EXPECT_EQ(refused.detected, 1);
    DecodeExtensions all;
    all.largeSymbols = all.fnc1 = all.macros = all.readerProgramming = all.eci = true;
    AttemptSettings extended;
    extended.extensions = &all;
    const AttemptReading read = readPictureOnce(viewOf(frame), extended);
    ASSERT_TRUE(read.reading.decoded);
    EXPECT_TRUE(read.reading.gs1);
    EXPECT_EQ(read.reading.utf8, "0104012345678901");
    EXPECT_EQ(read.reading.bytes, read.reading.utf8);
}

TEST(PictureReading, DebugFilesGoIntoTheFolderGiven) {
    const fs::path folder = fs::temp_directory_path() / ("tessaread-dbg-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const bool logHere = fs::exists("r.log");
    AttemptSettings s;
    s.extraFlags = DETECT_LOG | DETECT_WRITE_GRID | DETECT_WRITE_IMAGE;
    s.debugFolder = folder.c_str();
    const Frame symbol = symbolFrame("debug");
    EXPECT_TRUE(readPictureOnce(viewOf(symbol), s).reading.decoded);
    for (const char* name : {"r.log", "outt.txt", "out0.bmp"}) {
        EXPECT_GT(fs::file_size(folder / name), 0u) << name;
    }
    EXPECT_EQ(fs::exists("r.log"), logHere);
    fs::remove_all(folder);
}

}  // namespace
