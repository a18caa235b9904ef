#include "tests/fuzz/seed_images.h"

#include <cstring>

#include <stb_image_write.h>

#include "tests/tools/picture_files.h"

namespace seed_images {
namespace {

using Bytes = std::vector<uint8_t>;

// 5 x 3 pixels (a width whose 24-bit rows need padding), top row first.
constexpr int kWidth = 5;
constexpr int kHeight = 3;

uint8_t channel(int x, int y, int c) { return uint8_t(40 * x + 70 * y + 90 * c); }

void put(Bytes& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

// A Windows bitmap: file header, 40-byte info header, `extra` (masks or
// palette), then rows of `bits` bits padded to 4 bytes, bottom row first
// unless topDown.
Bytes bmp(int bits, uint32_t compression, const Bytes& extra, bool topDown,
          uint32_t (*pixel)(int x, int y)) {
    const int rowBytes = (kWidth * bits + 31) / 32 * 4;
    const uint32_t offset = 14 + 40 + uint32_t(extra.size());
    Bytes out = {'B', 'M'};
    put(out, offset + uint32_t(rowBytes * kHeight), 4);
    put(out, 0, 4);
    put(out, offset, 4);
    put(out, 40, 4);
    put(out, kWidth, 4);
    put(out, uint32_t(topDown ? -kHeight : kHeight), 4);
    put(out, 1, 2);
    put(out, uint32_t(bits), 2);
    put(out, compression, 4);
    put(out, uint32_t(rowBytes * kHeight), 4);
    put(out, 2835, 4);
    put(out, 2835, 4);
    put(out, bits <= 8 ? 1u << bits : 0, 4);
    put(out, 0, 4);
    out.insert(out.end(), extra.begin(), extra.end());
    for (int r = 0; r < kHeight; ++r) {
        const int y = topDown ? r : kHeight - 1 - r;
        Bytes row(size_t(rowBytes), 0);
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t value = pixel(x, y);
            if (bits >= 8) {
                for (int b = 0; b < bits / 8; ++b) row[size_t(x * bits / 8 + b)] = uint8_t(value >> (8 * b));
            } else {
                const int bit = x * bits;
                row[size_t(bit / 8)] |= uint8_t(value << (8 - bits - bit % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

uint32_t bgr(int x, int y) {
    return uint32_t(channel(x, y, 0)) | uint32_t(channel(x, y, 1)) << 8 |
           uint32_t(channel(x, y, 2)) << 16;
}
uint32_t rgb555(int x, int y) {
    return uint32_t(channel(x, y, 0) >> 3) | uint32_t(channel(x, y, 1) >> 3) << 5 |
           uint32_t(channel(x, y, 2) >> 3) << 10;
}
uint32_t index2(int x, int y) { return uint32_t((x + y) % 4); }
uint32_t index1(int x, int y) { return uint32_t((x + y) % 2); }

Bytes palette(int entries) {
    Bytes out;
    for (int i = 0; i < entries; ++i) put(out, uint32_t(0x3F3F3F * i), 4);
    return out;
}

// A binary PNM (P5 grey or P6 colour) with the given largest value; two
// bytes a sample above 255.
Bytes pnm(bool colour, int maxValue) {
    const std::string header = std::string(colour ? "P6" : "P5") + "\n# seed\n" +
                               std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n" +
                               std::to_string(maxValue) + "\n";
    Bytes out(header.begin(), header.end());
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            for (int c = 0; c < (colour ? 3 : 1); ++c) {
                const uint32_t value = uint32_t(channel(x, y, c)) * uint32_t(maxValue) / 255;
                if (maxValue > 255) out.push_back(uint8_t(value >> 8));
                out.push_back(uint8_t(value));
            }
        }
    }
    return out;
}

void append(void* context, void* data, int size) {
    auto* out = static_cast<Bytes*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

// PNG or JPEG through stb_image_write, with 1, 3 or 4 channels.
Bytes stbImage(bool png, int channels) {
    Bytes pixels;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            for (int c = 0; c < channels; ++c) pixels.push_back(channel(x, y, c));
        }
    }
    Bytes out;
    if (png) {
        stbi_write_png_to_func(append, &out, kWidth, kHeight, channels, pixels.data(),
                               kWidth * channels);
    } else {
        stbi_write_jpg_to_func(append, &out, kWidth, kHeight, channels, pixels.data(), 90);
    }
    return out;
}

std::string text(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += char(v);
    return out;
}

Bytes bytesOf(const std::string& file) { return Bytes(file.begin(), file.end()); }

// PNG kinds that stb_image_write does not write, 3 x 2 pixels: a 2-bit
// palette with transparency, 16-bit samples, Adam7 interlacing.
Bytes palettePng() {
    return bytesOf(picture_files::pngBytes(
        3, 2, 2, 3, text({0, 0x18, 0, 0xC4}),
        picture_files::chunk("PLTE", text({255, 0, 0, 0, 128, 255, 1, 2, 3, 9, 9, 9})) +
            picture_files::chunk("tRNS", text({0, 128}))));
}

Bytes rgb16Png() {
    std::string rows;
    for (int y = 0; y < 2; ++y) {
        rows += '\0';
        for (int i = 0; i < 18; ++i) rows += char(channel(i, y, i % 3));
    }
    return bytesOf(picture_files::pngBytes(3, 2, 16, 2, rows));
}

Bytes interlacedPng() {
    return bytesOf(picture_files::pngBytes(
        3, 2, 8, 2, text({0, 1, 2, 3, 0, 7, 8, 9, 0, 4, 5, 6, 0, 10, 11, 12, 13, 14, 15, 16, 17, 18}), "", true));
}

// JPEG kinds that stb_image_write does not write, through libjpeg-turbo.
Bytes turboJpeg(picture_files::JpegKind kind) {
    picture_files::Picture p{kWidth, kHeight, {}};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            for (int c = 0; c < 3; ++c) p.rgb.push_back(channel(x, y, c));
        }
    }
    return bytesOf(picture_files::jpegBytes(p, kind));
}

}  // namespace

std::vector<NamedImage> smallImages() {
    Bytes masks;
    put(masks, 0x00FF0000, 4);
    put(masks, 0x0000FF00, 4);
    put(masks, 0x000000FF, 4);
    const std::string ascii = "P3\n2 1\n255\n255 0 0 0 255 0\n";
    return {
        {"bmp24.bmp", bmp(24, 0, {}, false, bgr)},
        {"bmp24-topdown.bmp", bmp(24, 0, {}, true, bgr)},
        {"bmp32.bmp", bmp(32, 0, {}, false, bgr)},
        {"bmp32-bitfields.bmp", bmp(32, 3, masks, false, bgr)},
        {"bmp16.bmp", bmp(16, 0, {}, false, rgb555)},
        {"bmp8.bmp", bmp(8, 0, palette(256), false, index2)},
        {"bmp4.bmp", bmp(4, 0, palette(16), false, index2)},
        {"bmp1.bmp", bmp(1, 0, palette(2), true, index1)},
        {"grey.pgm", pnm(false, 255)},
        {"grey16.pgm", pnm(false, 65535)},
        {"colour.ppm", pnm(true, 255)},
        {"colour100.ppm", pnm(true, 100)},
        {"ascii.ppm", Bytes(ascii.begin(), ascii.end())},
        {"grey.png", stbImage(true, 1)},
        {"colour.png", stbImage(true, 3)},
        {"alpha.png", stbImage(true, 4)},
        {"palette.png", palettePng()},
        {"rgb16.png", rgb16Png()},
        {"interlaced.png", interlacedPng()},
        {"colour.jpg", stbImage(false, 3)},
        {"grey.jpg", stbImage(false, 1)},
        {"progressive.jpg", turboJpeg({TJSAMP_420, true, false})},
        {"cmyk.jpg", turboJpeg({TJSAMP_444, false, true})},
    };
}

}  // namespace seed_images
