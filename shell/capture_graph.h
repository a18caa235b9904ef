// The DirectShow preview graph of the first video capture device, shown as
// a child of the video window and published in the running object table.
// Main thread only.
#pragma once

#include <windows.h>
#include <dshow.h>

// The graph tells the video window through this message that events wait.
constexpr UINT WM_GRAPH_EVENT = WM_APP + 1;

struct CaptureGraph {
    IGraphBuilder* graphBuilder;
    ICaptureGraphBuilder2* captureBuilder;
    IMediaControl* mediaControl;
    IVideoWindow* rendererWindow;
    IMediaEventEx* mediaEvent;
    IBasicVideo* basicVideo;
    IBaseFilter* captureFilter;
    DWORD rotCookie;
    FILTER_STATE previewState;
};

extern CaptureGraph captureGraph;

// Builds the preview graph and runs it; shows its own message on failure.
HRESULT buildPreviewGraph();

// Stops the graph and releases everything; safe to call again.
void releaseCaptureGraph();

// Whether the grab has what it needs (media control and basic video).
bool captureGraphBuilt();

void fitVideoToClient();
HRESULT setPreviewRunning(bool show);
HRESULT drainGraphEvents();

// Modal error box without owner, caption "Lumetta Message"; the text is
// formatted like printf and cut after 1,023 characters.
void showErrorBox(const wchar_t* format, ...);
