// The output pin: its connection, its media type, its pin category and the
// thread that keeps delivering the picture.
#include <cstring>

#include "fake_camera.h"

namespace {

// A 14 x 14 ECC200 symbol encoding "Tessaread" (made by zint), row 0 at
// the top; '1' is a dark module.
constexpr int kSymbolModules = 14;
constexpr const char* kSymbol[kSymbolModules] = {
    "10101010101010",
    "10110010110001",
    "11001111101000",
    "11100010100011",
    "10010100011100",
    "11010110011101",
    "11000000000010",
    "11001001100011",
    "11000010011010",
    "10101000000101",
    "10010001100000",
    "10001100110111",
    "11101101101100",
    "11111111111111",
};
constexpr int kModulePixels = 10;

// The picture: white, with the symbol in the middle; rows bottom-up.
void paintPicture(BYTE* frame) {
    std::memset(frame, 0xFF, kCameraFrameBytes);
    const int side = kSymbolModules * kModulePixels;
    const int left = (kCameraWidth - side) / 2;
    const int top = (kCameraHeight - side) / 2;
    for (int y = 0; y < side; ++y) {
        BYTE* row = frame + (kCameraHeight - 1 - (top + y)) * kCameraWidth * 3;
        for (int x = 0; x < side; ++x) {
            if (kSymbol[y / kModulePixels][x / kModulePixels] == '1') {
                std::memset(row + (left + x) * 3, 0x20, 3);
            }
        }
    }
}

FakePin* impl_from_IPin(IPin* iface) {
    return CONTAINING_RECORD(iface, FakePin, IPin_iface);
}

FakePin* impl_from_IKsPropertySet(IKsPropertySet* iface) {
    return CONTAINING_RECORD(iface, FakePin, IKsPropertySet_iface);
}

bool isOurType(const AM_MEDIA_TYPE* mt) {
    return mt == nullptr ||
           ((IsEqualGUID(mt->majortype, GUID_NULL) || IsEqualGUID(mt->majortype, MEDIATYPE_Video)) &&
            (IsEqualGUID(mt->subtype, GUID_NULL) || IsEqualGUID(mt->subtype, MEDIASUBTYPE_RGB24)));
}

HRESULT STDMETHODCALLTYPE pin_QueryInterface(IPin* iface, REFIID riid, void** out) {
    FakePin* pin = impl_from_IPin(iface);
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

// Takes the downstream pin's allocator, or a memory allocator, sized for
// one picture per buffer.
HRESULT negotiateAllocator(FakePin* pin) {
    HRESULT hr = IMemInputPin_GetAllocator(pin->peerInput, &pin->allocator);
    if (FAILED(hr)) {
        hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IMemAllocator, reinterpret_cast<void**>(&pin->allocator));
        if (FAILED(hr)) {
            return hr;
        }
    }
    ALLOCATOR_PROPERTIES wanted = {2, kCameraFrameBytes, 1, 0};
    ALLOCATOR_PROPERTIES actual;
    if (FAILED(hr = IMemAllocator_SetProperties(pin->allocator, &wanted, &actual))) {
        return hr;
    }
    return IMemInputPin_NotifyAllocator(pin->peerInput, pin->allocator, FALSE);
}

HRESULT STDMETHODCALLTYPE pin_Connect(IPin* iface, IPin* receiver, const AM_MEDIA_TYPE* mt) {
    FakePin* pin = impl_from_IPin(iface);
    if (receiver == nullptr) {
        return E_POINTER;
    }
    if (pin->peer != nullptr) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (!isOurType(mt)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    AM_MEDIA_TYPE ours;
    fillCameraMediaType(&ours);
    HRESULT hr = IPin_ReceiveConnection(receiver, iface, &ours);
    freeMediaTypeFormat(&ours);
    if (FAILED(hr)) {
        return VFW_E_NO_ACCEPTABLE_TYPES;
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
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE pin_ReceiveConnection(IPin*, IPin*, const AM_MEDIA_TYPE*) {
    return E_UNEXPECTED;  // an output pin
}

HRESULT STDMETHODCALLTYPE pin_Disconnect(IPin* iface) {
    FakePin* pin = impl_from_IPin(iface);
    if (pin->peer == nullptr) {
        return S_FALSE;
    }
    releasePinConnection(pin);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE pin_ConnectedTo(IPin* iface, IPin** peer) {
    FakePin* pin = impl_from_IPin(iface);
    if (peer == nullptr) {
        return E_POINTER;
    }
    *peer = pin->peer;
    if (*peer == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    IPin_AddRef(*peer);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE pin_ConnectionMediaType(IPin* iface, AM_MEDIA_TYPE* mt) {
    if (mt == nullptr) {
        return E_POINTER;
    }
    if (impl_from_IPin(iface)->peer == nullptr) {
        ZeroMemory(mt, sizeof *mt);
        return VFW_E_NOT_CONNECTED;
    }
    fillCameraMediaType(mt);
    return mt->pbFormat != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE pin_QueryPinInfo(IPin* iface, PIN_INFO* info) {
    FakePin* pin = impl_from_IPin(iface);
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

HRESULT STDMETHODCALLTYPE pin_QueryAccept(IPin*, const AM_MEDIA_TYPE* mt) {
    return mt != nullptr && isOurType(mt) ? S_OK : S_FALSE;
}

// The enumerator of the one media type.
struct TypeEnum {
    IEnumMediaTypes IEnumMediaTypes_iface;
    LONG refcount;
    ULONG position;
};

HRESULT createTypeEnum(ULONG position, IEnumMediaTypes** out);

TypeEnum* impl_from_IEnumMediaTypes(IEnumMediaTypes* iface) {
    return CONTAINING_RECORD(iface, TypeEnum, IEnumMediaTypes_iface);
}

HRESULT STDMETHODCALLTYPE typeEnum_QueryInterface(IEnumMediaTypes* iface, REFIID riid,
                                                  void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumMediaTypes)) {
        *out = iface;
        IEnumMediaTypes_AddRef(iface);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE typeEnum_AddRef(IEnumMediaTypes* iface) {
    return InterlockedIncrement(&impl_from_IEnumMediaTypes(iface)->refcount);
}

ULONG STDMETHODCALLTYPE typeEnum_Release(IEnumMediaTypes* iface) {
    TypeEnum* e = impl_from_IEnumMediaTypes(iface);
    const ULONG count = InterlockedDecrement(&e->refcount);
    if (count == 0) {
        CoTaskMemFree(e);
        InterlockedDecrement(&cameraObjects);
    }
    return count;
}

HRESULT STDMETHODCALLTYPE typeEnum_Next(IEnumMediaTypes* iface, ULONG count,
                                        AM_MEDIA_TYPE** types, ULONG* fetched) {
    TypeEnum* e = impl_from_IEnumMediaTypes(iface);
    if (types == nullptr || (count > 1 && fetched == nullptr)) {
        return E_POINTER;
    }
    ULONG n = 0;
    if (count > 0 && e->position == 0) {
        types[0] = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (types[0] == nullptr) {
            return E_OUTOFMEMORY;
        }
        fillCameraMediaType(types[0]);
        e->position = 1;
        n = 1;
    }
    if (fetched != nullptr) {
        *fetched = n;
    }
    return n == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE typeEnum_Skip(IEnumMediaTypes* iface, ULONG count) {
    TypeEnum* e = impl_from_IEnumMediaTypes(iface);
    const ULONG left = 1 - e->position;
    e->position += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE typeEnum_Reset(IEnumMediaTypes* iface) {
    impl_from_IEnumMediaTypes(iface)->position = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE typeEnum_Clone(IEnumMediaTypes* iface, IEnumMediaTypes** out) {
    return createTypeEnum(impl_from_IEnumMediaTypes(iface)->position, out);
}

const IEnumMediaTypesVtbl typeEnumVtbl = {
    typeEnum_QueryInterface, typeEnum_AddRef, typeEnum_Release, typeEnum_Next,
    typeEnum_Skip,           typeEnum_Reset,  typeEnum_Clone,
};

HRESULT createTypeEnum(ULONG position, IEnumMediaTypes** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    auto* e = static_cast<TypeEnum*>(CoTaskMemAlloc(sizeof(TypeEnum)));
    if (e == nullptr) {
        return E_OUTOFMEMORY;
    }
    e->IEnumMediaTypes_iface.lpVtbl = const_cast<IEnumMediaTypesVtbl*>(&typeEnumVtbl);
    e->refcount = 1;
    e->position = position;
    InterlockedIncrement(&cameraObjects);
    *out = &e->IEnumMediaTypes_iface;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE pin_EnumMediaTypes(IPin*, IEnumMediaTypes** out) {
    return createTypeEnum(0, out);
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

const IPinVtbl pinVtbl = {
    pin_QueryInterface,    pin_AddRef,          pin_Release,
    pin_Connect,           pin_ReceiveConnection, pin_Disconnect,
    pin_ConnectedTo,       pin_ConnectionMediaType, pin_QueryPinInfo,
    pin_QueryDirection,    pin_QueryId,         pin_QueryAccept,
    pin_EnumMediaTypes,    pin_QueryInternalConnections, pin_EndOfStream,
    pin_BeginFlush,        pin_EndFlush,        pin_NewSegment,
};

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

// The capture graph builder looks for the pin by its category; a capture
// pin gets the preview path through a Smart Tee.
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

const IKsPropertySetVtbl propsVtbl = {
    props_QueryInterface, props_AddRef, props_Release, props_Set, props_Get, props_QuerySupported,
};

// Delivers the picture about 30 times a second until streaming ends.
DWORD WINAPI deliverPictures(LPVOID parameter) {
    auto* pin = static_cast<FakePin*>(parameter);
    while (pin->streaming) {
        IMediaSample* sample = nullptr;
        if (FAILED(IMemAllocator_GetBuffer(pin->allocator, &sample, nullptr, nullptr, 0))) {
            break;  // decommitted
        }
        BYTE* data = nullptr;
        if (SUCCEEDED(IMediaSample_GetPointer(sample, &data)) &&
            IMediaSample_GetSize(sample) >= kCameraFrameBytes) {
            paintPicture(data);
            IMediaSample_SetActualDataLength(sample, kCameraFrameBytes);
            IMediaSample_SetSyncPoint(sample, TRUE);
            IMemInputPin_Receive(pin->peerInput, sample);
        }
        IMediaSample_Release(sample);
        Sleep(33);
    }
    return 0;
}

}  // namespace

void initFakePin(FakePin* pin, FakeCamera* filter) {
    pin->IPin_iface.lpVtbl = const_cast<IPinVtbl*>(&pinVtbl);
    pin->IKsPropertySet_iface.lpVtbl = const_cast<IKsPropertySetVtbl*>(&propsVtbl);
    pin->filter = filter;
}

HRESULT startStreaming(FakePin* pin) {
    if (pin->peer == nullptr || pin->thread != nullptr) {
        return S_OK;
    }
    HRESULT hr = IMemAllocator_Commit(pin->allocator);
    if (FAILED(hr)) {
        return hr;
    }
    pin->streaming = 1;
    pin->thread = CreateThread(nullptr, 0, deliverPictures, pin, 0, nullptr);
    return pin->thread != nullptr ? S_OK : E_FAIL;
}

void stopStreaming(FakePin* pin) {
    if (pin->thread == nullptr) {
        return;
    }
    pin->streaming = 0;
    IMemAllocator_Decommit(pin->allocator);
    WaitForSingleObject(pin->thread, 5000);
    CloseHandle(pin->thread);
    pin->thread = nullptr;
}

void releasePinConnection(FakePin* pin) {
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
}

void fillCameraMediaType(AM_MEDIA_TYPE* mt) {
    ZeroMemory(mt, sizeof *mt);
    mt->majortype = MEDIATYPE_Video;
    mt->subtype = MEDIASUBTYPE_RGB24;
    mt->bFixedSizeSamples = TRUE;
    mt->lSampleSize = kCameraFrameBytes;
    mt->formattype = FORMAT_VideoInfo;
    auto* format = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (format == nullptr) {
        return;
    }
    ZeroMemory(format, sizeof *format);
    format->AvgTimePerFrame = 333333;
    BITMAPINFOHEADER& bih = format->bmiHeader;
    bih.biSize = sizeof bih;
    bih.biWidth = kCameraWidth;
    bih.biHeight = kCameraHeight;
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    bih.biCompression = BI_RGB;
    bih.biSizeImage = kCameraFrameBytes;
    mt->cbFormat = sizeof *format;
    mt->pbFormat = reinterpret_cast<BYTE*>(format);
}

void freeMediaTypeFormat(AM_MEDIA_TYPE* mt) {
    CoTaskMemFree(mt->pbFormat);
    mt->pbFormat = nullptr;
    mt->cbFormat = 0;
}
