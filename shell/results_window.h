// The results window (class "ORVL1"): a read-only text box that shows the
// results text, newest line first, with a File menu of About and Exit.
// Everything here runs on the recognition thread.
#pragma once

#include <windows.h>

// Registers the class "ORVL1"; returns its atom, 0 on failure.
ATOM registerResultsClass();

LRESULT CALLBACK resultsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the first `limit` characters of the results text in the box.
void refreshResultsBox(int limit);

int buildResultsMenu(HWND window);
int layoutResultsWindow(HWND window);
int handleResultsCommand(HWND window, WPARAM wParam, LPARAM lParam);
