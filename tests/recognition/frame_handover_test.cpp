// The frame hand-over between the grabbing thread and the recognition
// thread, with two real threads and nothing but frameReady between them:
// every frame must arrive whole, none lost and none seen twice. Built
// also under ThreadSanitizer (make tsan), which reports any access to the
// frame that the flag's release and acquire do not order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ecc200/symbol_size.h"
#include "recognition/recognition.h"
#include "shell/frame_buffers.h"
#include "shell/frame_exchange.h"
#include "tests/support/ecc200_encoder.h"
#include "tests/support/frame_render.h"

namespace {

using Clock = std::chrono::steady_clock;

// A side waits for its turn this long at most, so that a lost hand-over
// fails the test instead of hanging it.
constexpr auto kPatience = std::chrono::seconds(120);

// Waits until frameReady (acquire) shows `state`; false on timeout.
bool awaitFlag(uint8_t state) {
    const auto deadline = Clock::now() + kPatience;
    while (frameExchange.frameReady.load(std::memory_order_acquire) != state) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

// Frame n of the raw hand-over: a size that changes from frame to frame
// (odd widths need row padding) and bytes that depend on n and position.
int rawWidth(uint32_t n) { return 5 + static_cast<int>(n % 23); }
int rawHeight(uint32_t n) { return 3 + static_cast<int>(n % 11); }
uint8_t rawByte(uint32_t n, size_t at) { return static_cast<uint8_t>(n * 131u + at * 7u + (at >> 8)); }

void putU32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, sizeof value); }
uint32_t getU32(const uint8_t* at) {
    uint32_t value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// As the grab does: buffer and size while frameReady is 0, then raise it.
void offerRawFrame(uint32_t n) {
    const int width = rawWidth(n);
    const int height = rawHeight(n);
    const size_t size = static_cast<size_t>(packedFrameSize(width, height));
    uint8_t* buffer = frameExchange.frameBuffer;
    for (size_t at = 0; at < size; ++at) {
        buffer[at] = rawByte(n, at);
    }
    putU32(buffer, n);  // the sequence number where the header begins
    frameExchange.videoWidth = width;
    frameExchange.videoHeight = height;
    frameExchange.frameReady.store(1, std::memory_order_release);
}

// The recognition side: the whole frame must be frame `expected`.
bool rawFrameWhole(uint32_t expected) {
    const uint8_t* buffer = frameExchange.frameBuffer;
    if (getU32(buffer) != expected || frameExchange.videoWidth != rawWidth(expected) ||
        frameExchange.videoHeight != rawHeight(expected)) {
        return false;
    }
    const size_t size = static_cast<size_t>(packedFrameSize(rawWidth(expected), rawHeight(expected)));
    for (size_t at = sizeof(uint32_t); at < size; ++at) {
        if (buffer[at] != rawByte(expected, at)) {
            return false;
        }
    }
    return true;
}

class FrameHandover : public ::testing::Test {
protected:
    void SetUp() override {
        buffer.assign(frameBufferCapacity, 0);
        frameExchange.frameBuffer = buffer.data();
        frameExchange.frameBufferSize = buffer.size();
        frameExchange.frameReady.store(0);
    }
    void TearDown() override {
        setResultsRoutines(nullptr);
        frameExchange.frameBuffer = nullptr;
        frameExchange.frameBufferSize = 0;
        frameExchange.frameReady.store(0);
    }
    std::vector<uint8_t> buffer;
};

TEST_F(FrameHandover, ThousandsOfFramesArriveWholeAndInOrder) {
    constexpr uint32_t kFrames = 20000;
    std::atomic<bool> producerTimedOut{false};
    std::thread grabber([&] {
        for (uint32_t n = 0; n < kFrames; ++n) {
            if (!awaitFlag(0)) {
                producerTimedOut = true;
                return;
            }
            offerRawFrame(n);
        }
    });
    uint32_t received = 0;
    uint32_t torn = 0;
    std::thread recognizer([&] {
        while (received < kFrames && awaitFlag(1)) {
            torn += rawFrameWhole(received) ? 0 : 1;
            ++received;
            frameExchange.frameReady.store(0, std::memory_order_release);
        }
    });
    grabber.join();
    recognizer.join();
    EXPECT_FALSE(producerTimedOut);
    EXPECT_EQ(received, kFrames);
    EXPECT_EQ(torn, 0u);
}

// A video that grows while frames flow: the grab grows the buffers before
// each frame (makeFrameRoom), never while the recognition side holds one,
// so every frame arrives whole in a buffer that stays put while it is read.
TEST(FrameHandoverGrowth, BuffersGrowOnlyBetweenFrames) {
    constexpr uint32_t kFrames = 40;
    auto width = [](uint32_t n) { return static_cast<int32_t>(1279 + 3 * n); };
    auto byteAt = [](uint32_t n, size_t at) { return static_cast<uint8_t>(n * 29u + at % 251u); };
    frameExchange.frameBufferSize = frameBufferCapacity;
    frameExchange.frameBuffer = new uint8_t[frameBufferCapacity];
    GrabScratch scratch;
    frameExchange.frameReady.store(0);
    int roomless = 0;
    std::thread grabber([&] {
        for (uint32_t n = 0; n < kFrames && awaitFlag(0); ++n) {
            roomless += makeFrameRoom(frameExchange, scratch, width(n), 960, 0) != FrameRoom::Ready;
            const size_t size = static_cast<size_t>(packedFrameSize(width(n), 960));
            for (size_t at = 0; at < size; ++at) {
                frameExchange.frameBuffer[at] = byteAt(n, at);
            }
            frameExchange.videoWidth = width(n);
            frameExchange.frameReady.store(1, std::memory_order_release);
        }
    });
    uint32_t whole = 0;
    for (uint32_t n = 0; n < kFrames && awaitFlag(1); ++n) {
        const size_t size = static_cast<size_t>(packedFrameSize(frameExchange.videoWidth, 960));
        bool same = frameExchange.videoWidth == width(n) && size <= frameExchange.frameBufferSize;
        for (size_t at = 0; same && at < size; ++at) {
            same = frameExchange.frameBuffer[at] == byteAt(n, at);
        }
        whole += same ? 1 : 0;
        frameExchange.frameReady.store(0, std::memory_order_release);
    }
    grabber.join();
    EXPECT_EQ(roomless, 0);
    EXPECT_EQ(whole, kFrames);
    EXPECT_GE(frameExchange.frameBufferSize, static_cast<size_t>(packedFrameSize(width(kFrames - 1), 960)));
    delete[] frameExchange.frameBuffer;
    delete[] scratch.bytes;
    frameExchange.frameBuffer = nullptr;
    frameExchange.frameBufferSize = 0;
}

// Small frames of a 12 x 12 symbol per text, and a blank one.
std::vector<frame_render::Frame> cycleFrames(const std::vector<std::string>& texts) {
    std::vector<frame_render::Frame> frames;
    const int32_t index = FindSymbolSize(12, 12);
    for (const std::string& text : texts) {
        std::vector<uint8_t> data;
        for (unsigned char c : text) data.push_back(static_cast<uint8_t>(c + 1));
        frame_render::ModuleGrid grid;
        grid.rows = 12;
        grid.cols = 12;
        grid.dark = ecc200_test::MakeSymbolFromData(index, data);
        frame_render::Placement at;
        at.centerX = 80;
        at.centerY = 75;
        at.moduleSize = 8;
        frames.push_back(frame_render::renderFrame(161, 150, grid, at));
    }
    frames.push_back(frame_render::uniformFrame(161, 150, 200));
    return frames;
}

std::vector<std::string>* cycleLines = nullptr;

int recordLine(const char* line) {
    const char* dash = std::strstr(line, " - ");
    cycleLines->emplace_back(dash != nullptr ? dash + 3 : line);
    return 0;
}
void ignoreRefresh(int) {}
const ResultsRoutines kRecording = {recordLine, ignoreRefresh};

// The recognition thread runs the real cycle, which clears frameReady as
// its last act; each cycle's line must name the frame offered.
TEST_F(FrameHandover, RecognitionCycleReadsEachFrameOnce) {
    const std::vector<std::string> texts = {"F0", "F1", "F2", "F3"};
    const std::vector<frame_render::Frame> frames = cycleFrames(texts);
    std::vector<std::string> expected;
    for (const std::string& text : texts) expected.push_back(text + " (ASCII)");
    expected.push_back("None");

    std::vector<std::string> lines;
    cycleLines = &lines;
    setResultsRoutines(&kRecording);
    // Every symbol frame decodes with either pair of attempt kinds, so the
    // lines do not depend on which pair a cycle starts with.
    for (int pair = 0; pair < 2; ++pair) {
        for (size_t f = 0; f + 1 < frames.size(); ++f) {
            PairSelector = pair;
            std::memcpy(buffer.data() + kFrameHeaderSize, frames[f].pixels.data(), frames[f].pixels.size());
            frameExchange.videoWidth = frames[f].width;
            frameExchange.videoHeight = frames[f].height;
            frameExchange.frameReady.store(1, std::memory_order_release);
            RecognitionCycle();
            ASSERT_EQ(lines.back(), expected[f]) << "pair " << pair;
        }
    }
    lines.clear();

    constexpr size_t kCycles = 300;
    std::thread grabber([&] {
        for (size_t n = 0; n < kCycles; ++n) {
            if (!awaitFlag(0)) return;
            const frame_render::Frame& frame = frames[n % frames.size()];
            std::memcpy(frameExchange.frameBuffer + kFrameHeaderSize, frame.pixels.data(), frame.pixels.size());
            frameExchange.videoWidth = frame.width;
            frameExchange.videoHeight = frame.height;
            frameExchange.frameReady.store(1, std::memory_order_release);
        }
    });
    std::thread recognizer([&] {
        for (size_t n = 0; n < kCycles && awaitFlag(1); ++n) {
            RecognitionCycle();
        }
    });
    grabber.join();
    recognizer.join();
    cycleLines = nullptr;

    ASSERT_EQ(lines.size(), kCycles);
    for (size_t n = 0; n < kCycles; ++n) {
        ASSERT_EQ(lines[n], expected[n % expected.size()]) << "cycle " << n;
    }
}

}  // namespace
