// Times one full recognition cycle per frame against two independent
// readers linked as libraries, ZXing-cpp (Data Matrix only) and libdmtx
// (one symbol, with a time-out), on the same pixels in the same process.
//
//   tessaread-peer-bench [--repeat N] [--cpu] [--frame WxH] [--scale IMAGE] DIR_OR_IMAGE...
//
// Each image may have its expected text in IMAGE-without-extension.txt;
// a reader counts as correct when its text equals that file's content.
// "ours" is one cycle as the program runs it (first pair); "ours2" adds a
// second cycle with the other pair after a "None", as the scanner does;
// "thorough" is the thorough reader without a time budget, whose median is
// also given over the frames that one of its preparation steps read.
// --frame pastes every image into the middle of a frame of that size (as a
// camera of that resolution would deliver a label of that size).
// --scale pastes IMAGE into frames (of its background colour) from 320 x 240 to 2560 x 1920 and
// times the cycle on each, to show how the time grows with the pixels.
// --cpu times every reader by the thread's CPU clock instead of the wall
// clock.

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>
#include <dmtx.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ecc200/eci.h"
#include "recognition/picture_reading.h"
#include "thorough/thorough_reader.h"
#include "tools/imageio/image_frame.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kDmtxTimeoutMs = 2000;

struct Reading {
    double ms = 0;
    bool decoded = false;
    std::string text;  // UTF-8
    bool prepared = false;  // thorough: a preparation step read it
};

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// --cpu: times by this thread's CPU clock, which a machine shared with
// other work disturbs far less than the wall clock.
bool cpuClock = false;

double nowMs() {
    if (cpuClock) {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    }
    return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

double msSince(double start) {
    return nowMs() - start;
}

// Our cycles as readPackedPicture times them, or by the CPU clock.
PictureReading timedPicture(const PackedPicture& picture, CycleRun run) {
    const double start = nowMs();
    PictureReading reading = readPackedPicture(picture, run);
    if (cpuClock) {
        reading.ms = msSince(start);
    }
    return reading;
}

// One cycle as the program runs it on a frame, starting with the first
// pair as after program start (so that the figures do not depend on the
// order of the frames); with `cycles` 2, a "None" is followed by a second
// cycle, which tries the other pair, as the scanner does.
Reading readOurs(const ImageFrame& frame, int cycles) {
    const PackedPicture picture = frame.packedPicture();
    PictureReading reading = timedPicture(picture, CycleRun::One);
    double ms = reading.ms;
    if (!reading.decoded && cycles > 1) {
        // The failed cycle switched to the other pair.
        reading = timedPicture(picture, CycleRun::Stream);
        ms += reading.ms;
    }
    Reading r;
    r.ms = ms;
    r.decoded = reading.decoded;
    if (r.decoded) {
        r.text = Latin1ToUtf8(reading.bytes);
    }
    return r;
}

Reading readThorough(const ImageFrame& frame) {
    const double start = nowMs();
    const ThoroughReading t = readThoroughly(frame.view(), ThoroughOptions{});
    Reading r;
    r.ms = msSince(start);
    r.decoded = t.reading.decoded;
    if (r.decoded) {
        r.text = t.reading.utf8;
        r.prepared = std::strcmp(t.step, "cycle") != 0 && std::strcmp(t.step, "extensions") != 0;
    }
    return r;
}

Reading readZxing(const ImageFrame& frame) {
    // Bottom-up rows: start at the top row of the picture, step backwards.
    const uint8_t* top = frame.rows() + static_cast<size_t>(frame.height - 1) * frame.stride;
    ZXing::ImageView view(top, frame.width, frame.height, ZXing::ImageFormat::BGR, -frame.stride);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::DataMatrix);
    const double start = nowMs();
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    Reading r;
    r.ms = msSince(start);
    r.decoded = result.isValid();
    if (r.decoded) {
        r.text = result.text();
    }
    return r;
}

Reading readDmtx(const ImageFrame& frame) {
    std::vector<uint8_t> pixels(frame.rows(), frame.rows() + frame.rowBytes());
    Reading r;
    const double start = nowMs();
    DmtxImage* image = dmtxImageCreate(pixels.data(), frame.width, frame.height, DmtxPack24bppBGR);
    if (image != nullptr) {
        dmtxImageSetProp(image, DmtxPropRowPadBytes, frame.stride - 3 * frame.width);
        // The frame stores the bottom row first; libdmtx is told so.
        dmtxImageSetProp(image, DmtxPropImageFlip, DmtxFlipY);
        DmtxDecode* decode = dmtxDecodeCreate(image, 1);
        if (decode != nullptr) {
            DmtxTime timeout = dmtxTimeAdd(dmtxTimeNow(), kDmtxTimeoutMs);
            DmtxRegion* region = dmtxRegionFindNext(decode, &timeout);
            if (region != nullptr) {
                DmtxMessage* message = dmtxDecodeMatrixRegion(decode, region, DmtxUndefined);
                if (message != nullptr) {
                    r.decoded = true;
                    r.text = Latin1ToUtf8(std::string(reinterpret_cast<char*>(message->output),
                                                      static_cast<size_t>(message->outputIdx)));
                    dmtxMessageDestroy(&message);
                }
                dmtxRegionDestroy(&region);
            }
            dmtxDecodeDestroy(&decode);
        }
        dmtxImageDestroy(&image);
    }
    r.ms = msSince(start);
    return r;
}

