// The still frame: the running preview paused, its current picture taken
// from the renderer and handed to the recognition thread.
#pragma once

#include <windows.h>

#include "shell/frame_buffers.h"

// Where the renderer's picture lands before it becomes the 24-bit frame;
// allocated with the frame buffer, grown with it, main thread only.
extern GrabScratch grabScratch;

// Pauses the preview for 500 ms, fills the frame exchange with the current
// picture, runs the preview again and raises frameReady. A picture that
// cannot be had leaves an empty frame, read as no symbol. Main loop only,
// while frameReady is clear and the graph is built.
HRESULT grabFrame();
