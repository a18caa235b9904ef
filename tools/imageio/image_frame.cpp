#include "tools/imageio/image_frame.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "frame/packed_frame.h"
#include "tools/imageio/picture_readers.h"

#define STBI_NO_STDIO
#include <stb_image.h>

namespace {

struct StbFree {
    void operator()(stbi_uc* p) const { stbi_image_free(p); }
};

uint32_t littleEndian(const uint8_t* at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | at[i];
    }
    return value;
}

// The fields of a BMP header that stb_image goes by. It knows the 12-byte
// core header and those of 40 bytes and more; it refuses any other, and
// only these have the fields read here.
struct BmpHeader {
    bool known = false;
    uint32_t headerSize = 0;
    int64_t width = 0;
    int64_t rows = 0;
    uint32_t bits = 0;
    int32_t mode = 0;        // compression
    int32_t pixelStart = 0;  // as stb_image reads it, an int
};

bool isBmp(const uint8_t* data, size_t size) { return size >= 2 && data[0] == 'B' && data[1] == 'M'; }

BmpHeader bmpHeader(const uint8_t* data, size_t size) {
    BmpHeader h;
    if (!isBmp(data, size) || size < 18) return h;
    h.headerSize = littleEndian(data + 14, 4);
    if (size < 14 + static_cast<size_t>(h.headerSize < 40 ? h.headerSize : 40)) return h;
    if (h.headerSize != 12 && h.headerSize < 40) return h;
    int64_t height = 0;
    if (h.headerSize == 12) {  // OS/2 core header: 16-bit sizes, never compressed
        h.width = littleEndian(data + 18, 2);
        height = littleEndian(data + 20, 2);
        h.bits = littleEndian(data + 24, 2);
    } else {
        h.width = static_cast<int32_t>(littleEndian(data + 18, 4));
        height = static_cast<int32_t>(littleEndian(data + 22, 4));
        h.bits = littleEndian(data + 28, 2);
        h.mode = static_cast<int32_t>(littleEndian(data + 30, 4));
    }
    h.rows = height < 0 ? -height : height;
    h.pixelStart = static_cast<int32_t>(littleEndian(data + 10, 4));
    h.known = true;
    return h;
}

