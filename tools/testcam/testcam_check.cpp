// testcam-check: tests of tessaread-testcam.dll through its COM interfaces,
// run under Wine by the Wine tests (it needs no registration: it asks the
// DLL itself for its class factory).
//
//   testcam-check <tessaread-testcam.dll> <folder with BMP pictures>
//
// Prints one line per failed check and the count; the exit code is the
// number of failures (capped at 100), 2 on bad usage.
#define CINTERFACE
#define COBJMACROS
#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/testcam/pictures.h"

extern const CLSID CLSID_TessareadTestCamera;
const CLSID CLSID_TessareadTestCamera = {
    0x6c0b3e55, 0x9f3a, 0x4e2b, {0x8c, 0x1d, 0x2a, 0x7e, 0x5b, 0x4f, 0x9d, 0x10}};

namespace {

// qedit's Sample Grabber and Null Renderer (their class ids are not in
// mingw-w64's headers).
const CLSID kSampleGrabber = {
    0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
const CLSID kNullRenderer = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

int failures;

void check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAIL: %s\n", what);
        ++failures;
    }
}

using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNow = HRESULT(WINAPI*)();

struct Dll {
    HMODULE module = nullptr;
    GetClassObject getClassObject = nullptr;
    CanUnloadNow canUnloadNow = nullptr;
};

HRESULT createCamera(const Dll& dll, IBaseFilter** camera) {
    IClassFactory* factory = nullptr;
    HRESULT hr = dll.getClassObject(CLSID_TessareadTestCamera, IID_IClassFactory,
                                    reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    hr = IClassFactory_CreateInstance(factory, nullptr, IID_IBaseFilter,
                                      reinterpret_cast<void**>(camera));
    IClassFactory_Release(factory);
    return hr;
}

IPin* onlyPin(IBaseFilter* filter) {
    IEnumPins* pins = nullptr;
    IPin* pin[2] = {};
    ULONG fetched = 0;
    if (FAILED(IBaseFilter_EnumPins(filter, &pins))) {
        return nullptr;
    }
    check(IEnumPins_Next(pins, 2, pin, &fetched) == S_FALSE && fetched == 1, "one pin");
    check(IEnumPins_Next(pins, 1, pin + 1, &fetched) == S_FALSE && fetched == 0, "no second pin");
    IEnumPins_Release(pins);
    return pin[0];
}

// Both media types in the order offered, at the pictures' size.
void checkMediaTypes(IPin* pin, int first, int32_t width, int32_t height) {
    IEnumMediaTypes* types = nullptr;
    AM_MEDIA_TYPE* mt[3] = {};
    ULONG fetched = 0;
    if (FAILED(IPin_EnumMediaTypes(pin, &types))) {
        check(false, "media type enumerator");
        return;
    }
    check(IEnumMediaTypes_Next(types, 3, mt, &fetched) == S_FALSE && fetched == 2, "two media types");
    const int depths[2] = {first, first == 24 ? 32 : 24};
    for (ULONG i = 0; i < fetched && i < 2; ++i) {
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt[i]->pbFormat);
        check(IsEqualGUID(mt[i]->majortype, MEDIATYPE_Video) &&
                  IsEqualGUID(mt[i]->subtype,
                              depths[i] == 24 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_RGB32) &&
                  IsEqualGUID(mt[i]->formattype, FORMAT_VideoInfo) && vih != nullptr &&
                  vih->bmiHeader.biWidth == width && vih->bmiHeader.biHeight == height &&
                  vih->bmiHeader.biBitCount == depths[i] && vih->AvgTimePerFrame == 1000000,
              "media type: video, RGB at the pictures' size, 10 frames a second");
        check(IPin_QueryAccept(pin, mt[i]) == S_OK, "pin accepts its own type");
        if (vih != nullptr) {
            const_cast<VIDEOINFOHEADER*>(vih)->bmiHeader.biWidth = width + 1;
            check(IPin_QueryAccept(pin, mt[i]) == S_FALSE, "pin refuses another size");
        }
        CoTaskMemFree(mt[i]->pbFormat);
        CoTaskMemFree(mt[i]);
    }
    IEnumMediaTypes_Release(types);
}

void checkCategory(IPin* pin) {
    IKsPropertySet* props = nullptr;
    GUID category = GUID_NULL;
    DWORD returned = 0;
    DWORD support = 0;
    if (FAILED(IPin_QueryInterface(pin, IID_IKsPropertySet, reinterpret_cast<void**>(&props)))) {
        check(false, "IKsPropertySet on the pin");
        return;
    }
    check(IKsPropertySet_Get(props, AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                             sizeof category, &returned) == S_OK &&
              IsEqualGUID(category, PIN_CATEGORY_CAPTURE) && returned == sizeof category,
          "pin category is PIN_CATEGORY_CAPTURE");
    check(IKsPropertySet_QuerySupported(props, AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support) ==
                  S_OK &&
              support == KSPROPERTY_SUPPORT_GET,
          "category can be read");
    check(IKsPropertySet_Get(props, AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                             sizeof category - 1, &returned) != S_OK,
          "category refused into a short buffer");
    IKsPropertySet_Release(props);
}

