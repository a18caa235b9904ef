// The thorough reader: the fixed cycle first, then the preparation steps in
// a fixed order, each ending at the first decode. The order puts the steps
// that read most real labels first (enlarging and binarising by local mean
// reads small and unevenly lit modules) and the switches that can lose a
// picture the default reads (the eight-run clock side) last.
#include "thorough/thorough_reader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "ecc200/ecc200.h"
#include "recognition/recognition.h"
#include "thorough/prepare.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kQuietZonePercent = 8;
// Candidates are cropped with a margin for the outline's corner pixels,
// which lie on the modules' outer edges, and for a slight curvature.
constexpr int kCropGrowPercent = 4;
constexpr int kMaxCrops = 3;
constexpr int kFallbackRows = 8;
constexpr int kCycleKinds[kAttemptKinds] = {0, 1, 2, 3};

struct Step {
    const char* name;
    bool transpose;
    bool invert;
    bool blur;
    int numerator;  // scale numerator / denominator
    int denominator;
    int windowDivisor;  // local-mean binarisation; 0: none, the kinds threshold globally
    int offsetPercent;
    int kinds;   // attempt kinds 0 .. kinds - 1
    bool crops;  // after a failed attempt, the largest candidates cropped
    bool pad;
    DetectFlags extraFlags;
};

// Enlarging first gives 1-4 px modules the pixels the clock-side search
// needs; a local-mean window of an eighth of the shorter side spans many
// modules of any symbol, so a module is judged against its neighbours,
// and the small offset keeps flat light areas from breaking into noise.
// The 3x step widens window and offset for blurred, low-contrast prints.
// clang-format off
constexpr Step kSteps[] = {
    // name                  transp invert blur  scale  window offset kinds crops  pad    flags
    {"local-2x",             false, false, false, 2, 1, 8,  3,     1,    true,  true,  0},
    {"local-3x",             false, false, false, 3, 1, 4,  10,    1,    true,  true,  0},
    {"blur-local-2x",        false, false, true,  2, 1, 8,  3,     1,    true,  true,  0},
    {"4x",                   false, false, false, 4, 1, 0,  0,     4,    false, true,  0},
    {"local-4x",             false, false, false, 4, 1, 8,  3,     1,    true,  true,  0},
    {"0.5x",                 false, false, false, 1, 2, 0,  0,     4,    false, true,  0},
    {"0.75x",                false, false, false, 3, 4, 0,  0,     4,    false, true,  0},
    {"transposed",           true,  false, false, 1, 1, 0,  0,     4,    false, false, 0},
    {"transposed-local-2x",  true,  false, false, 2, 1, 8,  3,     1,    true,  true,  0},
    {"inverted",             false, true,  false, 1, 1, 0,  0,     4,    false, false, 0},
    {"inverted-local-2x",    false, true,  false, 2, 1, 8,  3,     1,    true,  true,  0},
    {"eight-runs",           false, false, false, 1, 1, 0,  0,     4,    false, false, DETECT_EIGHT_RUNS},
    {"eight-runs-local-2x",  false, false, false, 2, 1, 8,  3,     1,    false, true,  DETECT_EIGHT_RUNS},
};
// clang-format on

PixelRows rowsOf(const PictureView& view)
{
    return {view.rows, view.width, view.height, view.stride};
}

PictureView viewOf(const Picture& picture)
{
    return {picture.pixels.data(), picture.width, picture.height, picture.stride};
}

// Makes the step's picture; false when a stage refuses (too large).
bool preparePicture(const PictureView& in, const Step& step, Picture& out)
{
    Picture a, b;
    Picture* current = nullptr;
    Picture* spare = &a;
    auto input = [&] { return current ? current->rows() : rowsOf(in); };
    auto advance = [&](bool done) {
        current = spare;
        spare = spare == &a ? &b : &a;
        return done;
    };
    if (step.transpose && !advance(transposePicture(input(), *spare)))
        return false;
    if (step.invert && !advance(invertPicture(input(), *spare)))
        return false;
    if (step.windowDivisor > 0) {
        const LocalMeanRecipe recipe{step.blur, step.numerator, step.denominator,
                                     step.windowDivisor, step.offsetPercent,
                                     step.pad ? kQuietZonePercent : 0};
        return prepareLocalMean(input(), recipe, out);
    }
    if (step.blur && !advance(blurPicture(input(), *spare)))
        return false;
    if (step.numerator != step.denominator &&
        !advance(scalePicture(input(), step.numerator, step.denominator, *spare)))
        return false;
    if (step.pad)
        return padPicture(input(), kQuietZonePercent, out);
    if (current == nullptr)
        return copyPicture(input(), out);
    out = std::move(*current);
    return true;
}

double parallelogramArea(const FinderCandidate& c)
{
    const double ax = c.x[1] - c.x[0], ay = c.y[1] - c.y[0];
    const double bx = c.x[2] - c.x[0], by = c.y[2] - c.y[0];
    return std::fabs(ax * by - ay * bx);
}

class ThoroughRun {
public:
    explicit ThoroughRun(const ThoroughOptions& options)
        : options_(options), start_(Clock::now())
    {
        extensions_.largeSymbols = true;
        extensions_.fnc1 = true;
        extensions_.macros = true;
        extensions_.readerProgramming = true;
        extensions_.eci = true;
    }

