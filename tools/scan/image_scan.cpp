#include "tools/scan/image_scan.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "recognition/recognition.h"
#include "shell/frame_exchange.h"
#include "tools/imageio/image_frame.h"
#include "tools/scan/json_text.h"
#include "tools/scan/scan_output.h"

namespace {

// What the cycle hands to the results window: the scanner keeps the last
// line and shows it itself.
std::string resultLine;

int catchResultLine(const char* line) {
    resultLine = line;
    return 0;
}

void noResultsBox(int) {}

constexpr ResultsRoutines kScannerResults = {catchResultLine, noResultsBox};

struct FrameOutcome {
    ScanResult result;
    int kind = -1;       // attempt kind that decoded
    int cycles = 0;
    double ms = 0;       // the cycles only
    std::string line;    // the last cycle's result line
};

// One cycle on the frame that waits in the exchange, as the recognition
// thread runs it when it sees frameReady. The attempts record where a
// decode came from; clearing that record first tells a decode in this
// cycle from an earlier one, since LastDecodedText outlives failures.
bool runCycle(std::string& line) {
    LastDecodeOrigin.kind = -1;
    resultLine.clear();
    frameExchange.frameReady.store(1, std::memory_order_release);
    RecognitionCycle();
    line = resultLine;
    return LastDecodeOrigin.kind >= 0;
}

// The packed image stays where it is for the whole scan of the frame: the
// exchange lends the cycle a buffer of exactly its size.
FrameOutcome recognise(const ImageFrame& image, std::vector<uint8_t>& packed, bool oneCycle) {
    frameExchange.frameBuffer = packed.data();
    frameExchange.frameBufferSize = packed.size();
    frameExchange.videoWidth = image.width;
    frameExchange.videoHeight = image.height;

    FrameOutcome out;
    const auto start = std::chrono::steady_clock::now();
    bool decoded = runCycle(out.line);
    out.cycles = 1;
    if (!decoded && !oneCycle) {
        // The failed cycle switched to the other pair of attempt kinds.
        decoded = runCycle(out.line);
        out.cycles = 2;
    }
    out.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    frameExchange.frameBuffer = nullptr;
    frameExchange.frameBufferSize = 0;

    out.result.decoded = decoded;
    if (decoded) {
        out.result.text = LastDecodedText;
        out.result.mode = LastEncodationMode;
        out.result.rows = LastDecodeOrigin.rows;
        out.result.cols = LastDecodeOrigin.cols;
        out.kind = LastDecodeOrigin.kind;
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
           ",\"mode\":" + (r.decoded ? jsonLatin1(modeName(r.mode)) : "null") +
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

bool loadScanFrame(const std::string& file, std::vector<uint8_t>& packed, ImageFrame& image,
                   std::string& error) {
    if (!loadImageFrame(file, image, error)) return false;
    if (static_cast<long long>(image.width) * image.height > kMaxScanPixels) {
        error = "image too large (" + std::to_string(image.width) + " x " +
                std::to_string(image.height) + "; at most " + std::to_string(kMaxScanPixels) +
                " pixels)";
        return false;
    }
    packed = packFrame(image);
    // Only the size is needed from here on; the packed copy has the pixels.
    std::vector<uint8_t>().swap(image.pixels);
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
    setResultsRoutines(&kScannerResults);
    frameExchange.grabEnabled.store(1, std::memory_order_release);

    bool allDecoded = true;
    bool failed = false;
    for (const std::string& file : files) {
        ImageFrame image;
        std::vector<uint8_t> packed;
        std::string error;
        if (!loadScanFrame(file, packed, image, error)) {
            std::cerr << "tessaread-scan: " << file << ": " << error << std::endl;
            if (options.json) std::cout << jsonFileError(file, error) << std::endl;
            failed = true;
            continue;
        }
        const FrameOutcome o = recognise(image, packed, options.cycle);
        allDecoded = allDecoded && o.result.decoded;
        printOutcome(file, o, options);
    }

    setResultsRoutines(nullptr);
    if (failed) return 2;
    return allDecoded ? 0 : 1;
}