// The filter on its own: identity, pin, types, category, references.
void checkFilter(const Dll& dll, int first, int32_t width, int32_t height) {
    IBaseFilter* camera = nullptr;
    IUnknown* other = nullptr;
    CLSID clsid = GUID_NULL;
    if (FAILED(createCamera(dll, &camera))) {
        check(false, "camera created");
        return;
    }
    check(IBaseFilter_QueryInterface(camera, IID_IAMFilterMiscFlags,
                                     reinterpret_cast<void**>(&other)) == S_OK,
          "IAMFilterMiscFlags");
    if (other != nullptr) {
        IUnknown_Release(other);
    }
    check(IBaseFilter_QueryInterface(camera, IID_IReferenceClock, reinterpret_cast<void**>(&other)) ==
                  E_NOINTERFACE &&
              other == nullptr,
          "no clock");
    check(IBaseFilter_GetClassID(camera, &clsid) == S_OK &&
              IsEqualCLSID(clsid, CLSID_TessareadTestCamera),
          "class id");
    IPin* pin = onlyPin(camera);
    if (pin != nullptr) {
        PIN_DIRECTION direction = PINDIR_INPUT;
        check(IPin_QueryDirection(pin, &direction) == S_OK && direction == PINDIR_OUTPUT, "output pin");
        checkMediaTypes(pin, first, width, height);
        checkCategory(pin);
        IPin_Release(pin);
    }
    // Paused and stopped without a connection: nothing to deliver to.
    check(IBaseFilter_Pause(camera) == S_OK && IBaseFilter_Stop(camera) == S_OK, "pause, stop");
    check(IBaseFilter_Release(camera) == 0, "last release of the camera returns 0");
}

struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rows;
};

// The picture the camera shows first, as the grabber should hold it.
Picture firstPicture(const std::string& folder) {
    WIN32_FIND_DATAA found;
    std::vector<std::string> names;
    HANDLE search = FindFirstFileA((folder + "\\*.bmp").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            names.emplace_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    Picture picture;
    std::string first;
    for (const std::string& n : names) {
        first = first.empty() || lstrcmpiA(n.c_str(), first.c_str()) < 0 ? n : first;
    }
    FILE* f = first.empty() ? nullptr : std::fopen((folder + "\\" + first).c_str(), "rb");
    if (f != nullptr) {
        std::vector<uint8_t> file(64 << 20);
        file.resize(std::fread(file.data(), 1, file.size(), f));
        std::fclose(f);
        testcam::BmpLayout layout;
        if (testcam::readBmpLayout(file.data(), file.size(), file.size(), layout) &&
            testcam::readBmpRows(file.data(), file.size(), layout, picture.rows)) {
            picture.width = layout.width;
            picture.height = layout.height;
        }
    }
    return picture;
}

HRESULT addFilter(IGraphBuilder* graph, REFCLSID clsid, const wchar_t* name, IBaseFilter** filter) {
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(filter));
    return SUCCEEDED(hr) ? IGraphBuilder_AddFilter(graph, *filter, name) : hr;
}

// The first pin of a filter in the given direction.
IPin* findPin(IBaseFilter* filter, PIN_DIRECTION wanted) {
    IEnumPins* pins = nullptr;
    IPin* pin = nullptr;
    PIN_DIRECTION direction;
    if (FAILED(IBaseFilter_EnumPins(filter, &pins))) {
        return nullptr;
    }
    while (IEnumPins_Next(pins, 1, &pin, nullptr) == S_OK) {
        if (SUCCEEDED(IPin_QueryDirection(pin, &direction)) && direction == wanted) {
            break;
        }
        IPin_Release(pin);
        pin = nullptr;
    }
    IEnumPins_Release(pins);
    return pin;
}

HRESULT connect(IGraphBuilder* graph, IBaseFilter* from, IBaseFilter* to) {
    IPin* out = findPin(from, PINDIR_OUTPUT);
    IPin* in = findPin(to, PINDIR_INPUT);
    const HRESULT hr =
        out != nullptr && in != nullptr ? IGraphBuilder_ConnectDirect(graph, out, in, nullptr) : E_FAIL;
    if (in != nullptr) {
        IPin_Release(in);
    }
    if (out != nullptr) {
        IPin_Release(out);
    }
    return hr;
}

