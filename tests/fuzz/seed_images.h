// Small pictures in every format the scanner reads, and a few it refuses,
// as seeds for the picture-reading fuzz target.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace seed_images {

struct NamedImage {
    std::string name;
    std::vector<uint8_t> bytes;
};

std::vector<NamedImage> smallImages();

}  // namespace seed_images
