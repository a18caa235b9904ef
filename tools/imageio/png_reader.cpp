#include <memory>
#include <utility>

#include <spng.h>

#include "tools/imageio/picture_readers.h"

namespace {

struct SpngFree {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

bool failed(int status, std::string& error) {
    if (status == SPNG_OK) return false;
    error = std::string("corrupt or truncated image (") + spng_strerror(status) + ")";
    return true;
}

void redBlueSwapped(uint8_t* row, int width) {
    for (int x = 0; x < width; ++x, row += 3) std::swap(row[0], row[2]);
}

uint8_t* frameRow(ImageFrame& frame, uint32_t pictureRow) {
    return frame.rows() + static_cast<size_t>(frame.height - 1 - static_cast<int>(pictureRow)) *
                                     static_cast<size_t>(frame.stride);
}

}  // namespace

bool readPng(const uint8_t* data, size_t size, int64_t maxPixels, ImageFrame& frame, std::string& error) {
    // Every chunk's CRC already covers the compressed data; zlib's own
    // checksum over the inflated rows would only cost time.
    std::unique_ptr<spng_ctx, SpngFree> ctx(spng_ctx_new(SPNG_CTX_IGNORE_ADLER32));
    if (!ctx) {
        error = "out of memory";
        return false;
    }
    // Text, profile and other side chunks are kept by libspng until the
    // context goes; none may be larger than the file itself.
    spng_set_chunk_limits(ctx.get(), size, size);
    spng_ihdr header{};
    if (failed(spng_set_png_buffer(ctx.get(), data, size), error) ||
        failed(spng_get_ihdr(ctx.get(), &header), error)) {
        return false;
    }
    if (!pictureSizeAllowed(header.width, header.height, maxPixels, error)) return false;
    // Every colour type and depth as 8-bit RGB: alpha and transparency are
    // left out and no gamma is applied, so the colours are the file's own;
    // 16-bit samples keep their high byte. The rows are decoded straight
    // into the frame (an interlaced picture comes back to a row several
    // times, so its colours are put in frame order at the end).
    if (failed(spng_decode_image(ctx.get(), nullptr, 0, SPNG_FMT_RGB8, SPNG_DECODE_PROGRESSIVE), error)) {
        return false;
    }
    const int width = static_cast<int>(header.width);
    startFrame(frame, width, static_cast<int>(header.height));
    const bool interlaced = header.interlace_method != SPNG_INTERLACE_NONE;
    int status = SPNG_OK;
    while (status == SPNG_OK) {
        spng_row_info row{};
        if (failed(spng_get_row_info(ctx.get(), &row), error)) return false;
        uint8_t* out = frameRow(frame, row.row_num);
        status = spng_decode_row(ctx.get(), out, static_cast<size_t>(width) * 3);
        if (!interlaced) redBlueSwapped(out, width);
    }
    if (status != SPNG_EOI) return !failed(status, error);
    if (interlaced) {
        for (uint32_t y = 0; y < header.height; ++y) redBlueSwapped(frameRow(frame, y), width);
    }
    return true;
}
