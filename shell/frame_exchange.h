// What the main thread and the recognition thread share: one frame buffer,
// the frame's size and three flags. frameReady hands the buffer and the
// size over: the main thread writes them only while it is 0, then stores 1
// with release order; the recognition thread reads them only after seeing
// 1 with acquire order, and stores 0 (release) after its last use.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "frame/packed_frame.h"

// 1280 x 960 pixels of 3 bytes.
constexpr size_t frameBufferCapacity = 3686400;

struct FrameExchange {
    std::atomic<uint8_t> frameReady{0};
    std::atomic<uint8_t> grabEnabled{0};
    std::atomic<uint8_t> recognizerStopped{0};
    uint8_t* frameBuffer = nullptr;
    // Bytes at frameBuffer: frameBufferCapacity at the program's start,
    // grown by the grab for a larger video (makeFrameRoom); the image
    // scanner gives a larger image a larger buffer.
    size_t frameBufferSize = 0;
    int32_t videoWidth = 0;
    int32_t videoHeight = 0;
};

// The process-wide exchange.
extern FrameExchange frameExchange;

// Whether a packed width x height frame fits a buffer of `capacity` bytes.
// The recognition side reads no frame that does not fit its buffer.
inline bool frameFits(int32_t width, int32_t height,
                      size_t capacity = frameBufferCapacity) {
    return width > 0 && height > 0 && width <= 65535 && height <= 65535 &&
           packedFrameSize(width, height) <= static_cast<int64_t>(capacity);
}
