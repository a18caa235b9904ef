// Detector debugging: runs the four detector attempt kinds on one picture,
// each in its own folder so that the detector's log, grid text and image
// dumps of every kind survive side by side.
#pragma once

#include <string>

// Prints one line (or JSON object) per kind. Returns the process exit
// status: 0 when some kind decoded, 1 when none did, 2 on an I/O error.
int runDebugScan(const std::string& dir, const std::string& imagePath, bool json);
