// The scanner's picture reading on any file bytes: decodeImageFrame (PNG
// through libspng, JPEG through libjpeg-turbo, BMP, PPM, PGM through
// stb_image) into the packed frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "frame/packed_frame.h"
#include "tools/imageio/image_frame.h"

namespace {

uint32_t readLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

// A few hundred bytes may declare tens of millions of pixels, which the
// decoders run through in seconds under the sanitizers (a 757-byte JPEG of
// 2559 x 15359 took 11 s): the fuzzer's pictures stay at 4 megapixels, so
// that a slow input is a fault and not the size.
constexpr long long kFuzzMaxPixels = 4LL << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ImageFrame frame;
    std::string error;
    if (!decodeImageFrame(data, size, frame, error, kFuzzMaxPixels)) {
        if (error.empty()) {
            std::abort();  // every refusal says why
        }
        return 0;
    }
    if (frame.width <= 0 || frame.height <= 0 || frame.width > kMaxImageSide ||
        frame.height > kMaxImageSide || frame.stride != frameStride(frame.width) ||
        frame.packed.size() != size_t(packedFrameSize(frame.width, frame.height)) ||
        readLe32(frame.packed.data()) != kFrameHeaderSize ||
        readLe32(frame.packed.data() + 4) != uint32_t(frame.width) ||
        readLe32(frame.packed.data() + 8) != uint32_t(frame.height)) {
        std::abort();
    }
    return 0;
}
