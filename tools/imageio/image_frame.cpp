#include "tools/imageio/image_frame.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#define STBI_NO_STDIO
#include <stb_image.h>

namespace {

constexpr size_t kHeaderSize = 40;

void putLittleEndian(uint8_t* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

struct StbFree {
    void operator()(stbi_uc* p) const { stbi_image_free(p); }
};

}  // namespace

bool decodeImageFrame(const uint8_t* data, size_t size, ImageFrame& frame, std::string& error) {
    if (size == 0) {
        error = "empty file";
        return false;
    }
    if (size > static_cast<size_t>(INT32_MAX)) {
        error = "file too large";
        return false;
    }
    int width = 0;
    int height = 0;
    int channels = 0;
    // Ask for three channels: grey is widened, alpha dropped.
    std::unique_ptr<stbi_uc, StbFree> rgb(stbi_load_from_memory(
        data, static_cast<int>(size), &width, &height, &channels, 3));
    if (!rgb) {
        const char* reason = stbi_failure_reason();
        error = std::string("not a readable image (") + (reason ? reason : "unknown") + ")";
        return false;
    }
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) {
        error = "image size out of range";
        return false;
    }
    frame.width = width;
    frame.height = height;
    frame.stride = (width * 3 + 3) / 4 * 4;
    frame.pixels.assign(static_cast<size_t>(frame.stride) * static_cast<size_t>(height), 0);
    const stbi_uc* source = rgb.get();
    for (int y = 0; y < height; ++y) {
        // Picture row y (from the top) is buffer row height - 1 - y.
        const stbi_uc* in = source + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
        uint8_t* out = frame.pixels.data() +
                       static_cast<size_t>(height - 1 - y) * static_cast<size_t>(frame.stride);
        for (int x = 0; x < width; ++x) {
            out[3 * x] = in[3 * x + 2];
            out[3 * x + 1] = in[3 * x + 1];
            out[3 * x + 2] = in[3 * x];
        }
    }
    return true;
}

bool loadImageFrame(const std::string& path, ImageFrame& frame, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open file";
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    if (file.bad()) {
        error = "cannot read file";
        return false;
    }
    return decodeImageFrame(bytes.data(), bytes.size(), frame, error);
}

std::vector<uint8_t> packFrame(const ImageFrame& frame) {
    std::vector<uint8_t> packed(kHeaderSize + frame.pixels.size(), 0);
    uint8_t* h = packed.data();
    putLittleEndian(h + 0, 40, 4);                                      // header size
    putLittleEndian(h + 4, static_cast<uint32_t>(frame.width), 4);
    putLittleEndian(h + 8, static_cast<uint32_t>(frame.height), 4);     // bottom-up
    putLittleEndian(h + 12, 1, 2);                                      // planes
    putLittleEndian(h + 14, 24, 2);                                     // bits per pixel
    putLittleEndian(h + 20, static_cast<uint32_t>(frame.pixels.size()), 4);  // image size
    if (!frame.pixels.empty()) {
        std::memcpy(packed.data() + kHeaderSize, frame.pixels.data(), frame.pixels.size());
    }
    return packed;
}
