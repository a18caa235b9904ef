// The enumerator of the pin's media types: RGB24 and RGB32 at the size of
// the pictures, in the camera's order. It holds copies, not the filter.
#include <new>

#include "tools/testcam/testcam.h"

namespace {

constexpr ULONG kTypeCount = 2;

struct TypeEnum {
    IEnumMediaTypes IEnumMediaTypes_iface;
    LONG refcount;
    int formats[kTypeCount];
    int32_t width;
    int32_t height;
    ULONG position;
};

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
    return static_cast<ULONG>(InterlockedIncrement(&impl_from_IEnumMediaTypes(iface)->refcount));
}

ULONG STDMETHODCALLTYPE typeEnum_Release(IEnumMediaTypes* iface) {
    TypeEnum* e = impl_from_IEnumMediaTypes(iface);
    const LONG count = InterlockedDecrement(&e->refcount);
    if (count == 0) {
        delete e;
        InterlockedDecrement(&testcamObjects);
    }
    return static_cast<ULONG>(count);
}

// Each type handed out is the caller's, to free with DeleteMediaType.
HRESULT STDMETHODCALLTYPE typeEnum_Next(IEnumMediaTypes* iface, ULONG count,
                                        AM_MEDIA_TYPE** types, ULONG* fetched) {
    TypeEnum* e = impl_from_IEnumMediaTypes(iface);
    HRESULT hr = S_OK;
    ULONG n = 0;
    if (types == nullptr || (count > 1 && fetched == nullptr)) {
        return E_POINTER;
    }
    while (n < count && e->position < kTypeCount) {
        auto* mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (mt == nullptr || !fillMediaType(mt, e->formats[e->position], e->width, e->height)) {
            CoTaskMemFree(mt);
            hr = E_OUTOFMEMORY;
            goto end;
        }
        types[n++] = mt;
        ++e->position;
    }
    hr = n == count ? S_OK : S_FALSE;
end:
    if (FAILED(hr)) {
        while (n > 0) {
            freeMediaType(types[--n]);
            CoTaskMemFree(types[n]);
            types[n] = nullptr;
        }
    }
    if (fetched != nullptr) {
        *fetched = n;
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE typeEnum_Skip(IEnumMediaTypes* iface, ULONG count) {
    TypeEnum* e = impl_from_IEnumMediaTypes(iface);
    const ULONG left = kTypeCount - e->position;
    e->position += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE typeEnum_Reset(IEnumMediaTypes* iface) {
    impl_from_IEnumMediaTypes(iface)->position = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE typeEnum_Clone(IEnumMediaTypes* iface, IEnumMediaTypes** out) {
    TypeEnum* e = impl_from_IEnumMediaTypes(iface);
    return createTypeEnum(e->formats, e->width, e->height, e->position, out);
}

const IEnumMediaTypesVtbl typeEnumVtbl = {
    typeEnum_QueryInterface, typeEnum_AddRef, typeEnum_Release, typeEnum_Next,
    typeEnum_Skip,           typeEnum_Reset,  typeEnum_Clone,
};

}  // namespace

HRESULT createTypeEnum(const int formats[2], int32_t width, int32_t height, ULONG position,
                       IEnumMediaTypes** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    auto* e = new (std::nothrow) TypeEnum{{const_cast<IEnumMediaTypesVtbl*>(&typeEnumVtbl)},
                                          1,
                                          {formats[0], formats[1]},
                                          width,
                                          height,
                                          position};
    if (e == nullptr) {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
    InterlockedIncrement(&testcamObjects);
    *out = &e->IEnumMediaTypes_iface;
    return S_OK;
}
