// The in-process server: its class factory (a static object), the four
// exports, and registration as a video input device.
#include "tools/testcam/testcam.h"

const CLSID CLSID_TessareadTestCamera = {
    0x6c0b3e55, 0x9f3a, 0x4e2b, {0x8c, 0x1d, 0x2a, 0x7e, 0x5b, 0x4f, 0x9d, 0x10}};

namespace {

HINSTANCE moduleInstance;

const wchar_t kCameraName[] = L"Tessaread Test Camera";

HRESULT STDMETHODCALLTYPE factory_QueryInterface(IClassFactory* iface, REFIID riid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *out = iface;
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

// The factory is static: its count never reaches an end.
ULONG STDMETHODCALLTYPE factory_AddRef(IClassFactory*) {
    return 2;
}

ULONG STDMETHODCALLTYPE factory_Release(IClassFactory*) {
    return 1;
}

HRESULT STDMETHODCALLTYPE factory_CreateInstance(IClassFactory*, IUnknown* outer, REFIID riid,
                                                 void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    return createTestCamera(riid, out);
}

HRESULT STDMETHODCALLTYPE factory_LockServer(IClassFactory*, BOOL lock) {
    if (lock) {
        InterlockedIncrement(&testcamObjects);
    } else {
        InterlockedDecrement(&testcamObjects);
    }
    return S_OK;
}

const IClassFactoryVtbl factoryVtbl = {
    factory_QueryInterface, factory_AddRef, factory_Release, factory_CreateInstance,
    factory_LockServer,
};

IClassFactory factory = {const_cast<IClassFactoryVtbl*>(&factoryVtbl)};

LONG setString(HKEY key, const wchar_t* name, const wchar_t* value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(wchar_t)));
}

// HKCR\CLSID\{...}: the name, and InprocServer32 with this module's path.
HRESULT writeClassKeys(const wchar_t* clsidText) {
    wchar_t key[128];
    wchar_t path[MAX_PATH];
    if (GetModuleFileNameW(moduleInstance, path, MAX_PATH) == 0) {
        return E_FAIL;
    }
    wsprintfW(key, L"CLSID\\%s\\InprocServer32", clsidText);
    HKEY server;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, &server,
                        nullptr) != ERROR_SUCCESS) {
        return E_FAIL;
    }
    LONG status = setString(server, nullptr, path);
    if (status == ERROR_SUCCESS) {
        status = setString(server, L"ThreadingModel", L"Both");
    }
    RegCloseKey(server);
    wsprintfW(key, L"CLSID\\%s", clsidText);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueW(HKEY_CLASSES_ROOT, key, REG_SZ, kCameraName, 0);
    }
    return status == ERROR_SUCCESS ? S_OK : E_FAIL;
}

HRESULT registerAsVideoInput() {
    IFilterMapper2* mapper = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IFilterMapper2, reinterpret_cast<void**>(&mapper));
    if (FAILED(hr)) {
        return hr;
    }
    const REGPINTYPES types[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24},
                                 {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};
    REGFILTERPINS pin = {};
    pin.bOutput = TRUE;
    pin.nMediaTypes = 2;
    pin.lpMediaType = types;
    REGFILTER2 filter = {};
    filter.dwVersion = 1;
    filter.dwMerit = MERIT_DO_NOT_USE;
    filter.cPins = 1;
    filter.rgPins = &pin;
    hr = IFilterMapper2_RegisterFilter(mapper, CLSID_TessareadTestCamera, kCameraName, nullptr,
                                       &CLSID_VideoInputDeviceCategory, kCameraName, &filter);
    IFilterMapper2_Release(mapper);
    return hr;
}

}  // namespace

std::wstring moduleFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(moduleInstance, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return std::wstring();
    }
    std::wstring folder(path, n);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_TessareadTestCamera)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return factory_QueryInterface(&factory, riid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return testcamObjects == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    wchar_t clsidText[64];
    StringFromGUID2(CLSID_TessareadTestCamera, clsidText, 64);
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HRESULT hr = writeClassKeys(clsidText);
    if (SUCCEEDED(hr)) {
        hr = registerAsVideoInput();
    }
    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
    return hr;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    wchar_t clsidText[64];
    wchar_t key[128];
    StringFromGUID2(CLSID_TessareadTestCamera, clsidText, 64);
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IFilterMapper2* mapper = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IFilterMapper2, reinterpret_cast<void**>(&mapper));
    if (SUCCEEDED(hr)) {
        hr = IFilterMapper2_UnregisterFilter(mapper, &CLSID_VideoInputDeviceCategory, kCameraName,
                                             CLSID_TessareadTestCamera);
        IFilterMapper2_Release(mapper);
    }
    wsprintfW(key, L"CLSID\\%s", clsidText);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
    return hr;
}
