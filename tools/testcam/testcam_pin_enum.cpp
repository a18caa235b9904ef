// The enumerator of the filter's one pin; it keeps the filter alive.
#include <new>

#include "tools/testcam/testcam.h"

namespace {

struct PinEnum {
    IEnumPins IEnumPins_iface;
    LONG refcount;
    TestCamera* camera;
    ULONG position;
};

constexpr ULONG kPinCount = 1;

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
    return static_cast<ULONG>(InterlockedIncrement(&impl_from_IEnumPins(iface)->refcount));
}

ULONG STDMETHODCALLTYPE pinEnum_Release(IEnumPins* iface) {
    PinEnum* e = impl_from_IEnumPins(iface);
    const LONG count = InterlockedDecrement(&e->refcount);
    if (count == 0) {
        IBaseFilter_Release(&e->camera->IBaseFilter_iface);
        delete e;
    }
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE pinEnum_Next(IEnumPins* iface, ULONG count, IPin** pins,
                                       ULONG* fetched) {
    PinEnum* e = impl_from_IEnumPins(iface);
    if (pins == nullptr || (count > 1 && fetched == nullptr)) {
        return E_POINTER;
    }
    ULONG n = 0;
    while (n < count && e->position < kPinCount) {
        pins[n] = &e->camera->pin.IPin_iface;
        IPin_AddRef(pins[n]);
        ++e->position;
        ++n;
    }
    if (fetched != nullptr) {
        *fetched = n;
    }
    return n == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE pinEnum_Skip(IEnumPins* iface, ULONG count) {
    PinEnum* e = impl_from_IEnumPins(iface);
    const ULONG left = kPinCount - e->position;
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

}  // namespace

HRESULT createPinEnum(TestCamera* camera, ULONG position, IEnumPins** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    auto* e = new (std::nothrow) PinEnum{{const_cast<IEnumPinsVtbl*>(&pinEnumVtbl)}, 1, camera,
                                         position};
    if (e == nullptr) {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
    IBaseFilter_AddRef(&camera->IBaseFilter_iface);
    *out = &e->IEnumPins_iface;
    return S_OK;
}