// stb_image takes the depths of palette pictures and any depth of 16 bits
// and more, reading 4 bytes a pixel for those it does not know (a 67-byte
// file of 12801 bits a pixel became 63 million pixels of zeros); no writer
// makes other depths than these.
bool bmpDepthKnown(uint32_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// stb_image reads past the end of a BMP or PNM file as zeros rather than
// failing, so a cut-off file would pass as an image with a black band.
// These two compute the size that the header promises.
bool bmpTruncated(const uint8_t* data, size_t size) {
    if (!isBmp(data, size)) return false;
    if (size < 18) return true;
    const uint32_t headerSize = littleEndian(data + 14, 4);
    if (size < 14 + static_cast<size_t>(headerSize < 40 ? headerSize : 40)) return true;
    const BmpHeader h = bmpHeader(data, size);
    // stb_image refuses run-length (1, 2) and embedded JPEG or PNG data (4
    // and up) and reads every other value, negative ones too, as plain rows.
    if (!h.known || h.mode == 1 || h.mode == 2 || h.mode >= 4) return false;
    if (h.width <= 0 || h.width > kMaxImageSide || !bmpDepthKnown(h.bits)) return false;
    const int64_t rowBytes = (h.width * h.bits + 31) / 32 * 4;
    return static_cast<int64_t>(size) < static_cast<int64_t>(static_cast<uint32_t>(h.pixelStart)) + rowBytes * h.rows;
}

// stb_image takes a palette picture's colours from a table of 256 that
// only the file's palette fills, so an index past the palette would give
// the pixel whatever the stack held. The palette is what lies between the
// header and the pixels, as stb_image counts it.
bool bmpIndicesInPalette(const uint8_t* data, size_t size, const BmpHeader& h) {
    // Sizes and modes that stb_image refuses are left to it.
    if (!h.known || h.bits > 8 || h.width <= 0 || h.width > kMaxImageSide || h.rows > kMaxImageSide ||
        h.mode == 1 || h.mode == 2 || h.mode >= 4) {
        return true;
    }
    const int64_t afterHeader = static_cast<int64_t>(h.pixelStart) - 14;
    const int64_t entries = h.headerSize == 12 ? (afterHeader - 24) / 3 : (afterHeader - h.headerSize) >> 2;
    if (entries >= (int64_t(1) << h.bits)) return true;
    const int64_t rowBytes = (h.width * h.bits + 31) / 32 * 4;
    const int mask = (1 << h.bits) - 1;
    for (int64_t y = 0; y < h.rows; ++y) {
        for (int64_t bit = 0; bit < h.width * h.bits; bit += h.bits) {
            const int64_t at = static_cast<int64_t>(static_cast<uint32_t>(h.pixelStart)) + y * rowBytes + bit / 8;
            const int byte = at < static_cast<int64_t>(size) ? data[at] : 0;
            if (((byte >> (8 - h.bits - bit % 8)) & mask) >= entries) return false;
        }
    }
    return true;
}

// Reads one header number of a PNM file, skipping blanks and comments.
bool pnmNumber(const uint8_t* data, size_t size, size_t& at, int64_t& value) {
    while (at < size) {
        if (data[at] == '#') {
            // A comment ends at CR or LF, as stb_image reads it.
            while (at < size && data[at] != '\n' && data[at] != '\r') ++at;
        } else if (data[at] == ' ' || (data[at] >= '\t' && data[at] <= '\r')) {
            ++at;
        } else {
            break;
        }
    }
    if (at >= size || data[at] < '0' || data[at] > '9') return false;
    value = 0;
    while (at < size && data[at] >= '0' && data[at] <= '9') {
        if (value > 1000000000) return false;
        value = value * 10 + (data[at++] - '0');
    }
    return true;
}

// The header of a binary PNM file (P5 grey, P6 colour), as far as the
// file holds it.
struct PnmHeader {
    bool complete = false;
    int64_t width = 0;
    int64_t height = 0;
    int64_t maxValue = 0;
    int64_t dataStart = 0;
    int64_t channels = 0;
};

bool isPnm(const uint8_t* data, size_t size) {
    return size >= 2 && data[0] == 'P' && (data[1] == '5' || data[1] == '6');
}

PnmHeader pnmHeader(const uint8_t* data, size_t size) {
    PnmHeader h;
    size_t at = 2;
    if (!isPnm(data, size) || !pnmNumber(data, size, at, h.width) ||
        !pnmNumber(data, size, at, h.height) || !pnmNumber(data, size, at, h.maxValue) ||
        at >= size) {
        return h;
    }
    h.complete = true;
    h.channels = data[1] == '6' ? 3 : 1;
    h.dataStart = static_cast<int64_t>(at) + 1;  // one whitespace byte ends the header
    return h;
}

bool pnmTruncated(const uint8_t* data, size_t size) {
    if (!isPnm(data, size)) return false;
    const PnmHeader h = pnmHeader(data, size);
    if (!h.complete) {
        // Cut off inside the header, or not a header stb_image will take.
        size_t at = 2;
        int64_t ignored = 0;
        while (pnmNumber(data, size, at, ignored)) {}
        return at >= size;
    }
    if (h.width > kMaxImageSide || h.height > kMaxImageSide) return false;
    const int64_t sampleBytes = h.maxValue > 255 ? 2 : 1;
    return static_cast<int64_t>(size) < h.dataStart + h.width * h.height * h.channels * sampleBytes;
}

// stb_image hands PNM samples over as stored: 16-bit samples in the
// file's big-endian order, and samples of any maximum value unscaled.
// This brings them to 8 bits on the full 0-255 scale, in place.
void scalePnmSamples(uint8_t* samples, size_t count, int64_t maxValue, bool wide) {
    for (size_t i = 0; i < count; ++i) {
        const int64_t v = wide ? samples[2 * i] * 256 + samples[2 * i + 1] : samples[i];
        const int64_t scaled = (v * 255 + maxValue / 2) / maxValue;
        samples[i] = static_cast<uint8_t>(scaled > 255 ? 255 : scaled);
    }
}

std::string stbFailure() {
    const char* reason = stbi_failure_reason();
    const std::string text = reason != nullptr ? reason : "";
    if (text == "unknown image type") {
        return "unsupported file type (not a BMP, PNG, JPEG, PPM or PGM image)";
    }
    if (text == "too large") {
        return "image too large (more than " + std::to_string(kMaxImageSide) + " pixels a side)";
    }
    return text.empty() ? "corrupt or truncated image" : "corrupt or truncated image (" + text + ")";
}

bool isPng(const uint8_t* data, size_t size) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return size >= 8 && std::memcmp(data, kSignature, 8) == 0;
}

// A JPEG file starts with its SOI marker, no fill bytes before it.
bool isJpeg(const uint8_t* data, size_t size) { return size >= 2 && data[0] == 0xFF && data[1] == 0xD8; }

