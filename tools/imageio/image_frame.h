// Image files as camera frames: any BMP, PNG, JPEG, PPM or PGM file
// becomes a 24-bit frame laid out as the camera delivers it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/packed_frame.h"

// The packed frame as the grab leaves it (frame/packed_frame.h): the
// 40-byte header, then blue-green-red rows padded to a multiple of 4
// bytes, the bottom row of the picture first. The readers decode into the
// rows in place, so the recognition cycle reads the frame as it is.
struct ImageFrame {
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    std::vector<uint8_t> packed;  // empty until a picture is read

    uint8_t* rows() { return packed.empty() ? nullptr : packed.data() + kFrameHeaderSize; }
    const uint8_t* rows() const { return packed.empty() ? nullptr : packed.data() + kFrameHeaderSize; }
    size_t rowBytes() const { return packed.empty() ? 0 : packed.size() - kFrameHeaderSize; }
    PictureView view() const { return {rows(), width, height, stride}; }
    PackedPicture packedPicture() const { return {packed.data(), packed.size(), width, height}; }
};

// Sizes the frame for a width x height picture, writes its header and
// clears its rows (row padding stays 0).
void startFrame(ImageFrame& frame, int width, int height);

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
