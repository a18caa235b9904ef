// The streaming thread: ten time-stamped frames a second into the
// downstream pin's allocator, in every state but Stopped. Like a file
// source it also delivers while paused, so that a paused renderer holds a
// current picture; the picture on show then stays the same until Run.
#include "tools/testcam/testcam.h"

namespace {

constexpr DWORD kFrameMilliseconds = 1000 / kFramesPerSecond;
// How long Stop waits for a thread blocked downstream before flushing.
constexpr DWORD kStopPatienceMilliseconds = 2000;

struct FramePlan {
    size_t picture;
    REFERENCE_TIME start;
    bool first;
};

// Stream time: clock time since the start given to Run; while paused, the
// stream time at which the pause began; without a clock, the frame count.
FramePlan planFrame(TestCamera* camera) {
    StreamState& s = camera->stream;
    const PictureFolder& p = camera->pictures;
    FramePlan plan;
    EnterCriticalSection(&s.lock);
    if (!s.held) {
        s.shown = testcam::pictureAt(static_cast<int64_t>(GetTickCount64() - s.playStart),
                                     p.millisecondsPerPicture, p.names.size());
    }
    plan.picture = s.shown;
    REFERENCE_TIME now = 0;
    if (!s.running) {
        plan.start = s.pausedAt;
    } else if (s.clock != nullptr && SUCCEEDED(IReferenceClock_GetTime(s.clock, &now))) {
        plan.start = now - s.start;
    } else {
        plan.start = s.frames * kFrameDuration;
    }
    plan.first = s.frames == 0;
    ++s.frames;
    LeaveCriticalSection(&s.lock);
    return plan;
}

// A live camera has nothing to deliver while paused.
bool pausedLive(TestCamera* camera) {
    if (!camera->live) {
        return false;
    }
    EnterCriticalSection(&camera->stream.lock);
    const bool held = camera->stream.held;
    LeaveCriticalSection(&camera->stream.lock);
    return held;
}

void deliverFrame(TestCamera* camera) {
    TestCameraPin& pin = camera->pin;
    IMediaSample* sample = nullptr;
    BYTE* data = nullptr;
    uint32_t bytes = 0;
    if (pausedLive(camera)) {
        return;
    }
    // Fails once Stop has decommitted the allocator.
    if (FAILED(IMemAllocator_GetBuffer(pin.allocator, &sample, nullptr, nullptr, 0))) {
        return;
    }
    const FramePlan plan = planFrame(camera);
    try {
        loadPictureRows(camera->pictures, plan.picture);
    } catch (...) {
        camera->pictures.rows.clear();  // out of memory: a grey frame
    }
    REFERENCE_TIME start = plan.start;
    REFERENCE_TIME end = start + kFrameDuration;
    if (FAILED(IMediaSample_GetPointer(sample, &data))) {
        goto end;
    }
    bytes = testcam::writeSample(camera->pictures.rows, camera->pictures.width,
                                 camera->pictures.height, pin.bitsPerPixel, data,
                                 static_cast<size_t>(IMediaSample_GetSize(sample)));
    if (bytes == 0) {
        goto end;
    }
    IMediaSample_SetActualDataLength(sample, static_cast<LONG>(bytes));
    IMediaSample_SetTime(sample, &start, &end);
    IMediaSample_SetSyncPoint(sample, TRUE);
    IMediaSample_SetDiscontinuity(sample, plan.first ? TRUE : FALSE);
    // Blocks while a paused renderer holds the frame; errors downstream
    // (a renderer that is stopping) leave the next frame to try again. A
    // pause may have begun while the frame was made.
    if (!pausedLive(camera)) {
        IMemInputPin_Receive(pin.peerInput, sample);
    }
end:
    IMediaSample_Release(sample);
}

DWORD WINAPI streamFrames(LPVOID parameter) {
    auto* camera = static_cast<TestCamera*>(parameter);
    ULONGLONG due = GetTickCount64();
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = due > now ? static_cast<DWORD>(due - now) : 0;
        if (WaitForSingleObject(camera->stream.stopEvent, wait) != WAIT_TIMEOUT) {
            return 0;
        }
        deliverFrame(camera);
        // Keep the rate; after a long block (a pause) start afresh rather
        // than deliver the missed frames in a burst.
        due += kFrameMilliseconds;
        const ULONGLONG after = GetTickCount64();
        if (due + kFrameMilliseconds < after) {
            due = after;
        }
    }
}

