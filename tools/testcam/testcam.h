// tessaread-testcam: a DirectShow video capture source that plays the BMP
// pictures of a folder, registered as the video input device "Tessaread
// Test Camera". Written against the platform's C interfaces: each COM
// object is a struct that embeds its interfaces and counts its own
// references.
//
// Settings, read from the environment when the camera object is made:
//   TESSAREAD_TESTCAM_DIR      folder whose *.bmp files are played in name
//                              order (a Windows path; under Wine, Z:\ and
//                              the Unix path). Unset: the folder "pictures"
//                              beside the DLL, if there is one. No folder
//                              or no good picture: plain grey 320 x 240
//                              frames.
//   TESSAREAD_TESTCAM_SECONDS  time each picture is shown, a decimal
//                              number of seconds (default 2, at least 0.1).
//   TESSAREAD_TESTCAM_FORMAT   RGB32 offers 32-bit frames first; by
//                              default RGB24 comes first.
//   TESSAREAD_TESTCAM_LIVE     1: nothing is delivered while paused, as
//                              a live camera does.
#pragma once

#define CINTERFACE
#define COBJMACROS
#include <windows.h>
#include <dshow.h>

#include <string>
#include <vector>

#include "tools/testcam/pictures.h"

// {6C0B3E55-9F3A-4E2B-8C1D-2A7E5B4F9D10}
extern const CLSID CLSID_TessareadTestCamera;

// Frames per second, and the time of one frame in 100 ns units.
constexpr LONG kFramesPerSecond = 10;
constexpr REFERENCE_TIME kFrameDuration = 10000000 / kFramesPerSecond;

// The pictures of the folder and the one last loaded for showing.
struct PictureFolder {
    std::wstring folder;
    std::vector<std::wstring> names;  // played, in name order
    std::vector<testcam::BmpLayout> layouts;
    int32_t width = testcam::kGreyWidth;
    int32_t height = testcam::kGreyHeight;
    int64_t millisecondsPerPicture = testcam::kDefaultMillisecondsPerPicture;
    size_t loaded = SIZE_MAX;   // index of the picture in `rows`
    std::vector<uint8_t> rows;  // 24-bit rows, bottom row first; empty: grey
};

// What the streaming thread shares with the filter's state changes,
// under its own lock (never held while waiting for the thread).
struct StreamState {
    CRITICAL_SECTION lock;
    HANDLE thread = nullptr;
    HANDLE stopEvent = nullptr;
    bool running = false;        // Run: time stamps follow the clock
    bool held = false;           // paused: the picture on show stays
    size_t shown = 0;            // picture of the latest frame
    ULONGLONG playStart = 0;     // tick at which the first picture began
    REFERENCE_TIME start = 0;    // stream start given to Run
    REFERENCE_TIME pausedAt = 0; // stream time when paused
    IReferenceClock* clock = nullptr;
    LONGLONG frames = 0;
};

struct TestCamera;

struct TestCameraPin {
    IPin IPin_iface;
    IKsPropertySet IKsPropertySet_iface;
    TestCamera* filter;  // the pin lives and dies with its filter
    IPin* peer = nullptr;
    IMemInputPin* peerInput = nullptr;
    IMemAllocator* allocator = nullptr;
    int bitsPerPixel = 0;  // of the connection
};

struct TestCamera {
    IBaseFilter IBaseFilter_iface;
    IAMFilterMiscFlags IAMFilterMiscFlags_iface;
    LONG refcount = 1;
    CRITICAL_SECTION lock;  // state changes and connections
    FILTER_STATE state = State_Stopped;
    IFilterGraph* graph = nullptr;  // not counted: the graph holds the filter
    WCHAR name[MAX_FILTER_NAME] = {};
    IReferenceClock* clock = nullptr;
    int formats[2] = {24, 32};  // bits per pixel, in the order offered
    bool live = false;          // no frames while paused
    PictureFolder pictures;
    StreamState stream;
    TestCameraPin pin;
};

// Live objects and server locks, for DllCanUnloadNow.
extern LONG testcamObjects;

HRESULT createTestCamera(REFIID riid, void** out);
HRESULT createPinEnum(TestCamera* camera, ULONG position, IEnumPins** out);
HRESULT createTypeEnum(const int formats[2], int32_t width, int32_t height, ULONG position,
                       IEnumMediaTypes** out);

// The pin (testcam_pin.cpp).
void initPin(TestCameraPin* pin, TestCamera* filter);
void releasePinConnection(TestCameraPin* pin);
bool fillMediaType(AM_MEDIA_TYPE* mt, int bitsPerPixel, int32_t width, int32_t height);
void freeMediaType(AM_MEDIA_TYPE* mt);

// The folder this DLL was loaded from, without a trailing backslash
// (testcam_server.cpp); empty if unknown.
std::wstring moduleFolder();

// The pictures (testcam_folder.cpp).
void loadPictureFolder(PictureFolder& pictures);
void loadPictureRows(PictureFolder& pictures, size_t index);
std::string pictureName(const PictureFolder& pictures, size_t index);
void traceLine(const char* format, ...);

// The streaming thread and the state changes it follows (testcam_stream.cpp).
HRESULT startStreaming(TestCamera* camera);
void stopStreaming(TestCamera* camera);
void holdStream(TestCamera* camera);
void runStream(TestCamera* camera, REFERENCE_TIME start);
