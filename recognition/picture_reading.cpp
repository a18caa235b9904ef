#include "recognition/picture_reading.h"

#include <chrono>

#include "ecc200/eci.h"
#include "frame/packed_frame.h"
#include "recognition/recognition.h"
#include "shell/frame_exchange.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The cycle's line, caught where the program would show it.
std::string* caughtLine = nullptr;

int catchResultLine(const char* line) {
    if (caughtLine != nullptr) *caughtLine = line;
    return 0;
}

void noResultsBox(int) {}

constexpr ResultsRoutines kCatchingRoutines = {catchResultLine, noResultsBox};

// One cycle on the frame in the exchange, as the recognition thread runs
// it when it sees frameReady. Clearing the record first tells a decode in
// this cycle from an earlier one, since LastDecodedText outlives failures.
bool runCycle(PictureReading& reading) {
    LastAttemptRecord.decodedKind = -1;
    caughtLine = &reading.line;
    frameExchange.frameReady.store(1, std::memory_order_release);
    RecognitionCycle();
    caughtLine = nullptr;
    ++reading.cycles;
    return LastAttemptRecord.decodedKind >= 0;
}

}  // namespace

PictureReading readPackedPicture(const PackedPicture& picture, CycleRun run) {
    PictureReading reading;
    if (picture.bytes == nullptr || !frameFits(picture.width, picture.height, picture.size)) {
        reading.line.clear();
        return reading;
    }
    // The cycle only reads the frame buffer.
    frameExchange.frameBuffer = const_cast<uint8_t*>(picture.bytes);
    frameExchange.frameBufferSize = picture.size;
    frameExchange.videoWidth = picture.width;
    frameExchange.videoHeight = picture.height;
    frameExchange.grabEnabled.store(1, std::memory_order_release);
    setResultsRoutines(&kCatchingRoutines);
    LastAttemptRecord = AttemptRecord();
    if (run == CycleRun::One) {
        PairSelector = 0;
    }

    const auto start = Clock::now();
    reading.decoded = runCycle(reading);
    if (!reading.decoded && run == CycleRun::BothPairs) {
        // The failed cycle switched to the other pair of attempt kinds.
        reading.decoded = runCycle(reading);
    }
    reading.ms = msSince(start);

    setResultsRoutines(nullptr);
    frameExchange.frameBuffer = nullptr;
    frameExchange.frameBufferSize = 0;

    const AttemptRecord& record = LastAttemptRecord;
    reading.rows = record.rows;
    reading.cols = record.cols;
    reading.status = record.status;
    if (reading.decoded) {
        reading.bytes.assign(LastDecodedText, static_cast<size_t>(record.length));
        reading.utf8 = Latin1ToUtf8(reading.bytes);
        reading.mode = LastEncodationMode;
        reading.kind = record.decodedKind;
        reading.corrected = record.corrected;
    }
    return reading;
}

PictureReading readPicture(const PictureView& picture, CycleRun run) {
    if (picture.rows == nullptr || picture.width <= 0 || picture.height <= 0 ||
        picture.stride < 3LL * picture.width) {
        return PictureReading();
    }
    const std::vector<uint8_t> packed =
        packRows(picture.rows, picture.width, picture.height, picture.stride);
    PackedPicture p;
    p.bytes = packed.data();
    p.size = packed.size();
    p.width = picture.width;
    p.height = picture.height;
    return readPackedPicture(p, run);
}

AttemptReading readPictureOnce(const PictureView& picture, const AttemptSettings& settings) {
    AttemptReading out;
    if (picture.rows == nullptr || picture.width <= 0 || picture.height <= 0 ||
        picture.stride < 3LL * picture.width || settings.kind < 0 ||
        settings.kind >= kAttemptKinds) {
        return out;
    }
    CandidateLog candidates;
    AttemptSetup setup;
    setup.flags = kAttemptFlags[settings.kind] | settings.extraFlags;
    setup.debugFolder = settings.debugFolder;
    setup.candidates = &candidates;
    setup.statistics = settings.statistics;
    ExtendedDecode extended;
    setup.extensions = settings.extensions;
    setup.extended = &extended;
    AttemptReport report;

    const auto start = Clock::now();
    StageTimer attempt("Start 3");
    const AttemptResult result =
        runAttempt(picture.rows, picture.width, picture.height, picture.stride, setup, report);
    out.reading.ms = msSince(start);

    out.detected = report.detected;
    for (int i = 0; i < candidates.count; ++i) {
        FinderCandidate c;
        for (int k = 0; k < 3; ++k) {
            c.x[k] = candidates.x[i][k];
            c.y[k] = candidates.y[i][k];
        }
        out.candidates.push_back(c);
    }
    PictureReading& r = out.reading;
    r.rows = report.rows;
    r.cols = report.cols;
    r.status = report.status;
    r.decoded = result == ATTEMPT_DECODED;
    if (r.decoded && settings.extensions != nullptr) {
        r.bytes = extended.bytes;
        r.utf8 = extended.utf8;
        r.eci = extended.eci;
        r.gs1 = extended.gs1;
        r.readerProgramming = extended.readerProgramming;
        r.macro = extended.macro;
    } else if (r.decoded) {
        r.bytes.assign(report.text, static_cast<size_t>(report.length));
        r.utf8 = Latin1ToUtf8(r.bytes);
    }
    if (r.decoded) {
        r.mode = report.mode;
        r.kind = settings.kind;
        r.corrected = report.corrected;
    }
    return out;
}
