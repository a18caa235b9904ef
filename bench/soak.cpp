// The soak: many recognition cycles in one process, as the program runs
// them for hours, with the memory watched. Each cycle gets the next of the
// given pictures through the frame exchange; the result lines go into the
// real results text. Prints cycles per second and the resident memory
// (VmRSS) and its peak (VmHWM) after a warm-up and at the end, and fails
// when either grew by more than the tolerance.
//
//   tessaread-soak [--cycles N] [--tolerance-kb K] IMAGE...
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "recognition/picture_reading.h"
#include "shell/frame_exchange.h"
#include "shell/results_text.h"
#include "tools/imageio/image_frame.h"

namespace {

struct Memory {
    long rssKb = 0;
    long peakKb = 0;
};

// Linux's account of this process; zeros where there is none.
Memory memoryNow() {
    Memory m;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) m.rssKb = std::atol(line.c_str() + 6);
        if (line.rfind("VmHWM:", 0) == 0) m.peakKb = std::atol(line.c_str() + 6);
    }
    return m;
}

long decodedCycles = 0;

struct Options {
    long cycles = 100000;
    long toleranceKb = 1024;
    std::vector<std::string> images;
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--cycles" || a == "--tolerance-kb") && i + 1 < argc) {
            (a == "--cycles" ? o.cycles : o.toleranceKb) = std::atol(argv[++i]);
        } else if (a.rfind("--", 0) == 0) {
            return false;
        } else {
            o.images.push_back(a);
        }
    }
    return o.cycles > 0 && !o.images.empty();
}

// The packed frames, each as the grab leaves it in the buffer.
bool loadFrames(const std::vector<std::string>& paths, std::vector<ImageFrame>& frames) {
    for (const std::string& path : paths) {
        ImageFrame frame;
        std::string error;
        if (!loadImageFrame(path, frame, error) || !frameFits(frame.width, frame.height)) {
            std::fprintf(stderr, "tessaread-soak: %s: %s\n", path.c_str(),
                         error.empty() ? "larger than the frame buffer" : error.c_str());
            return false;
        }
        frames.push_back(std::move(frame));
    }
    return true;
}

// One cycle as a camera stream runs it; its line goes into the results
// text as the results window puts it there.
void runCycle(const ImageFrame& frame) {
    const PictureReading reading = readPackedPicture(frame.packedPicture(), CycleRun::Stream);
    if (reading.decoded) ++decodedCycles;
    prependResultLine(reading.line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: tessaread-soak [--cycles N] [--tolerance-kb K] IMAGE...\n");
        return 2;
    }
    std::vector<ImageFrame> frames;
    if (!loadFrames(options.images, frames)) return 2;

    clearResultsText();
    prependResultLine("Start program!");

    // The warm-up fills the results text to its bound and lets the
    // allocator reach its working size.
    const long warmUp = options.cycles < 2000 ? options.cycles / 10 : 200;
    long cycle = 0;
    for (; cycle < warmUp; ++cycle) runCycle(frames[size_t(cycle) % frames.size()]);
    const Memory start = memoryNow();
    const auto began = std::chrono::steady_clock::now();
    for (; cycle < options.cycles; ++cycle) runCycle(frames[size_t(cycle) % frames.size()]);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const Memory end = memoryNow();

    const long measured = options.cycles - warmUp;
    std::printf("cycles %ld (%ld after %ld warm-up), decoded %ld, %.1f s, %.1f cycles/s\n",
                options.cycles, measured, warmUp, decodedCycles, seconds,
                seconds > 0 ? measured / seconds : 0.0);
    std::printf("memory after warm-up: VmRSS %ld kB, VmHWM %ld kB\n", start.rssKb, start.peakKb);
    std::printf("memory at the end:    VmRSS %ld kB, VmHWM %ld kB\n", end.rssKb, end.peakKb);
    const bool grew = end.rssKb - start.rssKb > options.toleranceKb ||
                      end.peakKb - start.peakKb > options.toleranceKb;
    std::printf("%s (tolerance %ld kB)\n", grew ? "MEMORY GREW" : "memory constant", options.toleranceKb);
    return grew ? 1 : 0;
}
