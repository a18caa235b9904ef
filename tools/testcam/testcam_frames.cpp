// testcam-frames: turns pictures (BMP, PNG, JPEG, PPM, PGM) into the
// 24-bit BMP files that the test camera plays, with the same pixels as the
// scanner reads from the originals.
//
//   testcam-frames OUTPUT-DIR IMAGE...
//
// Each IMAGE becomes OUTPUT-DIR/<its name without extension>.bmp. The exit
// code is 0 when every picture was written, 1 otherwise, 2 on bad usage.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/imageio/image_frame.h"

namespace {

void put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// A BMP file is the packed image behind a 14-byte file header.
bool writeBmp(const ImageFrame& frame, const std::string& path) {
    const std::vector<uint8_t> packed = packFrame(frame);
    std::vector<uint8_t> file(14, 0);
    file[0] = 'B';
    file[1] = 'M';
    put32(file, 2, static_cast<uint32_t>(14 + packed.size()));
    put32(file, 10, 14 + 40);
    file.insert(file.end(), packed.begin(), packed.end());
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: testcam-frames OUTPUT-DIR IMAGE...\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        ImageFrame frame;
        std::string error;
        const std::string out = dir + "/" + baseName(argv[i]) + ".bmp";
        if (!loadImageFrame(argv[i], frame, error)) {
            std::fprintf(stderr, "testcam-frames: %s: %s\n", argv[i], error.c_str());
            status = 1;
        } else if (!writeBmp(frame, out)) {
            std::fprintf(stderr, "testcam-frames: cannot write %s\n", out.c_str());
            status = 1;
        }
    }
    return status;
}
