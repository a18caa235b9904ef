#include <gtest/gtest.h>

#include "shell/frame_buffers.h"

namespace {

// The program's start: the frame buffer and the scratch buffer for 1280 x
// 960 pixels.
struct Buffers {
    FrameExchange fx;
    GrabScratch scratch;

    Buffers() {
        fx.frameBufferSize = frameBufferCapacity;
        fx.frameBuffer = new uint8_t[fx.frameBufferSize];
        scratch.size = grabScratchBytes(1280, 960);
        scratch.bytes = new uint8_t[scratch.size];
    }
    ~Buffers() {
        delete[] fx.frameBuffer;
        delete[] scratch.bytes;
    }
};

TEST(FrameRoom, BuffersGrowToEachLargerVideoAndNeverShrink) {
    struct Step {
        int32_t width, height;
        size_t imageSize;  // the renderer's answer, 0 for none
        FrameRoom room;
        size_t frameBytes, scratchBytes;  // afterwards
    };
    const size_t start = 40 + 12 + 1024 + 1280 * 960 * 4;
    // clang-format off
    const Step steps[] = {
        {640,  480,  0,        FrameRoom::Ready,    frameBufferCapacity, start},
        {1280, 959,  0,        FrameRoom::Ready,    frameBufferCapacity, start},
        // 1280 x 960 needs its 40 header bytes more than the first buffer.
        {1280, 960,  0,        FrameRoom::Ready,    3686440,             start},
        {1920, 1080, 0,        FrameRoom::Ready,    6220840,             8295476},
        // A renderer that announces more than the video implies.
        {1920, 1080, 8300000,  FrameRoom::Ready,    6220840,             8300000},
        {640,  480,  921640,   FrameRoom::Ready,    6220840,             8300000},
        {2591, 1944, 0,        FrameRoom::Ready,    15116584,            20148692},
        {4096, 3072, 0,        FrameRoom::Ready,    37748776,            50332724},
        {4097, 3072, 0,        FrameRoom::TooLarge, 37748776,            50332724},
        {4096, 3073, 0,        FrameRoom::TooLarge, 37748776,            50332724},
        {640,  480,  50332725, FrameRoom::TooLarge, 37748776,            50332724},
        {0,    480,  921640,   FrameRoom::TooLarge, 37748776,            50332724},
        {640,  -480, 0,        FrameRoom::TooLarge, 37748776,            50332724},
    };
    // clang-format on
    Buffers b;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.width << " x " << s.height << ", " << s.imageSize);
        EXPECT_EQ(makeFrameRoom(b.fx, b.scratch, s.width, s.height, s.imageSize), s.room);
        EXPECT_EQ(b.fx.frameBufferSize, s.frameBytes);
        EXPECT_EQ(b.scratch.size, s.scratchBytes);
        if (s.room == FrameRoom::Ready) {
            EXPECT_TRUE(frameFits(s.width, s.height, b.fx.frameBufferSize));
            // The last byte of each is there to be written.
            b.fx.frameBuffer[b.fx.frameBufferSize - 1] = 1;
            b.scratch.bytes[b.scratch.size - 1] = 1;
        }
    }
}

// While a frame is in flight the buffer is the recognition thread's.
TEST(FrameRoom, NothingMovesWhileAFrameIsReady) {
    Buffers b;
    const uint8_t* frame = b.fx.frameBuffer;
    const uint8_t* scratch = b.scratch.bytes;
    b.fx.frameReady.store(1);
    EXPECT_EQ(makeFrameRoom(b.fx, b.scratch, 1920, 1080, 0), FrameRoom::Busy);
    EXPECT_EQ(b.fx.frameBuffer, frame);
    EXPECT_EQ(b.fx.frameBufferSize, frameBufferCapacity);
    EXPECT_EQ(b.scratch.bytes, scratch);
    b.fx.frameReady.store(0);
    EXPECT_EQ(makeFrameRoom(b.fx, b.scratch, 1920, 1080, 0), FrameRoom::Ready);
    EXPECT_NE(b.fx.frameBuffer, frame);
}

}  // namespace
