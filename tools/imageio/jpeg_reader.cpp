#include <memory>
#include <vector>

#include <turbojpeg.h>

#include "tools/imageio/picture_readers.h"

namespace {

struct TjFree {
    void operator()(void* handle) const { tjDestroy(handle); }
};

std::string corrupt(const std::string& reason) { return "corrupt or truncated image (" + reason + ")"; }

// A file cut off inside its last scan (or between two scans) has no end
// marker after that scan's start: within entropy-coded data every 0xFF is
// followed by 0 or a restart marker, and the start markers of an embedded
// thumbnail come before the picture's own.
bool endsInsideItsScans(const uint8_t* data, size_t size) {
    bool scanOpen = false;
    for (size_t at = 0; at + 1 < size; ++at) {
        if (data[at] != 0xFF) continue;
        if (data[at + 1] == 0xDA) scanOpen = true;
        if (data[at + 1] == 0xD9) scanOpen = false;
    }
    return scanOpen;
}

// Adobe's CMYK as JPEG files carry it, 255 meaning no ink, to blue, green
// and red without colour management: each colour is its ink's share of
// what the black ink leaves.
void fillFromCmyk(const std::vector<uint8_t>& cmyk, ImageFrame& frame) {
    for (int y = 0; y < frame.height; ++y) {
        const uint8_t* in = cmyk.data() + static_cast<size_t>(y) * static_cast<size_t>(frame.width) * 4;
        uint8_t* out = frame.rows() + static_cast<size_t>(y) * static_cast<size_t>(frame.stride);
        for (int x = 0; x < frame.width; ++x, in += 4, out += 3) {
            out[0] = static_cast<uint8_t>((in[2] * in[3] + 127) / 255);
            out[1] = static_cast<uint8_t>((in[1] * in[3] + 127) / 255);
            out[2] = static_cast<uint8_t>((in[0] * in[3] + 127) / 255);
        }
    }
}

}  // namespace

bool readJpeg(const uint8_t* data, size_t size, int64_t maxPixels, ImageFrame& frame, std::string& error) {
    std::unique_ptr<void, TjFree> handle(tjInitDecompress());
    if (!handle) {
        error = "out of memory";
        return false;
    }
    void* const tj = handle.get();
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourSpace = 0;
    // The size counts, not the call's status: TurboJPEG 2.1 fills the size
    // in only from a header read whole, and then still fails on sampling
    // factors it has no name for, which its decoder takes.
    const int status = tjDecompressHeader3(tj, data, size, &width, &height, &subsampling, &colourSpace);
    if (width <= 0 || height <= 0) {
        // Without a failure or a warning the file held tables only.
        const bool failed = status != 0 || tjGetErrorCode(tj) == TJERR_WARNING;
        error = corrupt(failed ? tjGetErrorStr2(tj) : "no picture in the file");
        return false;
    }
    if (!pictureSizeAllowed(width, height, maxPixels, error)) return false;
    startFrame(frame, width, height);
    // The accurate integer IDCT and smooth upsampling, rows stored bottom
    // up as the frame holds them; a progressive file of hundreds of scans
    // (seconds of work for a few kilobytes) is refused.
    const bool cmyk = colourSpace == TJCS_CMYK || colourSpace == TJCS_YCCK;
    std::vector<uint8_t> cmykPixels(cmyk ? static_cast<size_t>(width) * static_cast<size_t>(height) * 4 : 0);
    uint8_t* const out = cmyk ? cmykPixels.data() : frame.rows();
    const int pitch = cmyk ? width * 4 : frame.stride;
    const int format = cmyk ? TJPF_CMYK : TJPF_BGR;
    const int flags = TJFLAG_ACCURATEDCT | TJFLAG_BOTTOMUP | TJFLAG_LIMITSCANS;
    // A warning alone (damaged entropy-coded data, stray bytes before a
    // marker) leaves a picture of full size with a damaged part, as any
    // viewer shows it; the symbol may lie elsewhere, so it is read. But
    // TurboJPEG 2.1 reports a fatal error that follows a warning as a
    // warning too: the first pass stops at the first warning, and the full
    // pass failed only if a fatal error replaced that warning's text.
    if (tjDecompress2(tj, data, size, out, width, pitch, height, format, flags | TJFLAG_STOPONWARNING) != 0) {
        const std::string first = tjGetErrorStr2(tj);
        if (tjGetErrorCode(tj) != TJERR_WARNING) {
            error = corrupt(first);
            return false;
        }
        // A cut-off file, like a cut-off BMP, is refused rather than read
        // with its missing rows made up.
        if (endsInsideItsScans(data, size)) {
            error = corrupt("Premature end of JPEG file");
            return false;
        }
        if (tjDecompress2(tj, data, size, out, width, pitch, height, format, flags) != 0 &&
            first != tjGetErrorStr2(tj)) {
            error = corrupt(tjGetErrorStr2(tj));
            return false;
        }
    }
    if (cmyk) fillFromCmyk(cmykPixels, frame);
    return true;
}
