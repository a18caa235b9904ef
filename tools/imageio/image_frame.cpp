#include "tools/imageio/image_frame.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "frame/packed_frame.h"

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

// stb_image reads past the end of a BMP or PNM file as zeros rather than
// failing, so a cut-off file would pass as an image with a black band.
// These two compute the size that the header promises.
bool bmpTruncated(const uint8_t* data, size_t size) {
    if (size < 2 || data[0] != 'B' || data[1] != 'M') return false;
    if (size < 18) return true;
    const uint32_t headerSize = littleEndian(data + 14, 4);
    if (size < 14 + static_cast<size_t>(headerSize < 40 ? headerSize : 40)) return true;
    // stb_image knows the 12-byte core header and those of 40 bytes and
    // more; it refuses any other, and only these have the fields read here.
    if (headerSize != 12 && headerSize < 40) return false;
    int64_t width = 0;
    int64_t height = 0;
    uint32_t bits = 0;
    uint32_t compression = 0;
    if (headerSize == 12) {  // OS/2 core header: 16-bit sizes, never compressed
        width = littleEndian(data + 18, 2);
        height = littleEndian(data + 20, 2);
        bits = littleEndian(data + 24, 2);
    } else {
        width = static_cast<int32_t>(littleEndian(data + 18, 4));
        height = static_cast<int32_t>(littleEndian(data + 22, 4));
        bits = littleEndian(data + 28, 2);
        compression = littleEndian(data + 30, 4);
    }
    // stb_image refuses run-length (1, 2) and embedded JPEG or PNG data (4
    // and up) and reads every other value, negative ones too, as plain rows.
    const int32_t mode = static_cast<int32_t>(compression);
    if (mode == 1 || mode == 2 || mode >= 4) return false;
    if (width <= 0 || width > kMaxImageSide || bits == 0 || bits > 32) return false;
    const int64_t rows = height < 0 ? -height : height;
    const int64_t rowBytes = (width * bits + 31) / 32 * 4;
    const int64_t pixelStart = littleEndian(data + 10, 4);
    return static_cast<int64_t>(size) < pixelStart + rowBytes * rows;
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

uint32_t bigEndian16(const uint8_t* at) { return static_cast<uint32_t>(at[0] << 8 | at[1]); }

// A DHT segment holds tables of 16 code counts and then the symbols; stb_image
// stores at most 256 symbols per table and does not check the counts, so
// a table that declares more would be written past its arrays. stb reads
// a table's counts even where they run past the segment's end (from the
// bytes that follow) or past the file's end (as zeros), so they are summed
// here in the same way.
bool huffmanSegmentSound(const uint8_t* file, size_t fileSize, size_t body, size_t length) {
    size_t at = 0;
    while (at < length) {
        uint32_t symbols = 0;
        for (size_t i = 1; i <= 16; ++i) {
            const size_t count = body + at + i;
            symbols += count < fileSize ? file[count] : 0;
        }
        if (symbols > 256) return false;
        at += 17 + symbols;
    }
    return true;
}

// Walks the marker segments of a JPEG file (ISO/IEC 10918-1, B.1) and
// checks every Huffman table; entropy-coded data is skipped up to the
// next marker.
bool jpegTablesSound(const uint8_t* data, size_t size) {
    // stb_image, like the standard (B.1.1.2), takes fill bytes 0xFF before
    // any marker, the first SOI too.
    if (size < 2 || data[0] != 0xFF) return true;
    size_t at = 1;
    while (at < size && data[at] == 0xFF) ++at;
    if (at >= size || data[at] != 0xD8) return true;
    ++at;
    while (at + 1 < size) {
        if (data[at] != 0xFF) {  // entropy-coded data
            ++at;
            continue;
        }
        const uint8_t marker = data[at + 1];
        // Stuffed zero, fill byte, restart markers and other segments
        // without a length.
        if (marker == 0x00 || marker == 0xFF || (marker >= 0xD0 && marker <= 0xD8) || marker == 0x01) {
            at += marker == 0xFF ? 1 : 2;
            continue;
        }
        if (marker == 0xD9 || at + 4 > size) return true;
        const size_t length = bigEndian16(data + at + 2);
        if (length < 2) return true;
        const size_t body = at + 4;
        if (marker == 0xC4 && !huffmanSegmentSound(data, size, body, length - 2)) return false;
        at = body + (length - 2);
    }
    return true;
}

uint32_t bigEndian32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) << 24 | static_cast<uint32_t>(at[1]) << 16 |
           static_cast<uint32_t>(at[2]) << 8 | at[3];
}

enum class PngChunks { Sound, EmptyFirstData, CutOff };

