// Time of one detect call on a 640 x 480 camera-sized frame, for each of
// the four attempt kinds, with and without a symbol in the picture. The
// "found" counter tells whether the call yielded a module grid.
//
//   tessaread_bench --benchmark_filter=Detect --benchmark_repetitions=5
//                   --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "detect/recognizer.h"
#include "recognition/recognition.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kStride = kWidth * 3;

// "Tessaread-bench-20x20" as a 20 x 20 ECC200 symbol, from
// `zint -b 71 --vers=6 --dump`: one row per line, top row first, hex digits
// most significant bit first, 1 = dark.
constexpr const char* kSymbolRows[] = {
    "AAAAA", "F6793", "D4F72", "F6EE5", "98A38", "ED961", "DDB14",
    "EB1AB", "D6372", "AF171", "95034", "D3BE3", "F2DDC", "9D207",
    "FCF7E", "D9619", "C3528", "A49CD", "E9DA2", "FFFFF",
};
constexpr int kSymbolSize = 20;

bool symbolDark(int row, int col)
{
    const char digit = kSymbolRows[row][col / 4];
    const int value = digit <= '9' ? digit - '0' : digit - 'A' + 10;
    return (value >> (3 - col % 4)) & 1;
}

// The symbol at 8 pixels per module, turned by `degrees` about the middle
// of a light frame; bottom-up rows like the camera's.
std::vector<uint8_t> symbolFrame(double degrees)
{
    std::vector<uint8_t> frame(size_t(kStride) * kHeight, 235);
    const double module = 8;
    const double half = kSymbolSize * module / 2;
    const double turn = degrees * 3.14159265358979323846 / 180;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double dx = x + 0.5 - kWidth / 2.0;
            const double dy = y + 0.5 - kHeight / 2.0;
            const double u = dx * std::cos(turn) - dy * std::sin(turn) + half;
            const double v = dx * std::sin(turn) + dy * std::cos(turn) + half;
            if (u < 0 || v < 0 || u >= 2 * half || v >= 2 * half ||
                !symbolDark(int(v / module), int(u / module)))
                continue;
            std::memset(&frame[size_t(kHeight - 1 - y) * kStride + size_t(x) * 3], 20, 3);
        }
    }
    return frame;
}

std::vector<uint8_t> noiseFrame()
{
    std::vector<uint8_t> frame(size_t(kStride) * kHeight);
    uint32_t state = 12345;
    for (uint8_t& byte : frame) {
        state = state * 1664525u + 1013904223u;
        byte = uint8_t(state >> 24);
    }
    return frame;
}

// Light paper with a few dark marks that are not symbols: a solid block,
// a ring and some bars.
std::vector<uint8_t> clutterFrame()
{
    std::vector<uint8_t> frame(size_t(kStride) * kHeight, 220);
    auto box = [&](int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1; ++y)
            std::memset(&frame[size_t(y) * kStride + size_t(x0) * 3], 30, size_t(x1 - x0) * 3);
    };
    box(40, 40, 140, 140);
    box(300, 200, 420, 215);
    box(300, 300, 420, 315);
    box(300, 200, 315, 315);
    box(405, 200, 420, 315);
    for (int k = 0; k < 12; ++k)
        box(480 + k * 12, 60, 486 + k * 12, 400);
    return frame;
}

void runDetect(benchmark::State& state, const std::vector<uint8_t>& frame, unsigned flags)
{
    std::vector<uint8_t> copy(frame.size());
    int found = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(copy.data(), frame.data(), frame.size());
        auto r = std::make_unique<Recognizer>();
        r->width = kWidth;
        r->height = kHeight;
        r->stride = kStride;
        r->pixels = copy.data();
        state.ResumeTiming();
        found = r->detect(210, "out0.bmp", "outt.txt", flags);
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = found;
}

const std::vector<uint8_t>& uprightFrame()
{
    static const std::vector<uint8_t> frame = symbolFrame(0);
    return frame;
}

const std::vector<uint8_t>& turnedFrame()
{
    static const std::vector<uint8_t> frame = symbolFrame(30);
    return frame;
}

const std::vector<uint8_t>& emptyNoise()
{
    static const std::vector<uint8_t> frame = noiseFrame();
    return frame;
}

const std::vector<uint8_t>& emptyClutter()
{
    static const std::vector<uint8_t> frame = clutterFrame();
    return frame;
}

template <const std::vector<uint8_t>& (*Frame)()>
void BM_Detect(benchmark::State& state)
{
    runDetect(state, Frame(), kAttemptFlags[state.range(0)]);
}

// The four attempt kinds' flag words.
#define ATTEMPT_KINDS ArgName("kind")->DenseRange(0, kAttemptKinds - 1)

BENCHMARK_TEMPLATE(BM_Detect, uprightFrame)->ATTEMPT_KINDS->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Detect, turnedFrame)->ATTEMPT_KINDS->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Detect, emptyClutter)->ATTEMPT_KINDS->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Detect, emptyNoise)->ATTEMPT_KINDS->Unit(benchmark::kMillisecond);

}  // namespace