// A 24-bit BMP of plain rows right behind the 40-byte header, as cameras
// and most programs write it: what stb_image makes of it is the file's
// rows as they stand, without their padding.
bool isPlainBmp(const uint8_t* data, size_t size, BmpLayout& layout) {
    return readBmpLayout(data, size, size, kMaxImageSide, layout) &&
           layout.pixelOffset == kBmpFileHeaderSize + kFrameHeaderSize;
}

// BMP and PNM through stb_image, which is asked the size of the picture
// from its header before it decodes a pixel.
bool readWithStb(const uint8_t* data, size_t size, int64_t maxPixels, ImageFrame& frame, std::string& error) {
    // stb_image reads the header numbers into an int without a bound (a
    // long one overflows) and takes a header without numbers as width 0,
    // so only a header of sound numbers goes to it.
    const PnmHeader pnm = pnmHeader(data, size);
    if (pnm.complete && pnm.maxValue < 1) {
        error = "corrupt image (PNM maximum value 0)";
        return false;
    }
    if (isPnm(data, size) && (!pnm.complete || pnm.maxValue > 65535)) {
        error = "corrupt image (PNM header)";
        return false;
    }
    if (pnm.complete && !pictureSizeAllowed(pnm.width, pnm.height, maxPixels, error)) return false;
    int width = 0;
    int height = 0;
    int channels = 0;
    // A top-down BMP gives its height negative.
    if (stbi_info_from_memory(data, static_cast<int>(size), &width, &height, &channels) &&
        !pictureSizeAllowed(width, height < 0 ? -static_cast<int64_t>(height) : height, maxPixels, error)) {
        return false;
    }
    const BmpHeader bmp = bmpHeader(data, size);
    if (bmp.known && !bmpDepthKnown(bmp.bits)) {
        error = "corrupt image (BMP of " + std::to_string(bmp.bits) + " bits a pixel)";
        return false;
    }
    if (bmpTruncated(data, size) || pnmTruncated(data, size)) {
        error = "truncated image file";
        return false;
    }
    if (!bmpIndicesInPalette(data, size, bmp)) {
        error = "corrupt image (BMP pixels beyond the palette)";
        return false;
    }
    // A plain BMP's rows go straight into the frame, without stb_image's
    // buffer.
    BmpLayout plain;
    if (isPlainBmp(data, size, plain)) {
        if (!pictureSizeAllowed(plain.width, plain.height, maxPixels, error)) return false;
        startFrame(frame, plain.width, plain.height);
        // Without the file's row padding: the frame's stays 0.
        copyBmpRows(data, plain, frame.rows(), static_cast<size_t>(frame.stride),
                    static_cast<size_t>(plain.width) * 3);
        return true;
    }
    // The file's own channels, converted here: stb_image's conversion of a
    // 16-bit grey PNM to three channels reads past its buffer.
    const bool widePnm = pnm.complete && pnm.maxValue > 255;
    std::unique_ptr<stbi_uc, StbFree> decoded(
        widePnm ? reinterpret_cast<stbi_uc*>(stbi_load_16_from_memory(
                      data, static_cast<int>(size), &width, &height, &channels, 0))
                : stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 0));
    if (!decoded) {
        error = stbFailure();
        return false;
    }
    if (!pictureSizeAllowed(width, height, maxPixels, error)) return false;
    if (channels < 1 || channels > 4) {
        error = "corrupt image (" + std::to_string(channels) + " channels)";
        return false;
    }
    if (pnm.complete && pnm.maxValue != 255) {
        scalePnmSamples(decoded.get(),
                        static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(channels),
                        pnm.maxValue, widePnm);
    }
    startFrame(frame, width, height);
    fillFrame(decoded.get(), channels, frame);
    return true;
}

}  // namespace

bool pictureSizeAllowed(int64_t width, int64_t height, int64_t maxPixels, std::string& error) {
    if (width <= 0 || height <= 0) {
        error = "corrupt image (size " + std::to_string(width) + " x " + std::to_string(height) + ")";
        return false;
    }
    if (width > kMaxImageSide || height > kMaxImageSide || width * height > maxPixels) {
        error = "image too large (" + std::to_string(width) + " x " + std::to_string(height) + "; at most " +
                std::to_string(maxPixels) + " pixels, " + std::to_string(kMaxImageSide) + " a side)";
        return false;
    }
    return true;
}

void startFrame(ImageFrame& frame, int width, int height) {
    frame.width = width;
    frame.height = height;
    frame.stride = static_cast<int32_t>(frameStride(width));
    startPackedFrame(frame.packed, width, height);
}

