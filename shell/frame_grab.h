// The still frame: the running preview paused, its current picture taken
// from the renderer and handed to the recognition thread.
#pragma once

#include <windows.h>

#include <cstdint>

// Where the renderer's picture lands before it becomes the 24-bit frame;
// kGrabScratchCapacity bytes, allocated with the frame buffer, main thread
// only.
extern uint8_t* grabScratch;

// Pauses the preview for 500 ms, fills the frame exchange with the current
// picture, runs the preview again and raises frameReady. Main loop only,
// while frameReady is clear and the graph is built.
HRESULT grabFrame();