bool isImage(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    return ext == ".bmp" || ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".ppm" ||
           ext == ".pgm";
}

std::vector<fs::path> collectImages(const std::vector<std::string>& args) {
    std::vector<fs::path> images;
    for (const auto& arg : args) {
        if (fs::is_directory(arg)) {
            for (const auto& entry : fs::recursive_directory_iterator(arg)) {
                if (entry.is_regular_file() && isImage(entry.path())) {
                    images.push_back(entry.path());
                }
            }
        } else {
            images.emplace_back(arg);
        }
    }
    std::sort(images.begin(), images.end());
    return images;
}

bool isUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3
                              : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

// The expected text, as UTF-8: files hold either UTF-8 or the symbol's
// bytes read as ISO-8859-1.
bool readExpected(const fs::path& image, std::string& expected) {
    fs::path text = image;
    text.replace_extension(".txt");
    std::ifstream file(text, std::ios::binary);
    if (!file) {
        return false;
    }
    expected.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (!isUtf8(expected)) {
        expected = Latin1ToUtf8(expected);
    }
    return true;
}

// The median of `repeat` timed runs; the outcome of the first.
template <typename Read>
Reading timed(int repeat, Read read) {
    Reading first = read();
    std::vector<double> times = {first.ms};
    for (int i = 1; i < repeat; ++i) {
        times.push_back(read().ms);
    }
    first.ms = median(times);
    return first;
}

struct Tally {
    std::vector<double> times;
    std::vector<double> preparedTimes;  // thorough: frames a preparation step read
    int correct = 0;
    int decoded = 0;
};

const char* mark(const Reading& r, bool haveExpected, const std::string& expected) {
    if (!r.decoded) {
        return "-";
    }
    if (!haveExpected) {
        return "?";
    }
    return r.text == expected ? "ok" : "WRONG";
}

void count(Tally& tally, const Reading& r, bool haveExpected, const std::string& expected) {
    tally.times.push_back(r.ms);
    if (r.prepared) {
        tally.preparedTimes.push_back(r.ms);
    }
    tally.decoded += r.decoded;
    tally.correct += r.decoded && haveExpected && r.text == expected;
}

ImageFrame pasteCentered(const ImageFrame& image, int width, int height);

// frameSize {0, 0}: every image as it is.
int benchFrames(const std::vector<fs::path>& images, int repeat, const int (&frameSize)[2]) {
    Tally ours;
    Tally ours2;
    Tally zxing;
    Tally dmtx;
    Tally thorough;
    std::printf("%-44s %9s %5s %9s %5s %9s %5s %9s %5s %9s %5s\n", "frame", "ours ms", "",
                "ours2 ms", "", "thorough", "", "zxing ms", "", "dmtx ms", "");
    for (const auto& path : images) {
        ImageFrame frame;
        std::string error;
        if (!loadImageFrame(path.string(), frame, error)) {
            std::fprintf(stderr, "%s: %s\n", path.string().c_str(), error.c_str());
            continue;
        }
        if (frameSize[0] > 0) {
            frame = pasteCentered(frame, frameSize[0], frameSize[1]);
        }
        std::string expected;
        const bool haveExpected = readExpected(path, expected);
        const Reading a = timed(repeat, [&] { return readOurs(frame, 1); });
        const Reading a2 = timed(repeat, [&] { return readOurs(frame, 2); });
        const Reading t = timed(repeat, [&] { return readThorough(frame); });
        const Reading b = timed(repeat, [&] { return readZxing(frame); });
        const Reading c = timed(1, [&] { return readDmtx(frame); });
        count(ours, a, haveExpected, expected);
        count(ours2, a2, haveExpected, expected);
        count(thorough, t, haveExpected, expected);
        count(zxing, b, haveExpected, expected);
        count(dmtx, c, haveExpected, expected);
        std::string name = path.string();
        if (name.size() > 44) {
            name = "..." + name.substr(name.size() - 41);
        }
        std::printf("%-44s %9.3f %5s %9.3f %5s %9.3f %5s %9.3f %5s %9.3f %5s\n", name.c_str(),
                    a.ms, mark(a, haveExpected, expected), a2.ms, mark(a2, haveExpected, expected),
                    t.ms, mark(t, haveExpected, expected), b.ms, mark(b, haveExpected, expected),
                    c.ms, mark(c, haveExpected, expected));
    }
    const size_t n = ours.times.size();
    std::printf("\n%zu frames\n", n);
    std::printf("%-10s %14s %10s %10s\n", "reader", "median ms", "decoded", "correct");
    const struct {
        const char* name;
        const Tally* tally;
    } rows[] = {{"ours", &ours},
                {"ours2", &ours2},
                {"thorough", &thorough},
                {"zxing-cpp", &zxing},
                {"libdmtx", &dmtx}};
    for (const auto& row : rows) {
        std::printf("%-10s %14.3f %10d %10d\n", row.name, median(row.tally->times),
                    row.tally->decoded, row.tally->correct);
    }
    std::printf("thorough: median %.3f ms over the %zu frames a preparation step read\n",
                median(thorough.preparedTimes), thorough.preparedTimes.size());
    const double mo = median(ours.times);
    std::printf("ours/zxing-cpp median ratio %.3f; ours/libdmtx %.3f\n",
                mo / std::max(median(zxing.times), 1e-9), mo / std::max(median(dmtx.times), 1e-9));
    return 0;
}

