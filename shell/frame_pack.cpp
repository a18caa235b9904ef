#include "shell/frame_pack.h"

#include <cstring>

#include "shell/frame_exchange.h"

namespace {

constexpr uint32_t kCompressionRgb = 0;        // BI_RGB
constexpr uint32_t kCompressionBitfields = 3;  // BI_BITFIELDS
constexpr size_t kInfoHeaderSize = 40;         // sizeof(BITMAPINFOHEADER)
constexpr uint32_t kMaxColourTable = 256;

uint32_t readU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t readU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// One colour channel of a masked pixel format.
struct Channel {
    uint32_t mask;
    int shift;
    uint32_t maximum;  // the channel's largest value after the shift
};

Channel channelOf(uint32_t mask) {
    Channel c{mask, 0, 0};
    if (mask == 0) {
        return c;
    }
    while ((mask >> c.shift & 1) == 0) {
        ++c.shift;
    }
    c.maximum = mask >> c.shift;
    return c;
}

uint8_t channelValue(const Channel& c, uint32_t pixel) {
    if (c.maximum == 0) {
        return 0;
    }
    const uint64_t v = (pixel & c.mask) >> c.shift;
    return static_cast<uint8_t>((v * 255 + c.maximum / 2) / c.maximum);
}

struct SourceLayout {
    int32_t width;
    int32_t height;  // always positive
    bool topDown;
    int bitCount;
    Channel red, green, blue;
    size_t pixelOffset;
    size_t stride;
};

// Masks of a 16- or 32-bit image: from the header (or right after a plain
// 40-byte header) when BI_BITFIELDS, the fixed ones otherwise. Returns the
// number of mask bytes that follow the header.
size_t readMasks(const uint8_t* image, size_t headerSize, uint32_t compression,
                 SourceLayout& s) {
    uint32_t masks[3];
    size_t following = 0;
    if (compression == kCompressionBitfields) {
        for (int i = 0; i < 3; ++i) {
            masks[i] = readU32(image + kInfoHeaderSize + 4 * i);
        }
        following = headerSize == kInfoHeaderSize ? 12 : 0;
    } else if (s.bitCount == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else {
        masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
    }
    s.red = channelOf(masks[0]);
    s.green = channelOf(masks[1]);
    s.blue = channelOf(masks[2]);
    return following;
}

bool readLayout(const uint8_t* image, size_t imageSize, SourceLayout& s) {
    if (image == nullptr || imageSize < kInfoHeaderSize) {
        return false;
    }
    const size_t headerSize = readU32(image);
    const int32_t width = static_cast<int32_t>(readU32(image + 4));
    const int32_t height = static_cast<int32_t>(readU32(image + 8));
    const uint32_t compression = readU32(image + 16);
    const uint32_t coloursUsed = readU32(image + 32);
    s.bitCount = readU16(image + 14);
    if (headerSize < kInfoHeaderSize || headerSize > imageSize || width <= 0 ||
        width > 65535 || height == 0 || height < -65535 || height > 65535 ||
        coloursUsed > kMaxColourTable) {
        return false;
    }
    const bool masked = compression == kCompressionBitfields;
    if (s.bitCount != 16 && s.bitCount != 24 && s.bitCount != 32) {
        return false;
    }
    if (!(compression == kCompressionRgb || (masked && s.bitCount != 24))) {
        return false;
    }
    // The masks of a plain 40-byte header follow it; a larger header (52
    // bytes and up) holds them.
    if (masked && ((headerSize != kInfoHeaderSize && headerSize < kInfoHeaderSize + 12) ||
                   imageSize < kInfoHeaderSize + 12)) {
        return false;
    }
    s.width = width;
    s.topDown = height < 0;
    s.height = s.topDown ? -height : height;
    s.pixelOffset = headerSize + readMasks(image, headerSize, compression, s) + 4 * coloursUsed;
    s.stride = static_cast<size_t>(paddedRowBytes(width, s.bitCount));
    const uint64_t rows = static_cast<uint64_t>(s.stride) * static_cast<uint64_t>(s.height);
    return s.pixelOffset <= imageSize && rows <= imageSize - s.pixelOffset;
}

void packRow(const SourceLayout& s, const uint8_t* src, uint8_t* dst, size_t dstStride) {
    const size_t pixelBytes = static_cast<size_t>(s.width) * 3;
    if (s.bitCount == 24) {
        std::memcpy(dst, src, pixelBytes);
    } else {
        const size_t step = static_cast<size_t>(s.bitCount) / 8;
        for (size_t x = 0; x < static_cast<size_t>(s.width); ++x) {
            const uint8_t* p = src + x * step;
            const uint32_t pixel = step == 2 ? readU16(p) : readU32(p);
            dst[3 * x] = channelValue(s.blue, pixel);
            dst[3 * x + 1] = channelValue(s.green, pixel);
            dst[3 * x + 2] = channelValue(s.red, pixel);
        }
    }
    std::memset(dst + pixelBytes, 0, dstStride - pixelBytes);
}

}  // namespace

bool packFrame24(const uint8_t* image, size_t imageSize, uint8_t* frame, size_t frameCapacity,
                 int32_t* width, int32_t* height) {
    SourceLayout s{};
    if (frame == nullptr || !readLayout(image, imageSize, s) ||
        !frameFits(s.width, s.height, frameCapacity)) {
        return false;
    }
    writeFrameHeader(frame, s.width, s.height, static_cast<uint32_t>(frameStride(s.width) * s.height));
    const size_t dstStride = static_cast<size_t>(frameStride(s.width));
    for (int32_t row = 0; row < s.height; ++row) {
        // Row 0 of the frame is the bottom row of the picture.
        const int32_t srcRow = s.topDown ? s.height - 1 - row : row;
        packRow(s, image + s.pixelOffset + s.stride * static_cast<size_t>(srcRow),
                frame + kFrameHeaderSize + dstStride * static_cast<size_t>(row), dstStride);
    }
    *width = s.width;
    *height = s.height;
    return true;
}
