#include "tools/scan/thorough_scan.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "frame/packed_frame.h"
#include "recognition/recognition.h"
#include "thorough/thorough_reader.h"
#include "tools/imageio/image_frame.h"
#include "tools/scan/image_scan.h"
#include "tools/scan/json_text.h"
#include "tools/scan/scan_output.h"

namespace fs = std::filesystem;

namespace {

// Numbers the prepared pictures of one file in the order they were made.
struct PictureDump {
    fs::path dir;
    int count = 0;
    bool failed = false;
};

void dumpPicture(void* context, const char* step, const Picture& picture)
{
    PictureDump& dump = *static_cast<PictureDump*>(context);
    char name[96];
    std::snprintf(name, sizeof name, "%02d-%s.bmp", ++dump.count, step);
    const fs::path path = dump.dir / name;
    if (!writeBmpFile(path.string().c_str(), picture.pixels.data(), picture.width, picture.height,
                      picture.stride)) {
        dump.failed = true;
    }
}

std::string orNull(bool present, long long value)
{
    return present ? std::to_string(value) : "null";
}

std::string jsonThoroughLine(const std::string& file, const ThoroughReading& t)
{
    const PictureReading& r = t.reading;
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.3f", r.ms);
    const bool d = r.decoded;
    return "{\"file\":" + jsonFileName(file) + ",\"decoded\":" + (d ? "true" : "false") +
           ",\"text\":" + jsonUtf8(d ? r.utf8 : "") +
           ",\"mode\":" + (d ? jsonLatin1(encodationModeName(r.mode)) : "null") +
           ",\"mode_code\":" + orNull(d, r.mode) + ",\"rows\":" + orNull(d, r.rows) +
           ",\"cols\":" + orNull(d, r.cols) + ",\"kind\":" + orNull(d, r.kind) +
           ",\"step\":" + (d ? jsonLatin1(t.step) : "null") +
           ",\"attempts\":" + std::to_string(t.attempts) +
           ",\"gs1\":" + (d && r.gs1 ? "true" : "false") + ",\"eci\":" + orNull(d && r.eci >= 0, r.eci) +
           ",\"reader_programming\":" + (d && r.readerProgramming ? "true" : "false") +
           ",\"macro\":" + orNull(d && r.macro != 0, r.macro) +
           ",\"bytes\":" + jsonLatin1(d ? r.bytes : "") +
           ",\"length\":" + orNull(d, static_cast<long long>(r.bytes.size())) + ",\"ms\":" + ms + "}";
}

}  // namespace

int scanThoroughly(const std::vector<std::string>& files, bool json, const std::string& debugDir)
{
    bool allDecoded = true;
    bool failed = false;
    for (const std::string& file : files) {
        ImageFrame image;
        std::string error;
        if (loadImageFrame(file, image, error) &&
            static_cast<long long>(image.width) * image.height > kMaxScanPixels) {
            error = "image too large";
        }
        if (!error.empty()) {
            std::cerr << "tessaread-scan: " << file << ": " << error << std::endl;
            if (json) std::cout << jsonErrorLine(file, error) << std::endl;
            failed = true;
            continue;
        }
        PictureDump dump;
        ThoroughOptions options;
        if (!debugDir.empty()) {
            std::error_code ec;
            dump.dir = debugDir;
            fs::create_directories(dump.dir, ec);
            if (ec) {
                std::cerr << "tessaread-scan: " << debugDir << ": " << ec.message() << std::endl;
                return 2;
            }
            options.preparedPicture = dumpPicture;
            options.context = &dump;
        }
        const ThoroughReading t = readThoroughly(image.view(), options);
        if (dump.failed) {
            std::cerr << "tessaread-scan: " << debugDir << ": cannot write the prepared pictures\n";
            failed = true;
        }
        allDecoded = allDecoded && t.reading.decoded;
        if (json) {
            std::cout << jsonThoroughLine(file, t) << '\n';
        } else if (t.reading.decoded) {
            std::cout << file << ": " << visibleUtf8(t.reading.utf8) << " (" << encodationModeName(t.reading.mode)
                      << ")\n";
        } else {
            std::cout << file << ": None\n";
        }
        std::cout.flush();
    }
    if (failed) return 2;
    return allDecoded ? 0 : 1;
}
