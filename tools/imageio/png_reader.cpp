#include <memory>
#include <vector>

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

}  // namespace

bool readPng(const uint8_t* data, size_t size, ImageFrame& frame, std::string& error) {
    std::unique_ptr<spng_ctx, SpngFree> ctx(spng_ctx_new(0));
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
    if (!pictureSizeAllowed(header.width, header.height, error)) return false;
    // Every colour type and depth as 8-bit RGB: alpha and transparency are
    // left out and no gamma is applied, so the colours are the file's own;
    // 16-bit samples keep their high byte.
    size_t bytes = 0;
    if (failed(spng_decoded_image_size(ctx.get(), SPNG_FMT_RGB8, &bytes), error)) return false;
    std::vector<uint8_t> rows(bytes);
    if (failed(spng_decode_image(ctx.get(), rows.data(), rows.size(), SPNG_FMT_RGB8, 0), error)) {
        return false;
    }
    startFrame(frame, static_cast<int>(header.width), static_cast<int>(header.height));
    fillFrame(rows.data(), 3, frame);
    return true;
}