// The image pasted into the middle of a frame of the given size, filled
// around it with the colour of the image's first pixel.
ImageFrame pasteCentered(const ImageFrame& image, int width, int height) {
    ImageFrame frame;
    startFrame(frame, width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::memcpy(frame.rows() + static_cast<size_t>(y) * frame.stride + 3 * x, image.rows(), 3);
        }
    }
    const int x0 = (width - image.width) / 2;
    const int y0 = (height - image.height) / 2;
    for (int y = 0; y < image.height; ++y) {
        const int fy = y0 + y;
        if (fy < 0 || fy >= height) {
            continue;
        }
        for (int x = 0; x < image.width; ++x) {
            const int fx = x0 + x;
            if (fx < 0 || fx >= width) {
                continue;
            }
            std::memcpy(frame.rows() + static_cast<size_t>(fy) * frame.stride + 3 * fx,
                        image.rows() + static_cast<size_t>(y) * image.stride + 3 * x, 3);
        }
    }
    return frame;
}

int benchScaling(const std::string& imagePath, int repeat) {
    ImageFrame image;
    std::string error;
    if (!loadImageFrame(imagePath, image, error)) {
        std::fprintf(stderr, "%s: %s\n", imagePath.c_str(), error.c_str());
        return 2;
    }
    const int sizes[][2] = {{320, 240}, {640, 480}, {960, 720}, {1280, 960}, {1920, 1440}, {2560, 1920}};
    std::printf("%-12s %10s %12s %12s %8s %12s\n", "frame", "pixels", "ours ms", "ns/pixel",
                "decoded", "zxing ms");
    for (const auto& size : sizes) {
        const ImageFrame frame = pasteCentered(image, size[0], size[1]);
        const Reading a = timed(repeat, [&] { return readOurs(frame, 1); });
        const Reading b = timed(repeat, [&] { return readZxing(frame); });
        const double pixels = double(size[0]) * size[1];
        std::printf("%5dx%-6d %10.0f %12.3f %12.3f %8s %12.3f\n", size[0], size[1], pixels, a.ms,
                    a.ms * 1e6 / pixels, a.decoded ? "yes" : "no", b.ms);
    }
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: tessaread-peer-bench [--repeat N] [--cpu] [--frame WxH] DIR_OR_IMAGE...\n"
                 "       tessaread-peer-bench [--repeat N] [--cpu] --scale IMAGE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 5;
    std::string scale;
    int frameSize[2] = {0, 0};
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--cpu") {
            cpuClock = true;
        } else if (arg == "--frame" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &frameSize[0], &frameSize[1]) != 2 ||
                frameSize[0] < 1 || frameSize[1] < 1 || frameSize[0] > 8192 || frameSize[1] > 8192) {
                return usage();
            }
        } else if (arg == "--scale" && i + 1 < argc) {
            scale = argv[++i];
        } else if (arg == "--help" || arg.rfind("--", 0) == 0) {
            return usage();
        } else {
            inputs.push_back(arg);
        }
    }
    if (!scale.empty()) {
        return benchScaling(scale, repeat);
    }
    if (inputs.empty()) {
        return usage();
    }
    return benchFrames(collectImages(inputs), repeat, frameSize);
}
