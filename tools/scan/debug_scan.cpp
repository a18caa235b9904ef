#include "tools/scan/debug_scan.h"

#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "detect/recognizer.h"
#include "tools/imageio/image_frame.h"
#include "tools/scan/image_scan.h"
#include "tools/scan/json_text.h"
#include "tools/scan/scan_output.h"

namespace fs = std::filesystem;

// The recognition attempt's four detector settings, by kind.
static constexpr DetectFlags kKindFlags[4] = {
    DETECT_HIST_VALLEY | DETECT_PAINT_LINES,
    DETECT_HIST_VALLEY_DARKER | DETECT_PAINT_LINES,
    DETECT_MEAN_LOWERED | DETECT_PAINT_LINES,
    DETECT_MEAN_RAISED | DETECT_PAINT_LINES,
};

static constexpr DetectFlags kDebugFlags = DETECT_LOG | DETECT_WRITE_GRID | DETECT_WRITE_IMAGE;

// The detector writes its files into the current directory; this puts it
// back whatever happens in between.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const fs::path& dir, std::error_code& ec)
        : saved_(fs::current_path(ec)) {
        if (!ec) fs::current_path(dir, ec);
        entered_ = !ec;
    }
    ~WorkingDirectory() {
        std::error_code ignored;
        if (entered_) fs::current_path(saved_, ignored);
    }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    fs::path saved_;
    bool entered_ = false;
};

struct KindOutcome {
    int detected = 0;  // detect's result: 1, 0 or -1
    ScanResult result;
};

static KindOutcome runKind(const ImageFrame& frame, DetectFlags flags) {
    KindOutcome out;
    auto recognizer = std::make_unique<Recognizer>();
    recognizer->width = frame.width;
    recognizer->stride = frame.stride;
    recognizer->height = frame.height;
    // A fresh copy per kind: detection binarises and paints its image.
    recognizer->pixels = new uint8_t[frame.pixels.size()];
    std::memcpy(recognizer->pixels, frame.pixels.data(), frame.pixels.size());
    recognizer->ownsPixels = 1;
    out.detected = recognizer->detect(210, "out0.bmp", "outt.txt", flags | kDebugFlags);
    if (out.detected != 1) return out;
    int rows = recognizer->gridRows;
    int cols = recognizer->gridCols;
    if (rows < 0 || cols < 0 || rows > kGridCapacity || cols > kGridCapacity) return out;
    std::vector<uint8_t> cells(static_cast<size_t>(rows) * static_cast<size_t>(cols));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            cells[static_cast<size_t>(r) * cols + c] = static_cast<uint8_t>(recognizer->grid[r][c] & 0xFF);
        }
    }
    out.result = decodeCells(rows, cols, cells.data());
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
        {
            WorkingDirectory here(kindDir, ec);
            if (ec) {
                std::cerr << "tessaread-scan: " << kindDir.string() << ": cannot enter: " << ec.message() << '\n';
                return 2;
            }
            k = runKind(frame, kKindFlags[kind]);
        }
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