    bool outOfRoom() const
    {
        if (options_.maxAttempts > 0 && result_.attempts >= options_.maxAttempts)
            return true;
        return options_.budgetMs > 0 && elapsedMs() >= options_.budgetMs;
    }

    // One detector run; true when it decoded (the reading is then kept).
    // `statistics` belong to `picture` and its other attempts.
    bool attempt(const PictureView& picture, int kind, DetectFlags extraFlags, bool extended,
                 const char* step, AttemptReading& out, FrameStatistics* statistics = nullptr)
    {
        ++result_.attempts;
        AttemptSettings settings;
        settings.kind = kind;
        settings.extraFlags = extraFlags;
        settings.extensions = extended ? &extensions_ : nullptr;
        settings.statistics = statistics;
        out = readPictureOnce(picture, settings);
        if (!out.reading.decoded)
            return false;
        // The eight-run clock side is there for 8-row rectangles only; a
        // grid of another height through it rests on a doubtful side.
        if ((extraFlags & DETECT_EIGHT_RUNS) != 0 && out.reading.rows != kFallbackRows) {
            out.reading.decoded = false;
            return false;
        }
        result_.reading = out.reading;
        result_.step = step;
        return true;
    }

    // The fixed cycle's kinds with the default decoder; then, with the
    // decoder's extensions, the kinds whose grid the default decoder
    // refused for a reason other than uncorrectable errors.
    bool cycle(const PictureView& picture)
    {
        bool refused[kAttemptKinds] = {};
        FrameStatistics statistics;
        for (int kind : kCycleKinds) {
            const unsigned bit = 1u << kind;
            if ((options_.doneKinds & bit) != 0) {
                refused[kind] = (options_.refusedKinds & bit) != 0;
                continue;
            }
            if (outOfRoom())
                return false;
            AttemptReading out;
            if (attempt(picture, kind, 0, false, "cycle", out, &statistics))
                return true;
            refused[kind] = out.reading.status >= 0 &&
                            out.reading.status != static_cast<int>(DecodeStatus::Uncorrectable);
        }
        for (int kind : kCycleKinds) {
            AttemptReading out;
            if (refused[kind] && !outOfRoom() &&
                attempt(picture, kind, 0, true, "extensions", out, &statistics))
                return true;
        }
        return false;
    }

    bool step(const PictureView& original, const Step& step)
    {
        Picture prepared;
        if (outOfRoom() || !preparePicture(original, step, prepared))
            return false;
        if (options_.preparedPicture)
            options_.preparedPicture(options_.context, step.name, prepared);
        std::vector<FinderCandidate> candidates;
        FrameStatistics statistics;
        for (int kind = 0; kind < step.kinds; ++kind) {
            AttemptReading out;
            if (outOfRoom())
                return false;
            if (attempt(viewOf(prepared), kind, step.extraFlags, true, step.name, out, &statistics))
                return true;
            if (kind == 0)
                candidates = std::move(out.candidates);
        }
        return step.crops && crops(prepared, candidates, step);
    }

    // Nearby text, a second symbol or a dark surround can join the symbol's
    // outline; each of the largest candidates is tried alone.
    bool crops(const Picture& prepared, std::vector<FinderCandidate>& candidates, const Step& step)
    {
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const FinderCandidate& p, const FinderCandidate& q) {
                             return parallelogramArea(p) > parallelogramArea(q);
                         });
        const size_t count = std::min(candidates.size(), static_cast<size_t>(kMaxCrops));
        for (size_t i = 0; i < count; ++i) {
            const FinderCandidate& c = candidates[i];
            const Parallelogram shape{{double(c.x[0]), double(c.x[1]), double(c.x[2])},
                                      {double(c.y[0]), double(c.y[1]), double(c.y[2])}};
            Picture cropped, padded;
            if (outOfRoom())
                return false;
            if (!cropParallelogram(prepared.rows(), shape, kCropGrowPercent, cropped) ||
                !padPicture(cropped.rows(), kQuietZonePercent, padded))
                continue;
            if (options_.preparedPicture)
                options_.preparedPicture(options_.context, step.name, padded);
            AttemptReading out;
            if (attempt(viewOf(padded), 0, step.extraFlags, true, step.name, out))
                return true;
        }
        return false;
    }

    ThoroughReading finish()
    {
        result_.reading.ms = elapsedMs();
        return result_;
    }

private:
    double elapsedMs() const
    {
        return std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
    }

    const ThoroughOptions& options_;
    Clock::time_point start_;
    DecodeExtensions extensions_;
    ThoroughReading result_;
};

bool isSmallStep(const Step& step)
{
    return step.numerator <= step.denominator && step.windowDivisor == 0 && step.extraFlags == 0;
}

}  // namespace

ThoroughReading readThoroughly(const PictureView& picture, const ThoroughOptions& options)
{
    ThoroughRun run(options);
    if (run.cycle(picture))
        return run.finish();
    if (options.smallStepsFirst) {
        for (const Step& step : kSteps)
            if (isSmallStep(step) && run.step(picture, step))
                return run.finish();
    }
    for (const Step& step : kSteps) {
        if (options.smallStepsFirst && isSmallStep(step))
            continue;
        if (run.step(picture, step))
            break;
    }
    return run.finish();
}
