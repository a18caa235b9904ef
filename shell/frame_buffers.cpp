#include "shell/frame_buffers.h"

#include <atomic>
#include <new>

namespace {

// Bitmap header, three colour masks and a colour table of 256 entries.
constexpr size_t kImagePreamble = 40 + 12 + 256 * 4;

bool withinLimits(int32_t width, int32_t height) {
    return width > 0 && height > 0 && width <= kLargestVideoWidth &&
           height <= kLargestVideoHeight;
}

// Replaces *buffer by a larger one; the old one stays when that fails.
bool grow(uint8_t*& buffer, size_t& size, size_t wanted) {
    if (wanted <= size) {
        return true;
    }
    uint8_t* larger = new (std::nothrow) uint8_t[wanted];
    if (larger == nullptr) {
        return false;
    }
    delete[] buffer;
    buffer = larger;
    size = wanted;
    return true;
}

}  // namespace

size_t grabScratchBytes(int32_t width, int32_t height) {
    if (!withinLimits(width, height)) {
        return 0;
    }
    return kImagePreamble + static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
}

FrameRoom makeFrameRoom(FrameExchange& fx, GrabScratch& scratch, int32_t width, int32_t height,
                        size_t imageSize) {
    if (fx.frameReady.load(std::memory_order_acquire) != 0) {
        return FrameRoom::Busy;
    }
    const size_t largest = grabScratchBytes(kLargestVideoWidth, kLargestVideoHeight);
    size_t scratchWanted = grabScratchBytes(width, height);
    if (scratchWanted == 0 || imageSize > largest) {
        return FrameRoom::TooLarge;
    }
    if (imageSize > scratchWanted) {
        scratchWanted = imageSize;
    }
    const size_t frameWanted = static_cast<size_t>(packedFrameSize(width, height));
    if (!grow(fx.frameBuffer, fx.frameBufferSize, frameWanted) ||
        !grow(scratch.bytes, scratch.size, scratchWanted)) {
        return FrameRoom::OutOfMemory;
    }
    return FrameRoom::Ready;
}
