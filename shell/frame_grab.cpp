#include "shell/frame_grab.h"

#include <atomic>

#include "shell/capture_graph.h"
#include "shell/frame_exchange.h"
#include "shell/frame_pack.h"

GrabScratch grabScratch;

namespace {

// How long the renderer holds still before its picture is taken.
constexpr DWORD kPauseMilliseconds = 500;

// Fetches the current image into the scratch buffer and converts it into
// the frame buffer. An image that cannot be fetched or converted leaves an
// empty frame (0 x 0), which the recognition side reports as no symbol.
HRESULT fetchIntoFrame(long size) {
    FrameExchange& fx = frameExchange;
    HRESULT hr = E_OUTOFMEMORY;
    if (size > 0 && static_cast<unsigned long>(size) <= grabScratch.size) {
        hr = captureGraph.basicVideo->GetCurrentImage(&size, reinterpret_cast<long*>(grabScratch.bytes));
    }
    int32_t width = 0;
    int32_t height = 0;
    if (FAILED(hr) || size <= 0 || static_cast<unsigned long>(size) > grabScratch.size ||
        !packFrame24(grabScratch.bytes, static_cast<size_t>(size), fx.frameBuffer,
                     fx.frameBufferSize, &width, &height)) {
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

    // Some renderers (Wine's always) refuse the size query yet deliver the
    // picture into a buffer large enough for the video's size in any depth:
    // the scratch buffer offered whole. Whatever fails, the preview runs
    // again and the cycle gets its frame, empty when there is no picture.
    long size = 0;
    HRESULT hr = g.basicVideo->GetCurrentImage(&size, nullptr);
    if (FAILED(hr) || size < 0) {
        size = 0;
    }
    if (makeFrameRoom(fx, grabScratch, fx.videoWidth, fx.videoHeight,
                      static_cast<size_t>(size)) == FrameRoom::Ready) {
        hr = fetchIntoFrame(size > 0 ? size : static_cast<long>(grabScratch.size));
    } else {
        fx.videoWidth = 0;
        fx.videoHeight = 0;
        hr = E_OUTOFMEMORY;
    }
    g.mediaControl->Run();
    fx.frameReady.store(1, std::memory_order_release);
    return hr;
}
