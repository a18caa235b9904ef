// The filter object and its pin enumerator.
#include "fake_camera.h"

#include <cwchar>

LONG cameraObjects;

namespace {

FakeCamera* impl_from_IBaseFilter(IBaseFilter* iface) {
    return CONTAINING_RECORD(iface, FakeCamera, IBaseFilter_iface);
}

FakeCamera* impl_from_IAMFilterMiscFlags(IAMFilterMiscFlags* iface) {
    return CONTAINING_RECORD(iface, FakeCamera, IAMFilterMiscFlags_iface);
}

HRESULT STDMETHODCALLTYPE filter_QueryInterface(IBaseFilter* iface, REFIID riid, void** out) {
    FakeCamera* camera = impl_from_IBaseFilter(iface);
    if (out == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPersist) ||
        IsEqualIID(riid, IID_IMediaFilter) || IsEqualIID(riid, IID_IBaseFilter)) {
        *out = &camera->IBaseFilter_iface;
    } else if (IsEqualIID(riid, IID_IAMFilterMiscFlags)) {
        *out = &camera->IAMFilterMiscFlags_iface;
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    IBaseFilter_AddRef(iface);
    return S_OK;
}

ULONG STDMETHODCALLTYPE filter_AddRef(IBaseFilter* iface) {
    return InterlockedIncrement(&impl_from_IBaseFilter(iface)->refcount);
}

ULONG STDMETHODCALLTYPE filter_Release(IBaseFilter* iface) {
    FakeCamera* camera = impl_from_IBaseFilter(iface);
    const ULONG count = InterlockedDecrement(&camera->refcount);
    if (count == 0) {
        stopStreaming(&camera->pin);
        releasePinConnection(&camera->pin);
        if (camera->clock != nullptr) {
            IReferenceClock_Release(camera->clock);
        }
        DeleteCriticalSection(&camera->lock);
        CoTaskMemFree(camera);
        InterlockedDecrement(&cameraObjects);
    }
    return count;
}

HRESULT STDMETHODCALLTYPE filter_GetClassID(IBaseFilter*, CLSID* clsid) {
    if (clsid == nullptr) {
        return E_POINTER;
    }
    *clsid = CLSID_TessareadTestCamera;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE filter_Stop(IBaseFilter* iface) {
    FakeCamera* camera = impl_from_IBaseFilter(iface);
    EnterCriticalSection(&camera->lock);
    stopStreaming(&camera->pin);
    camera->state = State_Stopped;
    LeaveCriticalSection(&camera->lock);
    return S_OK;
}

// Like a file source, the camera delivers while paused, so that a paused
// renderer always has a current picture.
HRESULT STDMETHODCALLTYPE filter_Pause(IBaseFilter* iface) {
    FakeCamera* camera = impl_from_IBaseFilter(iface);
    HRESULT hr = S_OK;
    EnterCriticalSection(&camera->lock);
    if (camera->state == State_Stopped) {
        hr = startStreaming(&camera->pin);
    }
    if (SUCCEEDED(hr)) {
        camera->state = State_Paused;
    }
    LeaveCriticalSection(&camera->lock);
    return hr;
}

HRESULT STDMETHODCALLTYPE filter_Run(IBaseFilter* iface, REFERENCE_TIME) {
    FakeCamera* camera = impl_from_IBaseFilter(iface);
    HRESULT hr = S_OK;
    EnterCriticalSection(&camera->lock);
    if (camera->state == State_Stopped) {
        hr = startStreaming(&camera->pin);
    }
    if (SUCCEEDED(hr)) {
        camera->state = State_Running;
    }
    LeaveCriticalSection(&camera->lock);
    return hr;
}

HRESULT STDMETHODCALLTYPE filter_GetState(IBaseFilter* iface, DWORD, FILTER_STATE* state) {
    if (state == nullptr) {
        return E_POINTER;
    }
    *state = impl_from_IBaseFilter(iface)->state;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE filter_SetSyncSource(IBaseFilter* iface, IReferenceClock* clock) {
    FakeCamera* camera = impl_from_IBaseFilter(iface);
    EnterCriticalSection(&camera->lock);
    if (clock != nullptr) {
        IReferenceClock_AddRef(clock);
    }
    if (camera->clock != nullptr) {
        IReferenceClock_Release(camera->clock);
    }
    camera->clock = clock;
    LeaveCriticalSection(&camera->lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE filter_GetSyncSource(IBaseFilter* iface, IReferenceClock** clock) {
    FakeCamera* camera = impl_from_IBaseFilter(iface);
    if (clock == nullptr) {
        return E_POINTER;
    }
    *clock = camera->clock;
    if (*clock != nullptr) {
        IReferenceClock_AddRef(*clock);
    }
    return S_OK;
}

// The enumerator of the one pin.
struct PinEnum {
    IEnumPins IEnumPins_iface;
    LONG refcount;
    FakeCamera* camera;
    ULONG position;
};

HRESULT createPinEnum(FakeCamera* camera, ULONG position, IEnumPins** out);

PinEnum* impl_from_IEnumPins(IEnumPins* iface) {
    return CONTAINING_RECORD(iface, PinEnum, IEnumPins_iface);
}

HRESULT STDMETHODCALLTYPE pinEnum_QueryInterface(IEnumPins* iface, REFIID riid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumPins)) {
        *out = iface;
        IEnumPins_AddRef(iface);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE pinEnum_AddRef(IEnumPins* iface) {
    return InterlockedIncrement(&impl_from_IEnumPins(iface)->refcount);
}

ULONG STDMETHODCALLTYPE pinEnum_Release(IEnumPins* iface) {
    PinEnum* e = impl_from_IEnumPins(iface);
    const ULONG count = InterlockedDecrement(&e->refcount);
    if (count == 0) {
        IBaseFilter_Release(&e->camera->IBaseFilter_iface);
        CoTaskMemFree(e);
    }
    return count;
}

HRESULT STDMETHODCALLTYPE pinEnum_Next(IEnumPins* iface, ULONG count, IPin** pins,
                                       ULONG* fetched) {
    PinEnum* e = impl_from_IEnumPins(iface);
    if (pins == nullptr || (count > 1 && fetched == nullptr)) {
        return E_POINTER;
    }
    ULONG n = 0;
    if (count > 0 && e->position == 0) {
        pins[0] = &e->camera->pin.IPin_iface;
        IPin_AddRef(pins[0]);
        e->position = 1;
        n = 1;
    }
    if (fetched != nullptr) {
        *fetched = n;
    }
    return n == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE pinEnum_Skip(IEnumPins* iface, ULONG count) {
    PinEnum* e = impl_from_IEnumPins(iface);
    const ULONG left = 1 - e->position;
    e->position += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE pinEnum_Reset(IEnumPins* iface) {
    impl_from_IEnumPins(iface)->position = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE pinEnum_Clone(IEnumPins* iface, IEnumPins** out) {
    PinEnum* e = impl_from_IEnumPins(iface);
    return createPinEnum(e->camera, e->position, out);
}

const IEnumPinsVtbl pinEnumVtbl = {
    pinEnum_QueryInterface, pinEnum_AddRef, pinEnum_Release, pinEnum_Next,
    pinEnum_Skip,           pinEnum_Reset,  pinEnum_Clone,
};

HRESULT createPinEnum(FakeCamera* camera, ULONG position, IEnumPins** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    auto* e = static_cast<PinEnum*>(CoTaskMemAlloc(sizeof(PinEnum)));
    if (e == nullptr) {
        return E_OUTOFMEMORY;
    }
    e->IEnumPins_iface.lpVtbl = const_cast<IEnumPinsVtbl*>(&pinEnumVtbl);
    e->refcount = 1;
    e->camera = camera;
    e->position = position;
    IBaseFilter_AddRef(&camera->IBaseFilter_iface);
    *out = &e->IEnumPins_iface;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE filter_EnumPins(IBaseFilter* iface, IEnumPins** out) {
    return createPinEnum(impl_from_IBaseFilter(iface), 0, out);
}

HRESULT STDMETHODCALLTYPE filter_FindPin(IBaseFilter* iface, LPCWSTR id, IPin** pin) {
    if (id == nullptr || pin == nullptr) {
        return E_POINTER;
    }
    if (std::wcscmp(id, L"Capture") != 0) {
        *pin = nullptr;
        return VFW_E_NOT_FOUND;
    }
    *pin = &impl_from_IBaseFilter(iface)->pin.IPin_iface;
    IPin_AddRef(*pin);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE filter_QueryFilterInfo(IBaseFilter* iface, FILTER_INFO* info) {
    FakeCamera* camera = impl_from_IBaseFilter(iface);
    if (info == nullptr) {
        return E_POINTER;
    }
    lstrcpynW(info->achName, camera->name, MAX_FILTER_NAME);
    info->pGraph = camera->graph;
    if (info->pGraph != nullptr) {
        IFilterGraph_AddRef(info->pGraph);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE filter_JoinFilterGraph(IBaseFilter* iface, IFilterGraph* graph,
                                                 LPCWSTR name) {
    FakeCamera* camera = impl_from_IBaseFilter(iface);
    EnterCriticalSection(&camera->lock);
    camera->graph = graph;
    lstrcpynW(camera->name, name != nullptr ? name : L"", 128);
    LeaveCriticalSection(&camera->lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE filter_QueryVendorInfo(IBaseFilter*, LPWSTR*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE miscFlags_QueryInterface(IAMFilterMiscFlags* iface, REFIID riid,
                                                   void** out) {
    return filter_QueryInterface(&impl_from_IAMFilterMiscFlags(iface)->IBaseFilter_iface, riid,
                                 out);
}

ULONG STDMETHODCALLTYPE miscFlags_AddRef(IAMFilterMiscFlags* iface) {
    return filter_AddRef(&impl_from_IAMFilterMiscFlags(iface)->IBaseFilter_iface);
}

ULONG STDMETHODCALLTYPE miscFlags_Release(IAMFilterMiscFlags* iface) {
    return filter_Release(&impl_from_IAMFilterMiscFlags(iface)->IBaseFilter_iface);
}

ULONG STDMETHODCALLTYPE miscFlags_GetMiscFlags(IAMFilterMiscFlags*) {
    return AM_FILTER_MISC_FLAGS_IS_SOURCE;
}

const IBaseFilterVtbl filterVtbl = {
    filter_QueryInterface, filter_AddRef,          filter_Release,         filter_GetClassID,
    filter_Stop,           filter_Pause,           filter_Run,             filter_GetState,
    filter_SetSyncSource,  filter_GetSyncSource,   filter_EnumPins,        filter_FindPin,
    filter_QueryFilterInfo, filter_JoinFilterGraph, filter_QueryVendorInfo,
};

const IAMFilterMiscFlagsVtbl miscFlagsVtbl = {
    miscFlags_QueryInterface, miscFlags_AddRef, miscFlags_Release, miscFlags_GetMiscFlags,
};

}  // namespace

HRESULT createFakeCamera(REFIID riid, void** out) {
    auto* camera = static_cast<FakeCamera*>(CoTaskMemAlloc(sizeof(FakeCamera)));
    if (camera == nullptr) {
        return E_OUTOFMEMORY;
    }
    ZeroMemory(camera, sizeof *camera);
    camera->IBaseFilter_iface.lpVtbl = const_cast<IBaseFilterVtbl*>(&filterVtbl);
    camera->IAMFilterMiscFlags_iface.lpVtbl = const_cast<IAMFilterMiscFlagsVtbl*>(&miscFlagsVtbl);
    camera->refcount = 1;
    camera->state = State_Stopped;
    InitializeCriticalSection(&camera->lock);
    initFakePin(&camera->pin, camera);
    InterlockedIncrement(&cameraObjects);
    const HRESULT hr = filter_QueryInterface(&camera->IBaseFilter_iface, riid, out);
    filter_Release(&camera->IBaseFilter_iface);
    return hr;
}
