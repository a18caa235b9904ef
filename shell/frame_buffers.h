// Room for the camera's picture: the frame buffer and the grab's scratch
// buffer grow to the size of the video, up to the largest picture the
// program reads. Portable, so that it is tested natively.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shell/frame_exchange.h"

// The largest video, in pixels, whose pictures are read; a larger one
// gives a "None" line per cycle.
constexpr int32_t kLargestVideoWidth = 4096;
constexpr int32_t kLargestVideoHeight = 3072;

// Where the renderer's picture lands before it becomes the 24-bit frame.
struct GrabScratch {
    uint8_t* bytes = nullptr;
    size_t size = 0;
};

// Bytes the renderer's packed image of a width x height video can take:
// a bitmap header, colour masks, the largest colour table a true-colour
// image carries, then 32-bit rows. 0 for a video outside the limits.
size_t grabScratchBytes(int32_t width, int32_t height);

enum class FrameRoom {
    Ready,        // both buffers hold the picture
    TooLarge,     // outside the limits, or an image size beyond them
    OutOfMemory,  // a buffer could not grow; each still matches its size
    Busy,         // frameReady is set: the buffer is not the caller's
};

// Grows fx.frameBuffer and scratch, when needed, to a width x height video
// whose renderer announced imageSize bytes (0 when it did not say). Never
// shrinks them. Main thread only; touches nothing while frameReady is set,
// since the buffer then belongs to the recognition thread.
FrameRoom makeFrameRoom(FrameExchange& fx, GrabScratch& scratch, int32_t width, int32_t height,
                        size_t imageSize);
