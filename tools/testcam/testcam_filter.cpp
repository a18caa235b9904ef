// The filter object: its state changes, its clock and its one pin.
#include <cwchar>
#include <new>

#include "tools/testcam/testcam.h"

LONG testcamObjects;

namespace {

TestCamera* impl_from_IBaseFilter(IBaseFilter* iface) {
    return CONTAINING_RECORD(iface, TestCamera, IBaseFilter_iface);
}

TestCamera* impl_from_IAMFilterMiscFlags(IAMFilterMiscFlags* iface) {
    return CONTAINING_RECORD(iface, TestCamera, IAMFilterMiscFlags_iface);
}

HRESULT STDMETHODCALLTYPE filter_QueryInterface(IBaseFilter* iface, REFIID riid, void** out) {
    TestCamera* camera = impl_from_IBaseFilter(iface);
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
    return static_cast<ULONG>(InterlockedIncrement(&impl_from_IBaseFilter(iface)->refcount));
}

// The last reference ends the streaming thread before anything it uses.
ULONG STDMETHODCALLTYPE filter_Release(IBaseFilter* iface) {
    TestCamera* camera = impl_from_IBaseFilter(iface);
    const LONG count = InterlockedDecrement(&camera->refcount);
    if (count == 0) {
        stopStreaming(camera);
        releasePinConnection(&camera->pin);
        if (camera->clock != nullptr) {
            IReferenceClock_Release(camera->clock);
        }
        DeleteCriticalSection(&camera->stream.lock);
        DeleteCriticalSection(&camera->lock);
        delete camera;
        InterlockedDecrement(&testcamObjects);
    }
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE filter_GetClassID(IBaseFilter*, CLSID* clsid) {
    if (clsid == nullptr) {
        return E_POINTER;
    }
    *clsid = CLSID_TessareadTestCamera;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE filter_Stop(IBaseFilter* iface) {
    TestCamera* camera = impl_from_IBaseFilter(iface);
    EnterCriticalSection(&camera->lock);
    stopStreaming(camera);
    camera->state = State_Stopped;
    LeaveCriticalSection(&camera->lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE filter_Pause(IBaseFilter* iface) {
    TestCamera* camera = impl_from_IBaseFilter(iface);
    HRESULT hr = S_OK;
    EnterCriticalSection(&camera->lock);
    if (camera->state == State_Stopped && FAILED(hr = startStreaming(camera))) {
        goto end;
    }
    holdStream(camera);
    camera->state = State_Paused;
end:
    LeaveCriticalSection(&camera->lock);
    return hr;
}

HRESULT STDMETHODCALLTYPE filter_Run(IBaseFilter* iface, REFERENCE_TIME start) {
    TestCamera* camera = impl_from_IBaseFilter(iface);
    HRESULT hr = S_OK;
    EnterCriticalSection(&camera->lock);
    if (camera->state == State_Stopped && FAILED(hr = startStreaming(camera))) {
        goto end;
    }
    runStream(camera, start);
    camera->state = State_Running;
end:
    LeaveCriticalSection(&camera->lock);
    return hr;
}

// Paused, the camera still delivers (as a file source does), so it can
// say S_OK rather than VFW_S_CANT_CUE; a live one cannot.
HRESULT STDMETHODCALLTYPE filter_GetState(IBaseFilter* iface, DWORD, FILTER_STATE* state) {
    TestCamera* camera = impl_from_IBaseFilter(iface);
    if (state == nullptr) {
        return E_POINTER;
    }
    EnterCriticalSection(&camera->lock);
    *state = camera->state;
    LeaveCriticalSection(&camera->lock);
    return camera->live && *state == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

HRESULT STDMETHODCALLTYPE filter_SetSyncSource(IBaseFilter* iface, IReferenceClock* clock) {
    TestCamera* camera = impl_from_IBaseFilter(iface);
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
    TestCamera* camera = impl_from_IBaseFilter(iface);
    if (clock == nullptr) {
        return E_POINTER;
    }
    EnterCriticalSection(&camera->lock);
    *clock = camera->clock;
    if (*clock != nullptr) {
        IReferenceClock_AddRef(*clock);
    }
    LeaveCriticalSection(&camera->lock);
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
    TestCamera* camera = impl_from_IBaseFilter(iface);
    if (info == nullptr) {
        return E_POINTER;
    }
    EnterCriticalSection(&camera->lock);
    lstrcpynW(info->achName, camera->name, MAX_FILTER_NAME);
    info->pGraph = camera->graph;
    if (info->pGraph != nullptr) {
        IFilterGraph_AddRef(info->pGraph);
    }
    LeaveCriticalSection(&camera->lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE filter_JoinFilterGraph(IBaseFilter* iface, IFilterGraph* graph,
                                                 LPCWSTR name) {
    TestCamera* camera = impl_from_IBaseFilter(iface);
    EnterCriticalSection(&camera->lock);
    camera->graph = graph;
    lstrcpynW(camera->name, name != nullptr ? name : L"", MAX_FILTER_NAME);
    LeaveCriticalSection(&camera->lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE filter_QueryVendorInfo(IBaseFilter*, LPWSTR* info) {
    if (info == nullptr) {
        return E_POINTER;
    }
    *info = nullptr;
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

// Marks the filter as a source, so the graph waits for no end of stream.
ULONG STDMETHODCALLTYPE miscFlags_GetMiscFlags(IAMFilterMiscFlags*) {
    return AM_FILTER_MISC_FLAGS_IS_SOURCE;
}

const IBaseFilterVtbl filterVtbl = {
    filter_QueryInterface,  filter_AddRef,          filter_Release,        filter_GetClassID,
    filter_Stop,            filter_Pause,           filter_Run,            filter_GetState,
    filter_SetSyncSource,   filter_GetSyncSource,   filter_EnumPins,       filter_FindPin,
    filter_QueryFilterInfo, filter_JoinFilterGraph, filter_QueryVendorInfo,
};

const IAMFilterMiscFlagsVtbl miscFlagsVtbl = {
    miscFlags_QueryInterface, miscFlags_AddRef, miscFlags_Release, miscFlags_GetMiscFlags,
};

void chooseFormats(TestCamera* camera) {
    wchar_t value[16];
    const DWORD n = GetEnvironmentVariableW(L"TESSAREAD_TESTCAM_FORMAT", value, 16);
    if (n > 0 && n < 16 && _wcsicmp(value, L"RGB32") == 0) {
        camera->formats[0] = 32;
        camera->formats[1] = 24;
    }
    camera->live = GetEnvironmentVariableW(L"TESSAREAD_TESTCAM_LIVE", value, 16) == 1 &&
                   value[0] == L'1';
}

}  // namespace

HRESULT createTestCamera(REFIID riid, void** out) {
    auto* camera = new (std::nothrow) TestCamera;
    if (camera == nullptr) {
        return E_OUTOFMEMORY;
    }
    camera->IBaseFilter_iface.lpVtbl = const_cast<IBaseFilterVtbl*>(&filterVtbl);
    camera->IAMFilterMiscFlags_iface.lpVtbl = const_cast<IAMFilterMiscFlagsVtbl*>(&miscFlagsVtbl);
    InitializeCriticalSection(&camera->lock);
    InitializeCriticalSection(&camera->stream.lock);
    initPin(&camera->pin, camera);
    InterlockedIncrement(&testcamObjects);
    chooseFormats(camera);
    try {
        loadPictureFolder(camera->pictures);
    } catch (...) {
        camera->pictures.names.clear();  // out of memory: grey frames
        camera->pictures.layouts.clear();
    }
    const HRESULT hr = filter_QueryInterface(&camera->IBaseFilter_iface, riid, out);
    filter_Release(&camera->IBaseFilter_iface);
    return hr;
}
