// The output pin: its connection, its two media types (RGB24, RGB32 at the
// size of the pictures), its allocator and its category.
#include <cstring>

#include "tools/testcam/testcam.h"

namespace {

TestCameraPin* impl_from_IPin(IPin* iface) {
    return CONTAINING_RECORD(iface, TestCameraPin, IPin_iface);
}

TestCameraPin* impl_from_IKsPropertySet(IKsPropertySet* iface) {
    return CONTAINING_RECORD(iface, TestCameraPin, IKsPropertySet_iface);
}

const GUID& subtypeFor(int bitsPerPixel) {
    return bitsPerPixel == 32 ? MEDIASUBTYPE_RGB32 : MEDIASUBTYPE_RGB24;
}

// Whether a type, possibly partly given (GUID_NULL fields, no format),
// allows our type of the given depth.
bool allows(const AM_MEDIA_TYPE* mt, int bitsPerPixel, int32_t width, int32_t height) {
    if (mt == nullptr) {
        return true;
    }
    if ((!IsEqualGUID(mt->majortype, GUID_NULL) && !IsEqualGUID(mt->majortype, MEDIATYPE_Video)) ||
        (!IsEqualGUID(mt->subtype, GUID_NULL) &&
         !IsEqualGUID(mt->subtype, subtypeFor(bitsPerPixel)))) {
        return false;
    }
    if (IsEqualGUID(mt->formattype, GUID_NULL)) {
        return true;
    }
    if (!IsEqualGUID(mt->formattype, FORMAT_VideoInfo) || mt->pbFormat == nullptr ||
        mt->cbFormat < sizeof(VIDEOINFOHEADER)) {
        return false;
    }
    const BITMAPINFOHEADER& bih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader;
    return bih.biWidth == width && (bih.biHeight == height || bih.biHeight == -height) &&
           bih.biBitCount == bitsPerPixel && bih.biCompression == BI_RGB;
}

HRESULT STDMETHODCALLTYPE pin_QueryInterface(IPin* iface, REFIID riid, void** out) {
    TestCameraPin* pin = impl_from_IPin(iface);
    if (out == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPin)) {
        *out = &pin->IPin_iface;
    } else if (IsEqualIID(riid, IID_IKsPropertySet)) {
        *out = &pin->IKsPropertySet_iface;
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    IPin_AddRef(iface);
    return S_OK;
}

ULONG STDMETHODCALLTYPE pin_AddRef(IPin* iface) {
    return IBaseFilter_AddRef(&impl_from_IPin(iface)->filter->IBaseFilter_iface);
}

ULONG STDMETHODCALLTYPE pin_Release(IPin* iface) {
    return IBaseFilter_Release(&impl_from_IPin(iface)->filter->IBaseFilter_iface);
}

// Takes the downstream pin's allocator, or a memory allocator, with
// buffers that hold one frame each.
HRESULT negotiateAllocator(TestCameraPin* pin) {
    const PictureFolder& p = pin->filter->pictures;
    ALLOCATOR_PROPERTIES wanted = {};
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = S_OK;
    IMemInputPin_GetAllocatorRequirements(pin->peerInput, &wanted);
    wanted.cBuffers = wanted.cBuffers > 2 ? wanted.cBuffers : 2;
    wanted.cbBuffer = static_cast<LONG>(testcam::sampleBytes(p.width, p.height, pin->bitsPerPixel));
    wanted.cbAlign = wanted.cbAlign > 1 ? wanted.cbAlign : 1;
    wanted.cbPrefix = 0;
    if (FAILED(IMemInputPin_GetAllocator(pin->peerInput, &pin->allocator)) &&
        FAILED(hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IMemAllocator,
                                     reinterpret_cast<void**>(&pin->allocator)))) {
        return hr;
    }
    if (FAILED(hr = IMemAllocator_SetProperties(pin->allocator, &wanted, &actual))) {
        return hr;
    }
    if (actual.cbBuffer < wanted.cbBuffer) {
        return E_FAIL;
    }
    return IMemInputPin_NotifyAllocator(pin->peerInput, pin->allocator, FALSE);
}

