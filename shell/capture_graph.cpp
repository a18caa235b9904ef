#include "shell/capture_graph.h"

#include <cstdarg>
#include <cwchar>

#include "shell/lifecycle.h"

CaptureGraph captureGraph;

namespace {

template <typename T>
void releaseInterface(T*& p) {
    if (p != nullptr) {
        p->Release();
        p = nullptr;
    }
}

// HRESULTs go into the messages as lowercase hexadecimal.
unsigned hexCode(HRESULT hr) {
    return static_cast<unsigned>(hr);
}

HRESULT openGraphInterfaces() {
    CaptureGraph& g = captureGraph;
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(&g.graphBuilder));
    if (FAILED(hr)) {
        return hr;
    }
    hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC,
                          IID_ICaptureGraphBuilder2, reinterpret_cast<void**>(&g.captureBuilder));
    if (FAILED(hr)) {
        return hr;
    }
    if (FAILED(hr = g.graphBuilder->QueryInterface(IID_IMediaControl,
                                                   reinterpret_cast<void**>(&g.mediaControl))) ||
        FAILED(hr = g.graphBuilder->QueryInterface(IID_IVideoWindow,
                                                   reinterpret_cast<void**>(&g.rendererWindow))) ||
        FAILED(hr = g.graphBuilder->QueryInterface(IID_IMediaEvent,
                                                   reinterpret_cast<void**>(&g.mediaEvent))) ||
        FAILED(hr = g.graphBuilder->QueryInterface(IID_IBasicVideo,
                                                   reinterpret_cast<void**>(&g.basicVideo)))) {
        return hr;
    }
    return g.mediaEvent->SetNotifyWindow(reinterpret_cast<OAHWND>(videoHwnd), WM_GRAPH_EVENT, 0);
}

void showNoDeviceBox() {
    MessageBoxW(videoHwnd,
                L"No video capture device was detected.\r\n\r\n"
                L"This sample requires a video capture device, such as a USB WebCam,\r\n"
                L"to be installed and working properly.  The sample will now close.",
                L"No Video Capture Hardware", MB_OK | MB_ICONINFORMATION);
}

HRESULT bindFirstVideoDevice(IBaseFilter** filter) {
    if (filter == nullptr) {
        return E_POINTER;
    }
    ICreateDevEnum* deviceEnum = nullptr;
    IEnumMoniker* classEnum = nullptr;
    IMoniker* moniker = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC,
                                  IID_ICreateDevEnum, reinterpret_cast<void**>(&deviceEnum));
    if (FAILED(hr)) {
        showErrorBox(L"Couldn't create system enumerator!  hr=0x%x", hexCode(hr));
        goto end;
    }
    hr = deviceEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &classEnum, 0);
    if (FAILED(hr)) {
        showErrorBox(L"Couldn't create class enumerator!  hr=0x%x", hexCode(hr));
        goto end;
    }
    // A successful call without an enumerator: the category holds no device.
    if (classEnum == nullptr) {
        showNoDeviceBox();
        hr = E_FAIL;
        goto end;
    }
    if (classEnum->Next(1, &moniker, nullptr) != S_OK) {
        showErrorBox(L"Unable to access video capture device!");
        hr = E_FAIL;
        goto end;
    }
    hr = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
    if (FAILED(hr)) {
        showErrorBox(L"Couldn't bind moniker to filter object!  hr=0x%x", hexCode(hr));
    }
end:
    releaseInterface(moniker);
    releaseInterface(classEnum);
    releaseInterface(deviceEnum);
    return hr;
}

HRESULT attachVideoWindow() {
    IVideoWindow* w = captureGraph.rendererWindow;
    HRESULT hr = w->put_Owner(reinterpret_cast<OAHWND>(videoHwnd));
    if (FAILED(hr)) {
        return hr;
    }
    hr = w->put_WindowStyle(WS_CHILD | WS_CLIPCHILDREN);
    if (FAILED(hr)) {
        return hr;
    }
    fitVideoToClient();
    return w->put_Visible(OATRUE);
}

// Lets graph inspection tools attach to the running preview.
HRESULT publishGraphInRot(IUnknown* graph, DWORD* cookie) {
    if (graph == nullptr || cookie == nullptr) {
        return E_POINTER;
    }
    IRunningObjectTable* table = nullptr;
    if (FAILED(GetRunningObjectTable(0, &table))) {
        return E_FAIL;
    }
    WCHAR name[128];
    wsprintfW(name, L"FilterGraph %08x pid %08x",
              static_cast<DWORD>(reinterpret_cast<DWORD_PTR>(graph)), GetCurrentProcessId());
    IMoniker* moniker = nullptr;
    HRESULT hr = CreateItemMoniker(L"!", name, &moniker);
    if (SUCCEEDED(hr)) {
        hr = table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, graph, moniker, cookie);
        moniker->Release();
    }
    table->Release();
    return hr;
}

void withdrawGraphFromRot(DWORD cookie) {
    IRunningObjectTable* table = nullptr;
    if (SUCCEEDED(GetRunningObjectTable(0, &table))) {
        table->Revoke(cookie);
        table->Release();
    }
}

