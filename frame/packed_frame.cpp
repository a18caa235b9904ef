#include "frame/packed_frame.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kNoCompression = 0;  // BI_RGB

// Little-endian, byte by byte, whatever the host's byte order and packing.
void put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void put32(uint8_t* at, uint32_t value) {
    put16(at, value);
    put16(at + 2, value >> 16);
}

uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

}  // namespace

void writeFrameHeader(uint8_t* header, int32_t width, int32_t height, uint32_t imageBytes) {
    std::memset(header, 0, kFrameHeaderSize);
    put32(header, static_cast<uint32_t>(kFrameHeaderSize));
    put32(header + 4, static_cast<uint32_t>(width));
    // Positive height: rows bottom-up.
    put32(header + 8, static_cast<uint32_t>(height));
    put16(header + 12, 1);   // planes
    put16(header + 14, 24);  // bits per pixel
    put32(header + 20, imageBytes);
}

void startPackedFrame(std::vector<uint8_t>& packed, int32_t width, int32_t height) {
    packed.assign(static_cast<size_t>(packedFrameSize(width, height)), 0);
    writeFrameHeader(packed.data(), width, height,
                     static_cast<uint32_t>(packed.size() - kFrameHeaderSize));
}

std::vector<uint8_t> packRows(const uint8_t* rows, int32_t width, int32_t height, int32_t stride) {
    const size_t outStride = static_cast<size_t>(frameStride(width));
    std::vector<uint8_t> packed;
    startPackedFrame(packed, width, height);
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(packed.data() + kFrameHeaderSize + outStride * static_cast<size_t>(y),
                    rows + static_cast<size_t>(stride) * static_cast<size_t>(y), rowBytes);
    }
    return packed;
}

bool writeBmpFile(const char* path, const uint8_t* rows, int32_t width, int32_t height,
                  int32_t stride) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    const bool hasPixels = rows != nullptr && stride > 0 && height > 0;
    const uint32_t imageBytes =
        hasPixels ? static_cast<uint32_t>(stride) * static_cast<uint32_t>(height) : 0;
    uint8_t header[kBmpFileHeaderSize + kFrameHeaderSize] = {};
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, imageBytes + static_cast<uint32_t>(sizeof header));
    put32(header + 10, static_cast<uint32_t>(sizeof header));
    writeFrameHeader(header + kBmpFileHeaderSize, width, height, imageBytes);
    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
    if (ok && imageBytes > 0) {
        ok = std::fwrite(rows, 1, imageBytes, file) == imageBytes;
    }
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

bool readBmpLayout(const uint8_t* head, size_t headSize, uint64_t fileSize, int32_t maxSide,
                   BmpLayout& layout) {
    if (head == nullptr || headSize < kBmpFileHeaderSize + kFrameHeaderSize || head[0] != 'B' ||
        head[1] != 'M') {
        return false;
    }
    const uint32_t offset = get32(head + 10);
    const uint32_t infoSize = get32(head + 14);
    const auto width = static_cast<int32_t>(get32(head + 18));
    const auto signedHeight = static_cast<int32_t>(get32(head + 22));
    const uint16_t planes = get16(head + 26);
    const uint16_t bits = get16(head + 28);
    const uint32_t compression = get32(head + 30);
    // Later header versions (V4, V5) extend the 40-byte one; their extra
    // fields (colour masks, colour space) mean nothing for 24-bit BI_RGB.
    if (infoSize < kFrameHeaderSize || planes != 1 || bits != 24 || compression != kNoCompression) {
        return false;
    }
    // INT32_MIN has no positive counterpart: it is refused with the rest.
    if (width <= 0 || width > maxSide || signedHeight == 0 || signedHeight < -maxSide ||
        signedHeight > maxSide) {
        return false;
    }
    const int32_t height = signedHeight < 0 ? -signedHeight : signedHeight;
    const auto stride = static_cast<uint32_t>(frameStride(width));
    if (offset < kBmpFileHeaderSize + static_cast<uint64_t>(infoSize) ||
        static_cast<uint64_t>(offset) + static_cast<uint64_t>(stride) * height > fileSize) {
        return false;
    }
    layout.width = width;
    layout.height = height;
    layout.topDown = signedHeight < 0;
    layout.pixelOffset = offset;
    layout.stride = stride;
    return true;
}

void copyBmpRows(const uint8_t* file, const BmpLayout& layout, uint8_t* out, size_t outStride,
                 size_t rowBytes) {
    for (int32_t y = 0; y < layout.height; ++y) {
        const int32_t from = layout.topDown ? layout.height - 1 - y : y;
        std::memcpy(out + static_cast<size_t>(y) * outStride,
                    file + layout.pixelOffset + static_cast<size_t>(from) * layout.stride, rowBytes);
    }
}

bool readBmpRows(const uint8_t* file, size_t fileSize, const BmpLayout& layout,
                 std::vector<uint8_t>& rows) {
    const int32_t side = layout.width > layout.height ? layout.width : layout.height;
    BmpLayout now;
    if (!readBmpLayout(file, fileSize, fileSize, side, now) || now.width != layout.width ||
        now.height != layout.height) {
        return false;
    }
    rows.assign(static_cast<size_t>(now.stride) * now.height, 0);
    copyBmpRows(file, now, rows.data(), now.stride, now.stride);
    return true;
}
