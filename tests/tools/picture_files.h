// Pictures of module grids written as image files byte by byte, so that
// the scanner's tests need no image tools: PPM, PGM and BMP (24-bit
// bottom-up or top-down, 32-bit); PNG files of given rows and chunks;
// JPEG files through libjpeg-turbo's compressor.
#pragma once

#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>
#include "frame/packed_frame.h"

namespace picture_files {

// Red-green-blue pixels, top row of the picture first, no padding.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// A grid in the grid-dump text form ("1,0,1,..." per row) drawn at
// `scale` pixels per module, its top-left corner at (left, top) of a
// width x height picture. Ink and paper as a camera sees them, tinted so
// that the three channels differ.
inline Picture pictureOfGrid(const std::string& gridText, int width, int height, int scale,
                             int left, int top) {
    std::vector<std::vector<int>> modules;
    std::istringstream in(gridText);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<int> row;
        for (char c : line) {
            if (c == '0' || c == '1') row.push_back(c - '0');
        }
        if (!row.empty()) modules.push_back(row);
    }
    Picture p{width, height, std::vector<uint8_t>(size_t(width) * size_t(height) * 3)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int r = (y - top) / scale, c = (x - left) / scale;
            const bool inside = y >= top && x >= left && r < int(modules.size()) &&
                                c < int(modules[0].size());
            const bool dark = inside && modules[size_t(r)][size_t(c)] == 1;
            uint8_t* px = &p.rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
            px[0] = dark ? 50 : 225;
            px[1] = dark ? 40 : 215;
            px[2] = dark ? 35 : 200;
        }
    }
    return p;
}

inline uint8_t greyOf(const uint8_t* px) {
    return static_cast<uint8_t>((px[0] * 30 + px[1] * 59 + px[2] * 11) / 100);
}

// A sample on a scale of 0..maxValue, in two big-endian bytes when the
// scale needs them.
inline std::string pnmSample(uint8_t value, int maxValue) {
    const int v = (value * maxValue + 127) / 255;
    if (maxValue <= 255) return std::string(1, static_cast<char>(v));
    return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)};
}

inline std::string ppmBytes(const Picture& p, int maxValue = 255) {
    std::string s = "P6\n# tessaread test\n" + std::to_string(p.width) + " " +
                    std::to_string(p.height) + "\n" + std::to_string(maxValue) + "\n";
    for (uint8_t v : p.rgb) s += pnmSample(v, maxValue);
    return s;
}

inline std::string pgmBytes(const Picture& p, int maxValue = 255) {
    std::string s = "P5 " + std::to_string(p.width) + " " + std::to_string(p.height) + " " +
                    std::to_string(maxValue) + "\n";
    for (size_t i = 0; i < p.rgb.size(); i += 3) s += pnmSample(greyOf(&p.rgb[i]), maxValue);
    return s;
}

inline std::string le32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[size_t(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

// bits: 24 or 32 (blue, green, red, then an unused byte).
inline std::string bmpBytes(const Picture& p, bool topDown, int bits = 24) {
    const int bytesPerPixel = bits / 8;
    const int stride = int(paddedRowBytes(p.width, bits));
    std::string pixels(size_t(stride) * size_t(p.height), '\0');
    for (int y = 0; y < p.height; ++y) {
        const int fileRow = topDown ? y : p.height - 1 - y;
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* in = &p.rgb[(size_t(y) * size_t(p.width) + size_t(x)) * 3];
            char* out = &pixels[size_t(fileRow) * size_t(stride) + size_t(x) * size_t(bytesPerPixel)];
            out[0] = static_cast<char>(in[2]);
            out[1] = static_cast<char>(in[1]);
            out[2] = static_cast<char>(in[0]);
        }
    }
    const uint32_t height = topDown ? static_cast<uint32_t>(-p.height) : static_cast<uint32_t>(p.height);
    const std::string planesAndBits = std::string("\x01\x00", 2) + static_cast<char>(bits) + '\0';
    return "BM" + le32(54 + static_cast<uint32_t>(pixels.size())) + le32(0) + le32(54) + le32(40) +
           le32(static_cast<uint32_t>(p.width)) + le32(height) + planesAndBits + le32(0) +
           le32(static_cast<uint32_t>(pixels.size())) + le32(0) + le32(0) + le32(0) + le32(0) + pixels;
}

inline std::string be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

inline uint32_t crc32(const std::string& bytes) {
    uint32_t c = 0xFFFFFFFF;
    for (unsigned char b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

inline std::string chunk(const std::string& type, const std::string& data) {
    return be32(uint32_t(data.size())) + type + data + be32(crc32(type + data));
}

// Scanlines (each led by its filter byte) as a zlib stream of one stored
// deflate block, so that no compressor is needed.
inline std::string zlibStored(const std::string& raw) {
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    const uint16_t n = uint16_t(raw.size());
    return std::string("\x78\x01\x01", 3) + char(n) + char(n >> 8) + char(~n) + char(~n >> 8) + raw +
           be32(b << 16 | a);
}

// A PNG file of the given rows (each led by its filter byte) and chunks.
inline std::string pngBytes(uint32_t width, uint32_t height, int depth, int colourType, const std::string& rows,
                const std::string& chunksBeforeData = "", bool interlaced = false) {
    const std::string header =
        be32(width) + be32(height) + char(depth) + char(colourType) + std::string(2, '\0') + char(interlaced);
    return "\x89PNG\r\n\x1A\n" + chunk("IHDR", header) + chunksBeforeData +
           (rows.empty() ? "" : chunk("IDAT", zlibStored(rows))) + chunk("IEND", "");
}

struct JpegKind {
    int subsampling = TJSAMP_444;  // TJSAMP_GRAY: the luminance only
    bool progressive = false;
    // The colours as CMYK in Adobe's inverted form (black the brightest
    // channel), which the compressor stores as YCCK.
    bool cmyk = false;
};

// A JPEG file of the picture at quality 100; empty if the compressor fails.
inline std::string jpegBytes(const Picture& p, JpegKind kind = {}) {
    std::vector<uint8_t> pixels = p.rgb;
    if (kind.cmyk) {
        pixels.clear();
        for (size_t i = 0; i < p.rgb.size(); i += 3) {
            const int k = std::max({p.rgb[i], p.rgb[i + 1], p.rgb[i + 2], uint8_t(1)});
            for (size_t c = 0; c < 3; ++c) pixels.push_back(static_cast<uint8_t>((p.rgb[i + c] * 255 + k / 2) / k));
            pixels.push_back(static_cast<uint8_t>(k));
        }
    }
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(handle, pixels.data(), p.width, 0, p.height, kind.cmyk ? TJPF_CMYK : TJPF_RGB,
                                   &jpeg, &size, kind.subsampling, 100,
                                   TJFLAG_ACCURATEDCT | (kind.progressive ? TJFLAG_PROGRESSIVE : 0));
    const std::string bytes = status == 0 ? std::string(reinterpret_cast<char*>(jpeg), size) : std::string();
    tjFree(jpeg);
    tjDestroy(handle);
    return bytes;
}

}  // namespace picture_files
