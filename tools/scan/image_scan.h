// Image files run through the recognition cycle exactly as camera frames:
// each picture goes into the frame exchange as a packed image and the
// cycle's result line is caught where the program would show it.
#pragma once

#include <string>
#include <vector>

// The largest picture the scanner puts into the exchange. The program's
// own buffer holds 1280 x 960; the scanner gives a larger picture a larger
// buffer, up to this many pixels (8192 x 8192 or any other shape of that
// area): beyond it the frame and the attempts' copies of it would need
// gigabytes.
constexpr long long kMaxScanPixels = 8192LL * 8192LL;

struct ImageScanOptions {
    bool json = false;
    // Successive camera frames: one cycle each, the result line as shown.
    bool cycle = false;
};

// Scans every file in order and prints one line (or JSON object) per file.
// Returns the exit status: 0 all decoded, 1 some not decoded, 2 when a
// file could not be read (the others are still scanned).
int scanImageFiles(const std::vector<std::string>& files, const ImageScanOptions& options);
