// Process-wide values of the Windows program, written by the main thread
// before the recognition thread starts (instance, showCommand, videoHwnd)
// or by the recognition thread alone (resultsHwnd).
#pragma once

#include <windows.h>

extern HINSTANCE instance;
extern int showCommand;
extern HWND videoHwnd;
extern HWND resultsHwnd;