// Offers our types in order until the receiver takes one.
HRESULT STDMETHODCALLTYPE pin_Connect(IPin* iface, IPin* receiver, const AM_MEDIA_TYPE* mt) {
    TestCameraPin* pin = impl_from_IPin(iface);
    TestCamera* camera = pin->filter;
    HRESULT hr = VFW_E_NO_ACCEPTABLE_TYPES;
    if (receiver == nullptr) {
        return E_POINTER;
    }
    EnterCriticalSection(&camera->lock);
    if (pin->peer != nullptr) {
        hr = VFW_E_ALREADY_CONNECTED;
        goto end;
    }
    if (camera->state != State_Stopped) {
        hr = VFW_E_NOT_STOPPED;
        goto end;
    }
    for (int bits : camera->formats) {
        AM_MEDIA_TYPE ours;
        if (!allows(mt, bits, camera->pictures.width, camera->pictures.height)) {
            continue;
        }
        if (!fillMediaType(&ours, bits, camera->pictures.width, camera->pictures.height)) {
            hr = E_OUTOFMEMORY;
            goto end;
        }
        const HRESULT offered = IPin_ReceiveConnection(receiver, iface, &ours);
        freeMediaType(&ours);
        if (SUCCEEDED(offered)) {
            pin->bitsPerPixel = bits;
            hr = S_OK;
            break;
        }
    }
    if (FAILED(hr)) {
        goto end;
    }
    pin->peer = receiver;
    IPin_AddRef(receiver);
    hr = IPin_QueryInterface(receiver, IID_IMemInputPin, reinterpret_cast<void**>(&pin->peerInput));
    if (SUCCEEDED(hr)) {
        hr = negotiateAllocator(pin);
    }
    if (FAILED(hr)) {
        IPin_Disconnect(receiver);
        releasePinConnection(pin);
        goto end;
    }
    traceLine("testcam: connected RGB%d %dx%d", pin->bitsPerPixel,
              static_cast<int>(camera->pictures.width), static_cast<int>(camera->pictures.height));
end:
    LeaveCriticalSection(&camera->lock);
    return hr;
}

HRESULT STDMETHODCALLTYPE pin_ReceiveConnection(IPin*, IPin*, const AM_MEDIA_TYPE*) {
    return E_UNEXPECTED;  // an output pin
}

HRESULT STDMETHODCALLTYPE pin_Disconnect(IPin* iface) {
    TestCameraPin* pin = impl_from_IPin(iface);
    TestCamera* camera = pin->filter;
    HRESULT hr = S_OK;
    EnterCriticalSection(&camera->lock);
    if (camera->state != State_Stopped) {
        hr = VFW_E_NOT_STOPPED;
    } else if (pin->peer == nullptr) {
        hr = S_FALSE;
    } else {
        releasePinConnection(pin);
    }
    LeaveCriticalSection(&camera->lock);
    return hr;
}