// Walks a PNG's chunks (length, type, data, CRC) up to IEND. stb_image
// sizes its compressed-data buffer from the declared IDAT lengths before
// it reads them, so a chunk that claims more than the file holds is
// refused as cut off (a 99-byte file asked for 2 GB). It also keeps no
// buffer until an IDAT brings bytes, and copies an empty first IDAT into
// the missing one (a memcpy to a null pointer, undefined even for no
// bytes); no encoder writes such a chunk.
PngChunks pngChunks(const uint8_t* data, size_t size) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < 8 || std::memcmp(data, kSignature, 8) != 0) return PngChunks::Sound;
    size_t at = 8;
    bool dataSeen = false;
    while (size - at >= 8) {
        const uint32_t length = bigEndian32(data + at);
        const uint8_t* type = data + at + 4;
        if (length > size - at - 8) return PngChunks::CutOff;
        if (std::memcmp(type, "IEND", 4) == 0) return PngChunks::Sound;
        if (std::memcmp(type, "IDAT", 4) == 0) {
            if (length == 0 && !dataSeen) return PngChunks::EmptyFirstData;
            dataSeen = dataSeen || length > 0;
        }
        at += 8 + static_cast<size_t>(length);
        if (size - at < 4) return PngChunks::CutOff;
        at += 4;
    }
    return PngChunks::Sound;
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

}  // namespace

bool decodeImageFrame(const uint8_t* data, size_t size, ImageFrame& frame, std::string& error) {
    if (size == 0) {
        error = "empty file";
        return false;
    }
    if (size > static_cast<size_t>(INT32_MAX)) {
        error = "file too large";
        return false;
    }
    if (bmpTruncated(data, size) || pnmTruncated(data, size)) {
        error = "truncated image file";
        return false;
    }
    if (!jpegTablesSound(data, size)) {
        error = "corrupt image (bad Huffman table)";
        return false;
    }
    const PngChunks png = pngChunks(data, size);
    if (png == PngChunks::CutOff) {
        error = "corrupt or truncated image (a PNG chunk runs past the end of the file)";
        return false;
    }
    if (png == PngChunks::EmptyFirstData) {
        error = "corrupt image (empty first PNG data chunk)";
        return false;
    }
    int width = 0;
    int height = 0;
    int channels = 0;
    // The file's own channels, converted here: stb_image's conversion of a
    // 16-bit grey PNM to three channels reads past its buffer.
    const PnmHeader pnm = pnmHeader(data, size);
    if (pnm.complete && pnm.maxValue < 1) {
        error = "corrupt image (PNM maximum value 0)";
        return false;
    }
    // stb_image reads the header numbers into an int without a bound (a
    // long one overflows) and takes a header without numbers as width 0,
    // so only a header of sound numbers goes to it.
    if (isPnm(data, size) && (!pnm.complete || pnm.maxValue > 65535)) {
        error = "corrupt image (PNM header)";
        return false;
    }
    if (pnm.complete && (pnm.width > kMaxImageSide || pnm.height > kMaxImageSide)) {
        error = "image too large (more than " + std::to_string(kMaxImageSide) + " pixels a side)";
        return false;
    }
    const bool widePnm = pnm.complete && pnm.maxValue > 255;
    std::unique_ptr<stbi_uc, StbFree> decoded(
        widePnm ? reinterpret_cast<stbi_uc*>(stbi_load_16_from_memory(
                      data, static_cast<int>(size), &width, &height, &channels, 0))
                : stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 0));
    if (!decoded) {
        error = stbFailure();
        return false;
    }
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide ||
        channels < 1 || channels > 4) {
        error = "image size out of range";
        return false;
    }
    if (pnm.complete && pnm.maxValue != 255) {
        scalePnmSamples(decoded.get(),
                        static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(channels),
                        pnm.maxValue, widePnm);
    }
    frame.width = width;
    frame.height = height;
    frame.stride = static_cast<int32_t>(frameStride(width));
    frame.pixels.assign(static_cast<size_t>(frame.stride) * static_cast<size_t>(height), 0);
    // Grey (with or without alpha) is widened; alpha is dropped.
    const bool grey = channels < 3;
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(channels);
    for (int y = 0; y < height; ++y) {
        // Picture row y (from the top) is buffer row height - 1 - y.
        const stbi_uc* in = decoded.get() + static_cast<size_t>(y) * rowBytes;
        uint8_t* out = frame.pixels.data() +
                       static_cast<size_t>(height - 1 - y) * static_cast<size_t>(frame.stride);
        for (int x = 0; x < width; ++x, in += channels, out += 3) {
            out[0] = in[grey ? 0 : 2];
            out[1] = in[grey ? 0 : 1];
            out[2] = in[0];
        }
    }
    return true;
}

bool loadImageFrame(const std::string& path, ImageFrame& frame, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open file";
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    if (file.bad()) {
        error = "cannot read file";
        return false;
    }
    return decodeImageFrame(bytes.data(), bytes.size(), frame, error);
}

std::vector<uint8_t> packFrame(const ImageFrame& frame) {
    return packRows(frame.pixels.data(), frame.width, frame.height, frame.stride);
}