void fillFrame(const uint8_t* rows, int channels, ImageFrame& frame) {
    const bool grey = channels < 3;
    const size_t rowBytes = static_cast<size_t>(frame.width) * static_cast<size_t>(channels);
    for (int y = 0; y < frame.height; ++y) {
        // Picture row y (from the top) is buffer row height - 1 - y.
        const uint8_t* in = rows + static_cast<size_t>(y) * rowBytes;
        uint8_t* out = frame.rows() + static_cast<size_t>(frame.height - 1 - y) * static_cast<size_t>(frame.stride);
        for (int x = 0; x < frame.width; ++x, in += channels, out += 3) {
            out[0] = in[grey ? 0 : 2];
            out[1] = in[grey ? 0 : 1];
            out[2] = in[0];
        }
    }
}

bool decodeImageFrame(const uint8_t* data, size_t size, ImageFrame& frame, std::string& error,
                      long long maxPixels) {
    if (size == 0) {
        error = "empty file";
        return false;
    }
    if (size > static_cast<size_t>(INT32_MAX)) {
        error = "file too large";
        return false;
    }
    if (isPng(data, size)) return readPng(data, size, maxPixels, frame, error);
    if (isJpeg(data, size)) return readJpeg(data, size, maxPixels, frame, error);
    return readWithStb(data, size, maxPixels, frame, error);
}

namespace {

std::string withReason(const char* what, int errorNumber) {
    return std::string(what) + " (" + std::strerror(errorNumber) + ")";
}

// The bytes of a picture file: a regular file is mapped read-only, so
// that the decoders read the file cache's pages without a copy; a pipe, or
// a file that cannot be mapped, is read into memory. (A mapped file that
// another program cuts short while it is read ends the process.)
class PictureBytes {
public:
    PictureBytes() = default;
    PictureBytes(const PictureBytes&) = delete;
    PictureBytes& operator=(const PictureBytes&) = delete;
    ~PictureBytes() {
        if (mapped_ != nullptr) munmap(mapped_, mappedSize_);
    }

    const uint8_t* data() const { return mapped_ != nullptr ? static_cast<const uint8_t*>(mapped_) : read_.data(); }
    size_t size() const { return mapped_ != nullptr ? mappedSize_ : read_.size(); }

    bool map(int fd, size_t size) {
        void* at = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (at == MAP_FAILED) return false;
        mapped_ = at;
        mappedSize_ = size;
        return true;
    }

    // Reads to the end of the file, but no more than one byte beyond
    // `limit`: a longer file is then seen to be too long.
    bool read(int fd, size_t capacity, size_t limit, std::string& error) {
        size_t used = 0;
        for (;;) {
            read_.resize(capacity < limit ? capacity : limit + 1);
            const ssize_t got = ::read(fd, read_.data() + used, read_.size() - used);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                error = withReason("cannot read file", errno);
                return false;
            }
            used += static_cast<size_t>(got);
            if (got == 0 || used > limit) break;
            if (used == read_.size()) capacity = 2 * used;
        }
        read_.resize(used);
        return true;
    }

private:
    void* mapped_ = nullptr;
    size_t mappedSize_ = 0;
    std::vector<uint8_t> read_;
};

struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0) close(fd);
    }
};

// A directory or a device is no picture: reading one would fail midway or
// never end (/dev/zero), so only files and pipes are read, and no more
// bytes than a picture may have.
bool readPictureFile(const std::string& path, PictureBytes& bytes, std::string& error) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status)) {
        error = "is a directory";
        return false;
    }
    if (!ec && !std::filesystem::is_regular_file(status) && !std::filesystem::is_fifo(status)) {
        error = "not a regular file";
        return false;
    }
    FileDescriptor file;
    file.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat opened {};
    if (file.fd < 0 || fstat(file.fd, &opened) != 0) {
        error = withReason("cannot open file", errno);
        return false;
    }
    // A file of known size is mapped, or read at once; a pipe (or a file
    // that reports no size) by growing reads.
    constexpr size_t kLimit = static_cast<size_t>(INT32_MAX);
    size_t capacity = size_t(1) << 16;
    if (S_ISREG(opened.st_mode)) {
        if (static_cast<uint64_t>(opened.st_size) > kLimit) {
            error = "file too large";
            return false;
        }
        // Files that report no size (those in /proc) are read.
        const auto fileSize = static_cast<size_t>(opened.st_size);
        if (fileSize > 0) {
            if (bytes.map(file.fd, fileSize)) return true;
            capacity = fileSize + 1;
        }
    }
    return bytes.read(file.fd, capacity, kLimit, error);
}

}  // namespace

bool loadImageFrame(const std::string& path, ImageFrame& frame, std::string& error) {
    PictureBytes bytes;
    if (!readPictureFile(path, bytes, error)) return false;
    return decodeImageFrame(bytes.data(), bytes.size(), frame, error);
}
