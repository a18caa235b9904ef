#include "tools/testcam/pictures.h"

#include <cstring>

namespace testcam {

namespace {

constexpr int64_t kMinMilliseconds = 100;
constexpr int64_t kMaxMilliseconds = 24LL * 3600 * 1000;

uint32_t rowBytes(int32_t width, int bytesPerPixel) {
    return static_cast<uint32_t>(paddedRowBytes(width, 8 * bytesPerPixel));
}

}  // namespace

PictureChoice choosePictures(const std::vector<const BmpLayout*>& files) {
    PictureChoice choice;
    const BmpLayout* first = nullptr;
    for (size_t i = 0; i < files.size(); ++i) {
        const BmpLayout* f = files[i];
        if (f != nullptr && first == nullptr) {
            first = f;
            choice.width = f->width;
            choice.height = f->height;
        }
        if (f != nullptr && f->width == first->width && f->height == first->height) {
            choice.played.push_back(i);
        } else {
            choice.skipped.push_back(i);
        }
    }
    return choice;
}

size_t pictureAt(int64_t elapsed, int64_t perPicture, size_t count) {
    if (count == 0 || perPicture <= 0 || elapsed < 0) {
        return 0;
    }
    return static_cast<size_t>((elapsed / perPicture) % static_cast<int64_t>(count));
}

int64_t parseSecondsAsMilliseconds(const char* text) {
    if (text == nullptr || *text == '\0') {
        return kDefaultMillisecondsPerPicture;
    }
    // Digits, at most one point, more digits: no signs, exponents or
    // locale-dependent separators.
    int64_t whole = 0;
    int64_t fraction = 0;
    int64_t scale = 1000;
    bool point = false;
    bool digits = false;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '.' && !point) {
            point = true;
        } else if (*p >= '0' && *p <= '9') {
            digits = true;
            if (!point) {
                whole = whole * 10 + (*p - '0');
                if (whole > kMaxMilliseconds / 1000) {
                    return kDefaultMillisecondsPerPicture;
                }
            } else if (scale > 1) {
                scale /= 10;
                fraction += (*p - '0') * scale;
            }
        } else {
            return kDefaultMillisecondsPerPicture;
        }
    }
    const int64_t ms = whole * 1000 + fraction;
    if (!digits || ms < kMinMilliseconds || ms > kMaxMilliseconds) {
        return kDefaultMillisecondsPerPicture;
    }
    return ms;
}

uint32_t sampleBytes(int32_t width, int32_t height, int bitsPerPixel) {
    if ((bitsPerPixel != 24 && bitsPerPixel != 32) || width <= 0 || height <= 0 ||
        width > kMaxPictureSide || height > kMaxPictureSide) {
        return 0;
    }
    return rowBytes(width, bitsPerPixel / 8) * static_cast<uint32_t>(height);
}

uint32_t writeSample(const std::vector<uint8_t>& rows, int32_t width, int32_t height,
                     int bitsPerPixel, uint8_t* sample, size_t sampleSize) {
    const uint32_t bytes = sampleBytes(width, height, bitsPerPixel);
    if (bytes == 0 || sample == nullptr || sampleSize < bytes) {
        return 0;
    }
    const uint32_t inStride = rowBytes(width, 3);
    if (rows.size() != static_cast<size_t>(inStride) * static_cast<size_t>(height)) {
        std::memset(sample, kGreyLevel, bytes);
        return bytes;
    }
    if (bitsPerPixel == 24) {
        std::memcpy(sample, rows.data(), bytes);
        return bytes;
    }
    const uint32_t outStride = rowBytes(width, 4);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = &rows[static_cast<size_t>(y) * inStride];
        uint8_t* out = sample + static_cast<size_t>(y) * outStride;
        for (int32_t x = 0; x < width; ++x) {
            out[4 * x] = in[3 * x];
            out[4 * x + 1] = in[3 * x + 1];
            out[4 * x + 2] = in[3 * x + 2];
            out[4 * x + 3] = 0xFF;
        }
    }
    return bytes;
}

}  // namespace testcam