// Camera -> Sample Grabber -> Null Renderer: the frames arrive with the
// first picture's pixels; the graph stops, and every object goes.
void checkStreaming(const Dll& dll, const std::vector<uint8_t>& want) {
    IGraphBuilder* graph = nullptr;
    IMediaControl* control = nullptr;
    IBaseFilter* camera = nullptr;
    IBaseFilter* grabberFilter = nullptr;
    IBaseFilter* sink = nullptr;
    ISampleGrabber* grabber = nullptr;
    AM_MEDIA_TYPE mt = {};
    std::vector<uint8_t> got(want.size() + 16, 0);
    long size = static_cast<long>(got.size());
    HRESULT hr;
    if (FAILED(hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IGraphBuilder, reinterpret_cast<void**>(&graph))) ||
        FAILED(hr = IGraphBuilder_QueryInterface(graph, IID_IMediaControl,
                                                 reinterpret_cast<void**>(&control))) ||
        FAILED(hr = createCamera(dll, &camera)) ||
        FAILED(hr = IGraphBuilder_AddFilter(graph, camera, L"Camera")) ||
        FAILED(hr = addFilter(graph, kSampleGrabber, L"Grabber", &grabberFilter)) ||
        FAILED(hr = addFilter(graph, kNullRenderer, L"Sink", &sink)) ||
        FAILED(hr = IBaseFilter_QueryInterface(grabberFilter, IID_ISampleGrabber,
                                               reinterpret_cast<void**>(&grabber)))) {
        std::printf("FAIL: graph set-up hr=0x%lx\n", static_cast<unsigned long>(hr));
        ++failures;
        goto end;
    }
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB24;
    ISampleGrabber_SetMediaType(grabber, &mt);
    ISampleGrabber_SetBufferSamples(grabber, TRUE);
    check(SUCCEEDED(connect(graph, camera, grabberFilter)) &&
              SUCCEEDED(connect(graph, grabberFilter, sink)),
          "camera -> grabber -> sink connected");
    check(SUCCEEDED(IMediaControl_Run(control)), "graph runs");
    Sleep(1500);
    hr = ISampleGrabber_GetCurrentBuffer(grabber, &size, reinterpret_cast<long*>(got.data()));
    check(SUCCEEDED(hr) && size == static_cast<long>(want.size()) &&
              std::equal(want.begin(), want.end(), got.begin()),
          "a frame holds the first picture, pixel for pixel");
    check(SUCCEEDED(IMediaControl_Pause(control)), "graph pauses");
    Sleep(300);
    check(SUCCEEDED(IMediaControl_Stop(control)), "graph stops");
end:
    if (grabber != nullptr) {
        ISampleGrabber_Release(grabber);
    }
    if (control != nullptr) {
        IMediaControl_Release(control);
    }
    if (sink != nullptr) {
        IBaseFilter_Release(sink);
    }
    if (grabberFilter != nullptr) {
        IBaseFilter_Release(grabberFilter);
    }
    if (graph != nullptr) {
        check(IGraphBuilder_Release(graph) == 0, "last release of the graph returns 0");
    }
    if (camera != nullptr) {
        check(IBaseFilter_Release(camera) == 0, "last release of the camera returns 0");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: testcam-check <tessaread-testcam.dll> <picture folder>\n", stderr);
        return 2;
    }
    Dll dll;
    dll.module = LoadLibraryA(argv[1]);
    if (dll.module == nullptr) {
        std::printf("FAIL: cannot load %s\n", argv[1]);
        return 1;
    }
    dll.getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(dll.module, "DllGetClassObject")));
    dll.canUnloadNow = reinterpret_cast<CanUnloadNow>(
        reinterpret_cast<void*>(GetProcAddress(dll.module, "DllCanUnloadNow")));
    if (dll.getClassObject == nullptr || dll.canUnloadNow == nullptr ||
        FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::puts("FAIL: exports or COM");
        return 1;
    }
    // No folder: grey 320 x 240; the folder: its size, RGB32 first on demand.
    SetEnvironmentVariableA("TESSAREAD_TESTCAM_DIR", nullptr);
    checkFilter(dll, 24, testcam::kGreyWidth, testcam::kGreyHeight);
    const Picture first = firstPicture(argv[2]);
    check(!first.rows.empty(), "first picture of the folder read");
    SetEnvironmentVariableA("TESSAREAD_TESTCAM_DIR", argv[2]);
    SetEnvironmentVariableA("TESSAREAD_TESTCAM_FORMAT", "RGB32");
    checkFilter(dll, 32, first.width, first.height);
    SetEnvironmentVariableA("TESSAREAD_TESTCAM_FORMAT", nullptr);
    checkStreaming(dll, first.rows);
    check(dll.canUnloadNow() == S_OK, "DLL can unload: no object left");
    CoUninitialize();
    std::printf("%d failures\n", failures);
    return failures < 100 ? failures : 100;
}
