// The packed frame that travels from the camera to the recognition side:
// a 40-byte bitmap header, then 24-bit blue-green-red rows, bottom row of
// the picture first, each row padded to a multiple of 4 bytes. A BMP file
// is the same image behind a 14-byte file header. Portable: no platform
// headers, so that the engine, the tools and the test camera share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr size_t kFrameHeaderSize = 40;
constexpr size_t kBmpFileHeaderSize = 14;

// Bytes per row of a picture of `bitsPerPixel` bits a pixel: rows are
// padded to a multiple of 4 bytes.
inline int64_t paddedRowBytes(int32_t width, int bitsPerPixel) {
    return (static_cast<int64_t>(width) * bitsPerPixel + 31) / 32 * 4;
}

// Bytes per row of a 24-bit frame: 3 x width rounded up to 4.
inline int64_t frameStride(int32_t width) {
    return paddedRowBytes(width, 24);
}

// Size of the packed image (header and rows) of a width x height frame.
inline int64_t packedFrameSize(int32_t width, int32_t height) {
    return static_cast<int64_t>(kFrameHeaderSize) + frameStride(width) * height;
}

// The 40-byte header of a 24-bit bottom-up image whose rows take
// `imageBytes` bytes.
void writeFrameHeader(uint8_t* header, int32_t width, int32_t height, uint32_t imageBytes);

// Sizes `packed` for a width x height frame, writes its header and clears
// its rows (row padding stays 0).
void startPackedFrame(std::vector<uint8_t>& packed, int32_t width, int32_t height);

// The packed frame of `rows` (stride x height bytes, bottom row first).
std::vector<uint8_t> packRows(const uint8_t* rows, int32_t width, int32_t height, int32_t stride);

// A picture in the frame layout: blue-green-red, bottom row first.
struct PictureView {
    const uint8_t* rows = nullptr;  // the first byte of the bottom row
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;             // bytes per row, at least 3 x width
};

// A packed picture as the grab leaves it in the frame buffer: the 40-byte
// header, then the rows.
struct PackedPicture {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// Writes a 24-bit BMP file: the file header, the frame header, then
// stride x height bytes of rows as they are. False when the file cannot
// be written.
bool writeBmpFile(const char* path, const uint8_t* rows, int32_t width, int32_t height,
                  int32_t stride);

// Where the pixel rows of an uncompressed 24-bit BMP lie in its file.
struct BmpLayout {
    int32_t width = 0;
    int32_t height = 0;    // always positive
    bool topDown = false;  // the file's first row is the top row
    uint32_t pixelOffset = 0;
    uint32_t stride = 0;   // bytes per row in the file
};

// Reads the headers (the first kBmpFileHeaderSize + 40 or more bytes of a
// file of fileSize bytes). False unless the file is an uncompressed 24-bit
// BMP of at most maxSide pixels a side whose rows all lie inside the file.
bool readBmpLayout(const uint8_t* head, size_t headSize, uint64_t fileSize, int32_t maxSide,
                   BmpLayout& layout);

// Copies `rowBytes` bytes of each row of a BMP file laid out as `layout`
// says (its rows lie inside the file) to `out`, in frame order (bottom row
// first), `outStride` bytes apart.
void copyBmpRows(const uint8_t* file, const BmpLayout& layout, uint8_t* out, size_t outStride,
                 size_t rowBytes);

// Copies the rows of a whole BMP file, laid out as `layout` says, into
// `rows` in frame order (bottom row first, frameStride bytes a row).
// False when the file does not match the layout.
bool readBmpRows(const uint8_t* file, size_t fileSize, const BmpLayout& layout,
                 std::vector<uint8_t>& rows);