HRESULT STDMETHODCALLTYPE pin_ConnectedTo(IPin* iface, IPin** peer) {
    TestCameraPin* pin = impl_from_IPin(iface);
    if (peer == nullptr) {
        return E_POINTER;
    }
    EnterCriticalSection(&pin->filter->lock);
    *peer = pin->peer;
    if (*peer != nullptr) {
        IPin_AddRef(*peer);
    }
    LeaveCriticalSection(&pin->filter->lock);
    return *peer != nullptr ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT STDMETHODCALLTYPE pin_ConnectionMediaType(IPin* iface, AM_MEDIA_TYPE* mt) {
    TestCameraPin* pin = impl_from_IPin(iface);
    const PictureFolder& p = pin->filter->pictures;
    if (mt == nullptr) {
        return E_POINTER;
    }
    if (pin->peer == nullptr) {
        ZeroMemory(mt, sizeof *mt);
        return VFW_E_NOT_CONNECTED;
    }
    return fillMediaType(mt, pin->bitsPerPixel, p.width, p.height) ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE pin_QueryPinInfo(IPin* iface, PIN_INFO* info) {
    TestCameraPin* pin = impl_from_IPin(iface);
    if (info == nullptr) {
        return E_POINTER;
    }
    info->pFilter = &pin->filter->IBaseFilter_iface;
    IBaseFilter_AddRef(info->pFilter);
    info->dir = PINDIR_OUTPUT;
    lstrcpynW(info->achName, L"Capture", MAX_PIN_NAME);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE pin_QueryDirection(IPin*, PIN_DIRECTION* direction) {
    if (direction == nullptr) {
        return E_POINTER;
    }
    *direction = PINDIR_OUTPUT;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE pin_QueryId(IPin*, LPWSTR* id) {
    if (id == nullptr) {
        return E_POINTER;
    }
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof L"Capture"));
    if (*id == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(*id, L"Capture", sizeof L"Capture");
    return S_OK;
}

HRESULT STDMETHODCALLTYPE pin_QueryAccept(IPin* iface, const AM_MEDIA_TYPE* mt) {
    const TestCamera* camera = impl_from_IPin(iface)->filter;
    if (mt == nullptr) {
        return E_POINTER;
    }
    for (int bits : camera->formats) {
        if (allows(mt, bits, camera->pictures.width, camera->pictures.height) &&
            !IsEqualGUID(mt->subtype, GUID_NULL)) {
            return S_OK;
        }
    }
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE pin_EnumMediaTypes(IPin* iface, IEnumMediaTypes** out) {
    const TestCamera* camera = impl_from_IPin(iface)->filter;
    return createTypeEnum(camera->formats, camera->pictures.width, camera->pictures.height, 0, out);
}

HRESULT STDMETHODCALLTYPE pin_QueryInternalConnections(IPin*, IPin**, ULONG*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE pin_EndOfStream(IPin*) {
    return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE pin_BeginFlush(IPin*) {
    return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE pin_EndFlush(IPin*) {
    return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE pin_NewSegment(IPin*, REFERENCE_TIME, REFERENCE_TIME, double) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE props_QueryInterface(IKsPropertySet* iface, REFIID riid, void** out) {
    return pin_QueryInterface(&impl_from_IKsPropertySet(iface)->IPin_iface, riid, out);
}

ULONG STDMETHODCALLTYPE props_AddRef(IKsPropertySet* iface) {
    return pin_AddRef(&impl_from_IKsPropertySet(iface)->IPin_iface);
}

ULONG STDMETHODCALLTYPE props_Release(IKsPropertySet* iface) {
    return pin_Release(&impl_from_IKsPropertySet(iface)->IPin_iface);
}

HRESULT STDMETHODCALLTYPE props_Set(IKsPropertySet*, REFGUID, DWORD, LPVOID, DWORD, LPVOID,
                                    DWORD) {
    return E_PROP_ID_UNSUPPORTED;
}

// The capture graph builder finds the pin by its category; a capture pin
// gets its preview path through a Smart Tee.
HRESULT STDMETHODCALLTYPE props_Get(IKsPropertySet*, REFGUID set, DWORD id, LPVOID, DWORD,
                                    LPVOID data, DWORD size, DWORD* returned) {
    if (!IsEqualGUID(set, AMPROPSETID_Pin)) {
        return E_PROP_SET_UNSUPPORTED;
    }
    if (id != AMPROPERTY_PIN_CATEGORY) {
        return E_PROP_ID_UNSUPPORTED;
    }
    if (data == nullptr && returned == nullptr) {
        return E_POINTER;
    }
    if (returned != nullptr) {
        *returned = sizeof(GUID);
    }
    if (data == nullptr) {
        return S_OK;
    }
    if (size < sizeof(GUID)) {
        return E_UNEXPECTED;
    }
    *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE props_QuerySupported(IKsPropertySet*, REFGUID set, DWORD id,
                                               DWORD* support) {
    if (!IsEqualGUID(set, AMPROPSETID_Pin)) {
        return E_PROP_SET_UNSUPPORTED;
    }
    if (id != AMPROPERTY_PIN_CATEGORY) {
        return E_PROP_ID_UNSUPPORTED;
    }
    if (support != nullptr) {
        *support = KSPROPERTY_SUPPORT_GET;
    }
    return S_OK;
}

const IPinVtbl pinVtbl = {
    pin_QueryInterface, pin_AddRef,         pin_Release,
    pin_Connect,        pin_ReceiveConnection, pin_Disconnect,
    pin_ConnectedTo,    pin_ConnectionMediaType, pin_QueryPinInfo,
    pin_QueryDirection, pin_QueryId,        pin_QueryAccept,
    pin_EnumMediaTypes, pin_QueryInternalConnections, pin_EndOfStream,
    pin_BeginFlush,     pin_EndFlush,       pin_NewSegment,
};

const IKsPropertySetVtbl propsVtbl = {
    props_QueryInterface, props_AddRef, props_Release, props_Set, props_Get, props_QuerySupported,
};

}  // namespace

void initPin(TestCameraPin* pin, TestCamera* filter) {
    pin->IPin_iface.lpVtbl = const_cast<IPinVtbl*>(&pinVtbl);
    pin->IKsPropertySet_iface.lpVtbl = const_cast<IKsPropertySetVtbl*>(&propsVtbl);
    pin->filter = filter;
}

void releasePinConnection(TestCameraPin* pin) {
    if (pin->allocator != nullptr) {
        IMemAllocator_Release(pin->allocator);
        pin->allocator = nullptr;
    }
    if (pin->peerInput != nullptr) {
        IMemInputPin_Release(pin->peerInput);
        pin->peerInput = nullptr;
    }
    if (pin->peer != nullptr) {
        IPin_Release(pin->peer);
        pin->peer = nullptr;
    }
    pin->bitsPerPixel = 0;
}

bool fillMediaType(AM_MEDIA_TYPE* mt, int bitsPerPixel, int32_t width, int32_t height) {
    ZeroMemory(mt, sizeof *mt);
    const uint32_t bytes = testcam::sampleBytes(width, height, bitsPerPixel);
    auto* format = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (format == nullptr) {
        return false;
    }
    ZeroMemory(format, sizeof *format);
    format->AvgTimePerFrame = kFrameDuration;
    format->dwBitRate = bytes * 8u * static_cast<DWORD>(kFramesPerSecond);
    BITMAPINFOHEADER& bih = format->bmiHeader;
    bih.biSize = sizeof bih;
    bih.biWidth = width;
    bih.biHeight = height;
    bih.biPlanes = 1;
    bih.biBitCount = static_cast<WORD>(bitsPerPixel);
    bih.biCompression = BI_RGB;
    bih.biSizeImage = bytes;
    mt->majortype = MEDIATYPE_Video;
    mt->subtype = subtypeFor(bitsPerPixel);
    mt->bFixedSizeSamples = TRUE;
    mt->lSampleSize = bytes;
    mt->formattype = FORMAT_VideoInfo;
    mt->cbFormat = sizeof *format;
    mt->pbFormat = reinterpret_cast<BYTE*>(format);
    return true;
}

void freeMediaType(AM_MEDIA_TYPE* mt) {
    CoTaskMemFree(mt->pbFormat);
    mt->pbFormat = nullptr;
    mt->cbFormat = 0;
    if (mt->pUnk != nullptr) {
        IUnknown_Release(mt->pUnk);
        mt->pUnk = nullptr;
    }
}