// Steps 3 to 6 of the build: the device's filter joins the graph and its
// preview is rendered; the graph then holds the only reference.
HRESULT addAndRenderDevice() {
    CaptureGraph& g = captureGraph;
    HRESULT hr = bindFirstVideoDevice(&g.captureFilter);
    if (FAILED(hr)) {
        return hr;
    }
    hr = g.graphBuilder->AddFilter(g.captureFilter, L"Video Capture");
    if (FAILED(hr)) {
        showErrorBox(L"Couldn't add the capture filter to the graph!  hr=0x%x\r\n\r\n"
                     L"If you have a working video capture device, please make sure\r\n"
                     L"that it is connected and is not being used by another application.\r\n\r\n"
                     L"The sample will now close.",
                     hexCode(hr));
        releaseInterface(g.captureFilter);
        return hr;
    }
    hr = g.captureBuilder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, g.captureFilter,
                                        nullptr, nullptr);
    if (FAILED(hr)) {
        showErrorBox(L"Couldn't render the video capture stream.  hr=0x%x\r\n"
                     L"The capture device may already be in use by another application.\r\n\r\n"
                     L"The sample will now close.",
                     hexCode(hr));
        releaseInterface(g.captureFilter);
        return hr;
    }
    releaseInterface(g.captureFilter);
    return hr;
}

}  // namespace

HRESULT buildPreviewGraph() {
    CaptureGraph& g = captureGraph;
    HRESULT hr = openGraphInterfaces();
    if (FAILED(hr)) {
        showErrorBox(L"Failed to get video interfaces!  hr=0x%x", hexCode(hr));
        return hr;
    }
    hr = g.captureBuilder->SetFiltergraph(g.graphBuilder);
    if (FAILED(hr)) {
        showErrorBox(L"Failed to set capture filter graph!  hr=0x%x", hexCode(hr));
        return hr;
    }
    if (FAILED(hr = addAndRenderDevice())) {
        return hr;
    }
    hr = attachVideoWindow();
    if (FAILED(hr)) {
        showErrorBox(L"Couldn't initialize video window!  hr=0x%x", hexCode(hr));
        return hr;
    }
    hr = publishGraphInRot(g.graphBuilder, &g.rotCookie);
    if (FAILED(hr)) {
        // The preview works without the registration.
        showErrorBox(L"Failed to register filter graph with ROT!  hr=0x%x", hexCode(hr));
        g.rotCookie = 0;
    }
    hr = g.mediaControl->Run();
    if (FAILED(hr)) {
        showErrorBox(L"Couldn't run the graph!  hr=0x%x", hexCode(hr));
        return hr;
    }
    g.previewState = State_Running;
    return S_OK;
}

void releaseCaptureGraph() {
    CaptureGraph& g = captureGraph;
    if (g.mediaControl != nullptr) {
        g.mediaControl->StopWhenReady();
    }
    g.previewState = State_Stopped;
    if (g.mediaEvent != nullptr) {
        g.mediaEvent->SetNotifyWindow(0, WM_GRAPH_EVENT, 0);
    }
    if (g.rendererWindow != nullptr) {
        g.rendererWindow->put_Visible(OAFALSE);
        g.rendererWindow->put_Owner(0);
    }
    if (g.rotCookie != 0) {
        withdrawGraphFromRot(g.rotCookie);
        g.rotCookie = 0;
    }
    releaseInterface(g.mediaControl);
    releaseInterface(g.mediaEvent);
    releaseInterface(g.rendererWindow);
    releaseInterface(g.basicVideo);
    releaseInterface(g.captureFilter);
    releaseInterface(g.graphBuilder);
    releaseInterface(g.captureBuilder);
}

bool captureGraphBuilt() {
    return captureGraph.mediaControl != nullptr && captureGraph.basicVideo != nullptr;
}

void fitVideoToClient() {
    if (captureGraph.rendererWindow == nullptr) {
        return;
    }
    RECT client;
    GetClientRect(videoHwnd, &client);
    captureGraph.rendererWindow->SetWindowPosition(0, 0, client.right, client.bottom);
}

HRESULT setPreviewRunning(bool show) {
    CaptureGraph& g = captureGraph;
    if (g.mediaControl == nullptr) {
        return S_OK;
    }
    if (!show) {
        g.previewState = State_Stopped;
        return g.mediaControl->StopWhenReady();
    }
    if (g.previewState == State_Running) {
        return S_OK;
    }
    g.previewState = State_Running;
    return g.mediaControl->Run();
}

HRESULT drainGraphEvents() {
    if (captureGraph.mediaEvent == nullptr) {
        return E_POINTER;
    }
    HRESULT hr = S_OK;
    long code;
    LONG_PTR param1;
    LONG_PTR param2;
    while (SUCCEEDED(captureGraph.mediaEvent->GetEvent(&code, &param1, &param2, 0))) {
        hr = captureGraph.mediaEvent->FreeEventParams(code, param1, param2);
    }
    return hr;
}

void showErrorBox(const wchar_t* format, ...) {
    wchar_t text[1024];
    va_list args;
    va_start(args, format);
    _vsnwprintf(text, 1023, format, args);
    va_end(args);
    text[1023] = L'\0';
    MessageBoxW(nullptr, text, L"Lumetta Message", MB_OK | MB_ICONERROR);
}
