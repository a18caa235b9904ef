// The results window (class "ORVL1"): a read-only text box that shows the
// results text, newest line first, with a File menu of About and Exit.
// Everything here runs on the recognition thread.
#pragma once

#include <windows.h>

// Registers the class "ORVL1"; returns its atom, 0 on failure.
ATOM registerResultsClass();

LRESULT CALLBACK resultsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the first `limit` characters of the results text in the box,
// keeping the person's selection and view on the same text.
void refreshResultsBox(int limit);

// Ctrl+A in the box selects its whole text; true when `msg` was that key
// (and is not to be dispatched).
bool selectAllOnCtrlA(const MSG& msg);

int buildResultsMenu(HWND window);
int layoutResultsWindow(HWND window);
int handleResultsCommand(HWND window, WPARAM wParam, LPARAM lParam);