void releaseClock(StreamState& s) {
    if (s.clock != nullptr) {
        IReferenceClock_Release(s.clock);
        s.clock = nullptr;
    }
}

}  // namespace

// Called with the filter's lock held, in the Stopped state.
HRESULT startStreaming(TestCamera* camera) {
    StreamState& s = camera->stream;
    TestCameraPin& pin = camera->pin;
    HRESULT hr = S_OK;
    if (pin.peer == nullptr || s.thread != nullptr) {
        return S_OK;  // nothing to deliver to, or already delivering
    }
    if (FAILED(hr = IMemAllocator_Commit(pin.allocator))) {
        return hr;
    }
    s.stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (s.stopEvent == nullptr) {
        hr = HRESULT_FROM_WIN32(GetLastError());
        goto end;
    }
    EnterCriticalSection(&s.lock);
    if (s.playStart == 0) {
        s.playStart = GetTickCount64();
    }
    s.frames = 0;
    s.running = false;
    s.held = false;
    s.pausedAt = 0;
    releaseClock(s);
    s.clock = camera->clock;
    if (s.clock != nullptr) {
        IReferenceClock_AddRef(s.clock);
    }
    LeaveCriticalSection(&s.lock);
    s.thread = CreateThread(nullptr, 0, streamFrames, camera, 0, nullptr);
    if (s.thread == nullptr) {
        hr = HRESULT_FROM_WIN32(GetLastError());
    }
end:
    if (FAILED(hr)) {
        if (s.stopEvent != nullptr) {
            CloseHandle(s.stopEvent);
            s.stopEvent = nullptr;
        }
        IMemAllocator_Decommit(pin.allocator);
    }
    return hr;
}

// Signals the thread, frees it from the allocator and joins it. Called
// with the filter's lock held (the thread never takes that lock).
void stopStreaming(TestCamera* camera) {
    StreamState& s = camera->stream;
    TestCameraPin& pin = camera->pin;
    if (s.thread == nullptr) {
        return;
    }
    SetEvent(s.stopEvent);
    IMemAllocator_Decommit(pin.allocator);
    // The graph stops the renderer before its source, which ends any
    // Receive in progress; a renderer left paused is flushed.
    if (WaitForSingleObject(s.thread, kStopPatienceMilliseconds) == WAIT_TIMEOUT &&
        pin.peer != nullptr) {
        IPin_BeginFlush(pin.peer);
        IPin_EndFlush(pin.peer);
    }
    WaitForSingleObject(s.thread, INFINITE);
    CloseHandle(s.thread);
    CloseHandle(s.stopEvent);
    s.thread = nullptr;
    s.stopEvent = nullptr;
    EnterCriticalSection(&s.lock);
    s.running = false;
    s.held = false;
    releaseClock(s);
    LeaveCriticalSection(&s.lock);
}

// Pause: the picture of the latest frame stays on show, and the trace
// says which one, so that a test can tell what a still grabbed now holds.
void holdStream(TestCamera* camera) {
    StreamState& s = camera->stream;
    REFERENCE_TIME now = 0;
    EnterCriticalSection(&s.lock);
    if (s.running && s.clock != nullptr && SUCCEEDED(IReferenceClock_GetTime(s.clock, &now))) {
        s.pausedAt = now - s.start;
    }
    s.running = false;
    s.held = true;
    const size_t shown = s.shown;
    LeaveCriticalSection(&s.lock);
    const PictureFolder& p = camera->pictures;
    traceLine("testcam: paused on %s (picture %u of %u)", pictureName(p, shown).c_str(),
              static_cast<unsigned>(shown + 1), static_cast<unsigned>(p.names.size()));
}

void runStream(TestCamera* camera, REFERENCE_TIME start) {
    StreamState& s = camera->stream;
    EnterCriticalSection(&s.lock);
    s.running = true;
    s.held = false;
    s.start = start;
    LeaveCriticalSection(&s.lock);
}
