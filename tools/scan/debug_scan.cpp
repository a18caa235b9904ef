#include "tools/scan/debug_scan.h"

#include <filesystem>
#include <iostream>

#include "recognition/picture_reading.h"
#include "tools/imageio/image_frame.h"
#include "tools/scan/image_scan.h"
#include "tools/scan/json_text.h"
#include "tools/scan/scan_output.h"

namespace fs = std::filesystem;

static constexpr DetectFlags kDebugFlags = DETECT_LOG | DETECT_WRITE_GRID | DETECT_WRITE_IMAGE;

struct KindOutcome {
    int detected = 0;  // detect's result: 1, 0 or -1
    ScanResult result;
};

// One attempt of the kind on the picture, its debug files written into
// `folder`.
static KindOutcome runKind(const ImageFrame& frame, int kind, const std::string& folder) {
    AttemptSettings settings;
    settings.kind = kind;
    settings.extraFlags = kDebugFlags;
    settings.debugFolder = folder.c_str();
    const AttemptReading attempt = readPictureOnce(frame.view(), settings);

    KindOutcome out;
    out.detected = attempt.detected;
    const PictureReading& r = attempt.reading;
    if (out.detected != 1 || r.status < 0) return out;
    out.result.rows = r.rows;
    out.result.cols = r.cols;
    out.result.status = r.status;
    out.result.decoded = r.decoded;
    if (r.decoded) {
        out.result.text = r.bytes;
        out.result.mode = r.mode;
        out.result.corrected = r.corrected;
    }
    return out;
}

static void printKind(int kind, const KindOutcome& k, const std::string& image, bool json) {
    std::string label = "kind" + std::to_string(kind);
    if (!json) {
        std::cout << plainLine(label, k.result) << '\n';
        return;
    }
    std::string members = "\"file\":" + jsonFileName(image) + ",\"kind\":" +
                          std::to_string(kind) + ",\"detected\":" +
                          (k.detected == 1 ? "true" : "false") + ",";
    std::cout << jsonLine(members, k.result) << '\n';
}

int runDebugScan(const std::string& dir, const std::string& imagePath, bool json) {
    ImageFrame frame;
    std::string error;
    if (!loadImageFrame(imagePath, frame, error)) {
        std::cerr << "tessaread-scan: " << imagePath << ": " << error << '\n';
        return 2;
    }
    if (static_cast<long long>(frame.width) * frame.height > kMaxScanPixels) {
        std::cerr << "tessaread-scan: " << imagePath << ": image too large (at most "
                  << kMaxScanPixels << " pixels)\n";
        return 2;
    }
    std::error_code ec;
    fs::path root = fs::absolute(dir, ec);
    if (ec) {
        std::cerr << "tessaread-scan: " << dir << ": " << ec.message() << '\n';
        return 2;
    }
    bool anyDecoded = false;
    bool ioError = false;
    for (int kind = 0; kind < 4; ++kind) {
        fs::path kindDir = root / ("kind" + std::to_string(kind));
        KindOutcome k;
        fs::create_directories(kindDir, ec);
        if (ec) {
            std::cerr << "tessaread-scan: " << kindDir.string() << ": cannot create: " << ec.message() << '\n';
            return 2;
        }
        k = runKind(frame, kind, kindDir.string());
        if (k.detected < 0) {
            std::cerr << "tessaread-scan: " << kindDir.string() << ": cannot write r.log\n";
            ioError = true;
        }
        anyDecoded = anyDecoded || k.result.decoded;
        printKind(kind, k, imagePath, json);
    }
    if (ioError) return 2;
    return anyDecoded ? 0 : 1;
}
