// Image files as camera frames: any BMP, PNG, JPEG, PPM or PGM file
// becomes a 24-bit frame laid out as the camera delivers it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Blue-green-red pixels, rows padded to a multiple of 4 bytes, the bottom
// row of the picture first.
struct ImageFrame {
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    std::vector<uint8_t> pixels;
};

// Largest picture accepted, in pixels a side and in all (8192 x 8192 or
// any other shape of that area). The size is taken from the file's header:
// a larger picture is refused before anything is allocated for it.
constexpr int kMaxImageSide = 16384;
constexpr long long kMaxImagePixels = 8192LL * 8192LL;

// Reads and converts an image file (grey and 32-bit images are widened or
// narrowed to 24 bits). On failure returns false with a reason in `error`;
// a directory, a device or a file that cannot be read is such a failure.
bool loadImageFrame(const std::string& path, ImageFrame& frame, std::string& error);

// The same from bytes in memory; a caller that must stay quick on any
// input (the fuzz target) may allow fewer pixels.
bool decodeImageFrame(const uint8_t* data, size_t size, ImageFrame& frame, std::string& error,
                      long long maxPixels = kMaxImagePixels);

// The packed image the camera's renderer hands over: a 40-byte bitmap
// header (24 bits, uncompressed, positive height), then the rows.
std::vector<uint8_t> packFrame(const ImageFrame& frame);
