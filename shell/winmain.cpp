// The program's entry point: the video window and the capture graph on the
// main thread, the results window and the recognition cycles on the
// recognition thread, and the order in which both start and stop.
#include <windows.h>

#include <atomic>
#include <new>

#include "recognition/recognition.h"
#include "resources/resource.h"
#include "shell/capture_graph.h"
#include "shell/frame_exchange.h"
#include "shell/frame_grab.h"
#include "shell/lifecycle.h"
#include "shell/results_text.h"
#include "shell/results_window.h"

HINSTANCE instance;
int showCommand;
HWND videoHwnd;
HWND resultsHwnd;

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

const ResultsRoutines kResultsWindowRoutines = {prependResultLine, refreshResultsBox};

// The recognition thread, kept so that shutdown can wait for it: frameBuffer
// is released only after the thread, and any cycle it runs, has ended.
HANDLE recognitionThreadHandle;
std::atomic<bool> recognitionStopRequested{false};

// The frame buffer could not be made: the program ends at once.
bool frameBufferMissing;

DWORD WINAPI recognitionThread(LPVOID) {
    registerResultsClass();
    resultsHwnd = CreateWindowExW(0, L"ORVL1", L"Tessaread", kWindowStyle, 340, 0, 400, 400,
                                  nullptr, nullptr, instance, nullptr);
    DWORD exitCode = 0;
    if (resultsHwnd != nullptr) {
        ShowWindow(resultsHwnd, showCommand);
        UpdateWindow(resultsHwnd);
        FrameExchange& fx = frameExchange;
        for (;;) {
            MSG msg;
            if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    exitCode = static_cast<DWORD>(msg.wParam);
                    break;
                }
                if (!selectAllOnCtrlA(msg)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }
            if (recognitionStopRequested.load(std::memory_order_acquire)) {
                DestroyWindow(resultsHwnd);
                break;
            }
            if (fx.frameReady.load(std::memory_order_acquire) != 0 &&
                fx.grabEnabled.load(std::memory_order_acquire) != 0) {
                RecognitionCycle();
            }
        }
    }
    frameExchange.recognizerStopped.store(1, std::memory_order_release);
    return exitCode;
}

// Asks the recognition thread to end and waits until it has, handling the
// messages other threads send to this one meanwhile.
void stopRecognitionThread() {
    if (recognitionThreadHandle == nullptr) {
        return;
    }
    recognitionStopRequested.store(true, std::memory_order_release);
    while (MsgWaitForMultipleObjects(1, &recognitionThreadHandle, FALSE, INFINITE,
                                     QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(recognitionThreadHandle);
    recognitionThreadHandle = nullptr;
}

// The frame buffer and the grab's scratch buffer, made before the
// recognition thread starts; the grab grows them for a larger video.
bool allocateFrameBuffers() {
    frameExchange.frameBuffer = new (std::nothrow) uint8_t[frameBufferCapacity];
    frameExchange.frameBufferSize = frameExchange.frameBuffer != nullptr ? frameBufferCapacity : 0;
    // Room for the largest picture the first frame buffer takes, in any depth.
    const size_t scratchBytes = grabScratchBytes(1280, 960);
    grabScratch.bytes = new (std::nothrow) uint8_t[scratchBytes];
    grabScratch.size = grabScratch.bytes != nullptr ? scratchBytes : 0;
    return frameExchange.frameBuffer != nullptr && grabScratch.bytes != nullptr;
}

void releaseFrameBuffers() {
    delete[] frameExchange.frameBuffer;
    frameExchange.frameBuffer = nullptr;
    frameExchange.frameBufferSize = 0;
    delete[] grabScratch.bytes;
    grabScratch = GrabScratch{};
}

// Passes a message on to the renderer's window, which follows its owner.
void forwardToRenderer(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (captureGraph.rendererWindow != nullptr) {
        captureGraph.rendererWindow->NotifyOwnerMessage(
            reinterpret_cast<OAHWND>(hwnd), static_cast<long>(message),
            static_cast<LONG_PTR>(wParam), static_cast<LONG_PTR>(lParam));
    }
}

LRESULT CALLBACK videoWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        if (!allocateFrameBuffers()) {
            frameBufferMissing = true;
            return -1;
        }
        recognitionThreadHandle = CreateThread(nullptr, 0, recognitionThread, nullptr, 0, nullptr);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        fitVideoToClient();
        break;
    case WM_CLOSE:
        ShowWindow(hwnd, SW_HIDE);
        break;
    case WM_WINDOWPOSCHANGED:
        setPreviewRunning(!IsIconic(hwnd));
        break;
    case WM_GRAPH_EVENT:
        drainGraphEvents();
        break;
    default:
        break;
    }
    forwardToRenderer(hwnd, message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

ATOM registerVideoClass() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = videoWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_ICON));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = L"ORVL";
    return RegisterClassW(&wc);
}

// Polls for messages and grabs a frame whenever the recognition side is
// idle. Returns the exit code: the quit message's, or 0 when the
// recognition thread has ended.
int runMainLoop() {
    FrameExchange& fx = frameExchange;
    for (;;) {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                return static_cast<int>(msg.wParam);
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (fx.recognizerStopped.load(std::memory_order_acquire) != 0) {
            return 0;
        }
        if (fx.grabEnabled.load(std::memory_order_acquire) != 0 &&
            fx.frameReady.load(std::memory_order_acquire) == 0 && captureGraphBuilt()) {
            grabFrame();
        }
    }
}

}  // namespace

extern "C" int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int nCmdShow) {
    showCommand = nCmdShow;
    instance = hInstance;
    setResultsRoutines(&kResultsWindowRoutines);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        showErrorBox(L"CoInitialize Failed!\r\n");
        return 1;
    }
    if (registerVideoClass() == 0) {
        showErrorBox(L"RegisterClass Failed! Error=0x%x\r\n", static_cast<unsigned>(GetLastError()));
        CoUninitialize();
        return 1;
    }
    videoHwnd = CreateWindowExW(0, L"ORVL", L"Tessaread", kWindowStyle, 0, 0, 320, 320, nullptr,
                                nullptr, instance, nullptr);
    int exitCode = 0;
    if (videoHwnd != nullptr) {
        if (SUCCEEDED(buildPreviewGraph())) {
            ShowWindow(videoHwnd, showCommand);
        } else {
            releaseCaptureGraph();
            DestroyWindow(videoHwnd);
        }
        exitCode = runMainLoop();
    }
    releaseCaptureGraph();
    stopRecognitionThread();
    CoUninitialize();
    releaseFrameBuffers();
    return frameBufferMissing ? 1 : exitCode;
}
