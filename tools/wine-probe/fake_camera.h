// A video capture source for the Wine tests: a DirectShow filter with one
// output pin that keeps delivering a fixed 320 x 240 RGB24 picture (a Data
// Matrix symbol on white), registered as a video input device. Built with
// the platform's C interfaces: each object is a struct that embeds its
// interfaces and keeps its own reference count.
#pragma once

#define CINTERFACE
#define COBJMACROS
#include <windows.h>
#include <dshow.h>

// {6C0B3E55-9F3A-4E2B-8C1D-2A7E5B4F9D10}
extern const CLSID CLSID_TessareadTestCamera;

constexpr LONG kCameraWidth = 320;
constexpr LONG kCameraHeight = 240;
constexpr LONG kCameraFrameBytes = kCameraWidth * kCameraHeight * 3;

struct FakeCamera;

struct FakePin {
    IPin IPin_iface;
    IKsPropertySet IKsPropertySet_iface;
    FakeCamera* filter;  // the pin lives and dies with its filter
    IPin* peer;
    IMemInputPin* peerInput;
    IMemAllocator* allocator;
    HANDLE thread;
    volatile LONG streaming;
};

struct FakeCamera {
    IBaseFilter IBaseFilter_iface;
    IAMFilterMiscFlags IAMFilterMiscFlags_iface;
    LONG refcount;
    CRITICAL_SECTION lock;
    FILTER_STATE state;
    IFilterGraph* graph;  // not counted: the graph holds the filter
    WCHAR name[128];
    IReferenceClock* clock;
    FakePin pin;
};

// Server-wide count of live objects and locks, for DllCanUnloadNow.
extern LONG cameraObjects;

HRESULT createFakeCamera(REFIID riid, void** out);

// Pin side (fake_camera_pin.cpp).
void initFakePin(FakePin* pin, FakeCamera* filter);
HRESULT startStreaming(FakePin* pin);
void stopStreaming(FakePin* pin);
void releasePinConnection(FakePin* pin);
void fillCameraMediaType(AM_MEDIA_TYPE* mt);
void freeMediaTypeFormat(AM_MEDIA_TYPE* mt);
