#include "tools/scan/image_scan.h"

#include <cstdio>
#include <iostream>

#include "recognition/picture_reading.h"
#include "recognition/recognition.h"
#include "tools/imageio/image_frame.h"
#include "tools/scan/json_text.h"
#include "tools/scan/scan_output.h"

namespace {

struct FrameOutcome {
    ScanResult result;
    int kind = -1;       // attempt kind that decoded
    int cycles = 0;
    double ms = 0;       // the cycles only
    std::string line;    // the last cycle's result line
};

FrameOutcome recognise(const ImageFrame& image, bool oneCycle) {
    const PictureReading reading =
        readPackedPicture(image.packedPicture(), oneCycle ? CycleRun::Stream : CycleRun::BothPairs);

    FrameOutcome out;
    out.cycles = reading.cycles;
    out.ms = reading.ms;
    out.line = reading.line;
    out.result.decoded = reading.decoded;
    if (reading.decoded) {
        out.result.text = reading.bytes;
        out.result.mode = reading.mode;
        out.result.rows = reading.rows;
        out.result.cols = reading.cols;
        out.kind = reading.kind;
    }
    return out;
}

std::string jsonNumberOrNull(bool present, long long value) {
    return present ? std::to_string(value) : "null";
}

std::string jsonFrameLine(const std::string& file, const FrameOutcome& o) {
    const ScanResult& r = o.result;
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.3f", o.ms);
    return "{\"file\":" + jsonFileName(file) + ",\"decoded\":" + (r.decoded ? "true" : "false") +
           ",\"text\":" + jsonLatin1(r.text) +
           ",\"mode\":" + (r.decoded ? jsonLatin1(encodationModeName(r.mode)) : "null") +
           ",\"mode_code\":" + jsonNumberOrNull(r.decoded, r.mode) +
           ",\"rows\":" + jsonNumberOrNull(r.decoded, r.rows) +
           ",\"cols\":" + jsonNumberOrNull(r.decoded, r.cols) +
           ",\"kind\":" + jsonNumberOrNull(r.decoded, o.kind) + ",\"cycles\":" + std::to_string(o.cycles) +
           ",\"ms\":" + ms + ",\"line\":" + jsonLatin1(o.line) + "}";
}

std::string jsonFileError(const std::string& file, const std::string& message) {
    return "{\"file\":" + jsonFileName(file) +
           ",\"decoded\":false,\"text\":\"\",\"mode\":null,\"mode_code\":null,\"rows\":null,"
           "\"cols\":null,\"kind\":null,\"cycles\":0,\"ms\":null,\"line\":null,\"error\":" +
           jsonLatin1(message) + "}";
}

bool loadScanFrame(const std::string& file, ImageFrame& image, std::string& error) {
    if (!loadImageFrame(file, image, error)) return false;
    if (static_cast<long long>(image.width) * image.height > kMaxScanPixels) {
        error = "image too large (" + std::to_string(image.width) + " x " +
                std::to_string(image.height) + "; at most " + std::to_string(kMaxScanPixels) +
                " pixels)";
        return false;
    }
    return true;
}

void printOutcome(const std::string& file, const FrameOutcome& o, const ImageScanOptions& options) {
    if (options.json) {
        std::cout << jsonFrameLine(file, o) << '\n';
    } else if (options.cycle) {
        std::cout << visibleText(o.line) << '\n';
    } else {
        std::cout << plainLine(file, o.result) << '\n';
    }
    // Lines appear as the frames are done, also when piped.
    std::cout.flush();
}

}  // namespace

int scanImageFiles(const std::vector<std::string>& files, const ImageScanOptions& options) {
    bool allDecoded = true;
    bool failed = false;
    for (const std::string& file : files) {
        ImageFrame image;
        std::string error;
        if (!loadScanFrame(file, image, error)) {
            std::cerr << "tessaread-scan: " << file << ": " << error << std::endl;
            if (options.json) std::cout << jsonFileError(file, error) << std::endl;
            failed = true;
            continue;
        }
        const FrameOutcome o = recognise(image, options.cycle);
        allDecoded = allDecoded && o.result.decoded;
        printOutcome(file, o, options);
    }

    if (failed) return 2;
    return allDecoded ? 0 : 1;
}
