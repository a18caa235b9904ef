// Identifiers of the program's resources and of the results window's menu.
// Shared by the resource script and the C++ sources, so plain #defines only.
#pragma once

#define IDI_APP_ICON 100
#define IDD_RESULTS_PANEL 101
#define IDC_RESULTS_BOX 1000

#define IDM_FILE 10001
#define IDM_EXIT 10002
#define IDM_ABOUT 10003
#define IDM_THOROUGH_READING 10004
