// Thorough reading of image files: the fixed cycle's four attempt kinds,
// then the preparation steps until one decodes; with a debug directory,
// every prepared picture is left there as a BMP file.
#pragma once

#include <string>
#include <vector>

// Prints one line (or JSON object) per file. Returns the exit status as
// scanImageFiles does. An empty debugDir writes no pictures.
int scanThoroughly(const std::vector<std::string>& files, bool json, const std::string& debugDir);
