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

#include "frame/packed_frame.h"
#include "tools/imageio/image_frame.h"

namespace {

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
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
        } else if (!writeBmpFile(out.c_str(), frame.rows(), frame.width, frame.height,
                                 frame.stride)) {
            std::fprintf(stderr, "testcam-frames: cannot write %s\n", out.c_str());
            status = 1;
        }
    }
    return status;
}
