#include "shell/frame_grab.h"

#include <atomic>

#include "shell/capture_graph.h"
#include "shell/frame_exchange.h"
#include "shell/frame_pack.h"

uint8_t* grabScratch = nullptr;

namespace {

// How long the renderer holds still before its picture is taken.
constexpr DWORD kPauseMilliseconds = 500;

// Fetches the current image into the scratch buffer and converts it into
// the frame buffer. An image that cannot be fetched or converted leaves an
// empty frame (0 x 0), which the recognition side reports as no symbol.
HRESULT fetchIntoFrame(long size) {
    FrameExchange& fx = frameExchange;
    HRESULT hr = E_OUTOFMEMORY;
    if (size > 0 && static_cast<unsigned long>(size) <= kGrabScratchCapacity) {
        hr = captureGraph.basicVideo->GetCurrentImage(&size, reinterpret_cast<long*>(grabScratch));
    }
    int32_t width = 0;
    int32_t height = 0;
    if (FAILED(hr) || size <= 0 || static_cast<unsigned long>(size) > kGrabScratchCapacity ||
        !packFrame24(grabScratch, static_cast<size_t>(size), fx.frameBuffer, fx.frameBufferSize,
                     &width, &height)) {
        width = 0;
        height = 0;
    }
    fx.videoWidth = width;
    fx.videoHeight = height;
    return hr;
}

}  // namespace

HRESULT grabFrame() {
    CaptureGraph& g = captureGraph;
    FrameExchange& fx = frameExchange;
    g.mediaControl->Pause();
    Sleep(kPauseMilliseconds);
    long height = 0;
    long width = 0;
    g.basicVideo->get_VideoHeight(&height);
    g.basicVideo->get_VideoWidth(&width);
    fx.videoHeight = static_cast<int32_t>(height);
    fx.videoWidth = static_cast<int32_t>(width);

    long size = 0;
    HRESULT hr = g.basicVideo->GetCurrentImage(&size, nullptr);
    if (FAILED(hr)) {
        // Some renderers (Wine's always) refuse the size query yet deliver
        // the picture: when a 24-bit picture of the native video size fits
        // the frame, offer the whole scratch buffer, which also holds the
        // picture in the renderer's own depth (a 32-bit picture is larger
        // than the 24-bit size). Only when that fails too is the grab
        // retried from the start, with the preview still paused.
        if (impliedImageSize(fx.videoWidth, fx.videoHeight, fx.frameBufferSize) == 0) {
            return hr;
        }
        hr = fetchIntoFrame(static_cast<long>(kGrabScratchCapacity));
        if (FAILED(hr)) {
            return hr;
        }
    } else {
        hr = fetchIntoFrame(size);
    }
    g.mediaControl->Run();
    fx.frameReady.store(1, std::memory_order_release);
    return hr;
}
