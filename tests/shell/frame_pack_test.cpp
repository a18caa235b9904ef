#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "shell/frame_exchange.h"
#include "shell/frame_pack.h"

namespace {

using Bytes = std::vector<uint8_t>;

void putU32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

uint32_t getU32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// A packed bitmap as a renderer hands it out. Pixel (x, y) of the picture
// (y = 0 at the top) has the colour pixelColour(x, y); `storeRow` writes one
// source row.
struct ImageSpec {
    int32_t width;
    int32_t height;  // negative: top-down
    int bitCount;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    uint32_t masks[3] = {0, 0, 0};
    uint32_t coloursUsed = 0;
};

struct Rgb {
    uint8_t r, g, b;
};

Rgb pixelColour(int x, int y) {
    return {static_cast<uint8_t>(40 * x + 7), static_cast<uint8_t>(30 * y + 11),
            static_cast<uint8_t>(x * y + 200)};
}

size_t sourceStride(const ImageSpec& s) {
    return (static_cast<size_t>(s.width) * s.bitCount + 31) / 32 * 4;
}

size_t pixelOffset(const ImageSpec& s) {
    const bool masksAfterHeader = s.compression == 3 && s.headerSize == 40;
    return s.headerSize + (masksAfterHeader ? 12 : 0) + 4 * s.coloursUsed;
}

// The pixel's value in the source format (bytes beyond 24 bits set, to
// show that they are dropped).
void storePixel(const ImageSpec& s, uint8_t* p, const Rgb& c) {
    if (s.bitCount == 24) {
        p[0] = c.b, p[1] = c.g, p[2] = c.r;
    } else if (s.bitCount == 32) {
        p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = 0xEE;
    } else {
        // 16 bits: 5-5-5 (plain) or 5-6-5 (masked), values used as they are.
        const uint16_t v = s.compression == 3
                               ? static_cast<uint16_t>((c.r >> 3) << 11 | (c.g >> 2) << 5 | c.b >> 3)
                               : static_cast<uint16_t>((c.r >> 3) << 10 | (c.g >> 3) << 5 | c.b >> 3);
        p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8);
    }
}

Bytes makeImage(const ImageSpec& s) {
    const int32_t rows = s.height < 0 ? -s.height : s.height;
    Bytes b(pixelOffset(s) + sourceStride(s) * rows, 0xCD);
    std::memset(b.data(), 0, s.headerSize);
    putU32(b, 0, s.headerSize);
    putU32(b, 4, static_cast<uint32_t>(s.width));
    putU32(b, 8, static_cast<uint32_t>(s.height));
    b[12] = 1;
    b[14] = static_cast<uint8_t>(s.bitCount);
    putU32(b, 16, s.compression);
    putU32(b, 32, s.coloursUsed);
    if (s.compression == 3) {
        for (int i = 0; i < 3; ++i) {
            putU32(b, 40 + 4 * i, s.masks[i]);
        }
    }
    for (int32_t y = 0; y < rows; ++y) {
        // Bottom-up images store the bottom row of the picture first.
        const int32_t memoryRow = s.height < 0 ? y : rows - 1 - y;
        uint8_t* row = b.data() + pixelOffset(s) + sourceStride(s) * memoryRow;
        for (int32_t x = 0; x < s.width; ++x) {
            storePixel(s, row + x * s.bitCount / 8, pixelColour(x, y));
        }
    }
    return b;
}

// What the frame should hold at picture pixel (x, y) after the 16-bit
// format's loss of precision.
Rgb expectedColour(const ImageSpec& s, int x, int y) {
    Rgb c = pixelColour(x, y);
    if (s.bitCount != 16) {
        return c;
    }
    auto widen = [](unsigned v, unsigned bits) {
        const unsigned max = (1u << bits) - 1;
        return static_cast<uint8_t>((v * 255 + max / 2) / max);
    };
    const unsigned greenBits = s.compression == 3 ? 6 : 5;
    return {widen(c.r >> 3, 5), widen(c.g >> (8 - greenBits), greenBits), widen(c.b >> 3, 5)};
}

void expectFrameMatches(const ImageSpec& s, const Bytes& frame) {
    const int32_t rows = s.height < 0 ? -s.height : s.height;
    EXPECT_EQ(getU32(frame, 0), 40u);
    EXPECT_EQ(static_cast<int32_t>(getU32(frame, 4)), s.width);
    EXPECT_EQ(static_cast<int32_t>(getU32(frame, 8)), rows);
    EXPECT_EQ(frame[14], 24);
    EXPECT_EQ(getU32(frame, 16), 0u);
    const int64_t stride = frameStride(s.width);
    for (int32_t y = 0; y < rows; ++y) {
        // Frame row 0 is the bottom row of the picture.
        const uint8_t* row = frame.data() + 40 + stride * (rows - 1 - y);
        for (int32_t x = 0; x < s.width; ++x) {
            const Rgb want = expectedColour(s, x, y);
            ASSERT_EQ(row[3 * x], want.b) << "x " << x << " y " << y;
            ASSERT_EQ(row[3 * x + 1], want.g) << "x " << x << " y " << y;
            ASSERT_EQ(row[3 * x + 2], want.r) << "x " << x << " y " << y;
        }
        for (int64_t filler = 3 * s.width; filler < stride; ++filler) {
            ASSERT_EQ(row[filler], 0) << "filler of row " << y;
        }
    }
}

