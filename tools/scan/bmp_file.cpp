#include "tools/scan/bmp_file.h"

#include <cstring>
#include <filesystem>
#include <fstream>

static constexpr size_t kFileHeaderSize = 14;
static constexpr uint32_t kInfoHeaderSize = 40;

static uint32_t readU32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

static uint16_t readU16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

static int64_t readS32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t u = readU32(b, at);
    return u >= 0x80000000u ? static_cast<int64_t>(u) - 0x100000000LL : static_cast<int64_t>(u);
}

struct BmpHeader {
    uint64_t pixelOffset;
    int64_t width;
    int64_t height;  // negative: rows stored top-down
    uint16_t planes;
    uint16_t bitsPerPixel;
    uint32_t compression;
};

static bool readHeader(const std::vector<uint8_t>& file, BmpHeader& h, std::string& error) {
    if (file.size() < 2 || file[0] != 'B' || file[1] != 'M') {
        error = "not a BMP file (no \"BM\" signature)";
        return false;
    }
    if (file.size() < kFileHeaderSize + kInfoHeaderSize) {
        error = "truncated BMP header";
        return false;
    }
    uint32_t infoSize = readU32(file, 14);
    if (infoSize < kInfoHeaderSize) {
        error = "unsupported BMP header (size " + std::to_string(infoSize) +
                "; need BITMAPINFOHEADER)";
        return false;
    }
    h.pixelOffset = readU32(file, 10);
    h.width = readS32(file, 18);
    h.height = readS32(file, 22);
    h.planes = readU16(file, 26);
    h.bitsPerPixel = readU16(file, 28);
    h.compression = readU32(file, 30);
    if (h.pixelOffset < kFileHeaderSize + static_cast<uint64_t>(infoSize)) {
        error = "BMP pixel data overlaps its header";
        return false;
    }
    return true;
}

static bool checkFormat(const BmpHeader& h, std::string& error) {
    if (h.planes != 1 || h.bitsPerPixel != 24) {
        error = "unsupported BMP: " + std::to_string(h.bitsPerPixel) +
                " bits per pixel (need 24)";
        return false;
    }
    if (h.compression != 0) {
        error = "unsupported BMP: compressed (type " + std::to_string(h.compression) + ")";
        return false;
    }
    int64_t rows = h.height < 0 ? -h.height : h.height;
    if (h.width <= 0 || rows == 0 || h.width > kMaxFrameSide || rows > kMaxFrameSide) {
        error = "unsupported BMP size " + std::to_string(h.width) + " x " +
                std::to_string(rows) + " (each side 1 to " + std::to_string(kMaxFrameSide) + ")";
        return false;
    }
    return true;
}

bool parseBmp(const std::vector<uint8_t>& file, Frame& frame, std::string& error) {
    BmpHeader h{};
    if (!readHeader(file, h, error) || !checkFormat(h, error)) return false;
    // Both sides are at most 16384, so every product below fits easily.
    int width = static_cast<int>(h.width);
    int rows = static_cast<int>(h.height < 0 ? -h.height : h.height);
    int stride = (width * 3 + 3) / 4 * 4;
    uint64_t dataSize = static_cast<uint64_t>(stride) * static_cast<uint64_t>(rows);
    if (h.pixelOffset > file.size() || file.size() - h.pixelOffset < dataSize) {
        error = "truncated BMP: " + std::to_string(dataSize) + " bytes of pixels expected";
        return false;
    }
    frame.width = width;
    frame.height = rows;
    frame.stride = stride;
    frame.pixels.assign(file.begin() + static_cast<std::ptrdiff_t>(h.pixelOffset),
                        file.begin() + static_cast<std::ptrdiff_t>(h.pixelOffset + dataSize));
    if (h.height < 0) {
        // A top-down file holds the top row first; frames start at the bottom.
        std::vector<uint8_t> row(static_cast<size_t>(stride));
        for (int top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
            uint8_t* a = frame.pixels.data() + static_cast<size_t>(top) * stride;
            uint8_t* b = frame.pixels.data() + static_cast<size_t>(bottom) * stride;
            std::memcpy(row.data(), a, row.size());
            std::memcpy(a, b, row.size());
            std::memcpy(b, row.data(), row.size());
        }
    }
    return true;
}

bool readBmpFile(const std::string& path, Frame& frame, std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = "is a directory";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open";
        return false;
    }
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    // The largest accepted picture plus a generous header allowance.
    const std::streamoff limit = static_cast<std::streamoff>(kMaxFrameSide) * (kMaxFrameSide * 3 + 3) + (1 << 20);
    if (size < 0 || size > limit) {
        error = size < 0 ? "cannot read" : "file too large for a supported BMP";
        return false;
    }
    in.seekg(0, std::ios::beg);
    std::vector<uint8_t> file(static_cast<size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(file.data()), size)) {
        error = "cannot read";
        return false;
    }
    return parseBmp(file, frame, error);
}