TEST(PackFrame24, ConvertsEveryReadableLayoutToBottomUp24Bit) {
    ImageSpec masked565{5, 3, 16, 3};
    masked565.masks[0] = 0xF800, masked565.masks[1] = 0x07E0, masked565.masks[2] = 0x001F;
    ImageSpec masked32TopDown{4, -3, 32, 3};
    masked32TopDown.masks[0] = 0xFF0000, masked32TopDown.masks[1] = 0xFF00;
    masked32TopDown.masks[2] = 0xFF;
    ImageSpec v4Header = masked32TopDown;
    v4Header.headerSize = 108;  // masks inside the header
    ImageSpec withColourTable{3, 2, 24};
    withColourTable.coloursUsed = 2;
    const ImageSpec specs[] = {
        {5, 3, 24},    // as the recognition side reads it already
        {5, -3, 24},   // top-down
        {4, 3, 32},    // the usual 32-bit renderer image
        {5, -4, 32},   // 32-bit top-down
        {6, 2, 16},    // 5-5-5
        masked565, masked32TopDown, v4Header, withColourTable,
    };
    for (const ImageSpec& s : specs) {
        SCOPED_TRACE(testing::Message() << s.width << " x " << s.height << " at " << s.bitCount
                                        << " bits, header " << s.headerSize);
        const Bytes image = makeImage(s);
        Bytes frame(1000, 0xAB);
        int32_t width = 0;
        int32_t height = 0;
        ASSERT_TRUE(packFrame24(image.data(), image.size(), frame.data(), frame.size(), &width,
                                &height));
        EXPECT_EQ(width, s.width);
        EXPECT_EQ(height, s.height < 0 ? -s.height : s.height);
        expectFrameMatches(s, frame);
        // Nothing written past the frame's own size.
        const size_t used = static_cast<size_t>(packedFrameSize(width, height));
        for (size_t i = used; i < frame.size(); ++i) {
            ASSERT_EQ(frame[i], 0xAB) << "byte " << i;
        }
    }
}

TEST(PackFrame24, RefusesUnreadableImagesAndLeavesTheFrameAlone) {
    auto patched = [](ImageSpec s, size_t at, uint32_t value) {
        Bytes b = makeImage(s);
        putU32(b, at, value);
        return b;
    };
    const ImageSpec plain{4, 3, 24};
    Bytes truncated = makeImage(plain);
    truncated.pop_back();
    Bytes bitfields24 = makeImage(plain);
    putU32(bitfields24, 16, 3);
    const Bytes images[] = {
        truncated,
        bitfields24,
        patched(plain, 0, 12),           // header smaller than 40
        patched(plain, 0, 100000),       // header larger than the image
        patched(plain, 4, 0),            // width 0
        patched(plain, 8, 0),            // height 0
        patched(plain, 8, 0x80000000u),  // most negative height
        patched(plain, 4, 70000),        // rows run far past the image
        patched(plain, 16, 1),           // run-length compressed
        patched(plain, 32, 1000),        // colour table larger than any image
        patched({8, 2, 24}, 14, 8),      // palette image
        Bytes(39, 0),                    // shorter than a header
    };
    for (size_t i = 0; i < sizeof images / sizeof images[0]; ++i) {
        Bytes frame(1000, 0xAB);
        int32_t width = -1;
        int32_t height = -1;
        EXPECT_FALSE(packFrame24(images[i].data(), images[i].size(), frame.data(), frame.size(),
                                 &width, &height))
            << "image " << i;
        EXPECT_EQ(frame, Bytes(1000, 0xAB)) << "image " << i;
        EXPECT_EQ(width, -1);
    }
}

TEST(PackFrame24, RefusesAPictureLargerThanTheFrame) {
    const ImageSpec s{20, 10, 32};
    const Bytes image = makeImage(s);
    // 40 + 60 x 10 bytes are needed; one fewer is offered.
    Bytes frame(640, 0xAB);
    int32_t width = 0;
    int32_t height = 0;
    EXPECT_FALSE(packFrame24(image.data(), image.size(), frame.data(), 639, &width, &height));
    EXPECT_EQ(frame, Bytes(640, 0xAB));
    EXPECT_TRUE(packFrame24(image.data(), image.size(), frame.data(), 640, &width, &height));
}

TEST(PackFrame24, GarbageHeadersNeverReachOutsideTheBuffers) {
    // Random headers over small images: whatever is accepted must fit both
    // buffers (the sanitizer build checks every access).
    std::mt19937 random(20261208);
    const uint32_t compressions[] = {0, 3, 1, 0xFFFFFFFF};
    const uint32_t bitCounts[] = {16, 24, 32, 8, 0};
    int accepted = 0;
    for (int round = 0; round < 2000; ++round) {
        Bytes image(40 + random() % 200);
        for (uint8_t& byte : image) {
            byte = static_cast<uint8_t>(random());
        }
        putU32(image, 0, random() % 2 ? 40 : random() % 160);
        putU32(image, 4, random() % 12);
        putU32(image, 8, static_cast<uint32_t>(static_cast<int32_t>(random() % 25) - 12));
        image[14] = static_cast<uint8_t>(bitCounts[random() % 5]);
        image[15] = 0;
        putU32(image, 16, compressions[random() % 4]);
        putU32(image, 32, random() % 2 ? 0 : random() % 300);
        Bytes frame(100 + random() % 400);
        int32_t width = 0;
        int32_t height = 0;
        if (packFrame24(image.data(), image.size(), frame.data(), frame.size(), &width, &height)) {
            EXPECT_LE(packedFrameSize(width, height), static_cast<int64_t>(frame.size()));
            ++accepted;
        }
    }
    EXPECT_GT(accepted, 20);
}

}  // namespace
