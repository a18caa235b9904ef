#include <cstring>
#include <memory>
#include <new>

#include "recognition/recognition.h"
#include "shell/frame_exchange.h"

char LastDecodedText[kDecodedTextCapacity];
int32_t LastEncodationMode = 0;
AttemptRecord LastAttemptRecord;

namespace {

// The decoder's input: the grid's rows packed one after the other, one
// byte per module (1 dark, 0 light, 255 undecided).
void compactGrid(const Recognizer& recognizer, uint8_t* symbolGrid) {
    for (int r = 0; r < recognizer.gridRows; ++r) {
        for (int c = 0; c < recognizer.gridCols; ++c) {
            symbolGrid[r * recognizer.gridCols + c] =
                static_cast<uint8_t>(recognizer.grid[r][c] & 0xFF);
        }
    }
}

AttemptResult resultOf(DecodeStatus status) {
    return status == DecodeStatus::Ok             ? ATTEMPT_DECODED
           : status == DecodeStatus::Uncorrectable ? ATTEMPT_UNCORRECTABLE
                                                   : ATTEMPT_DECODE_FAILED;
}

AttemptResult decodeExtended(const Recognizer& recognizer, const uint8_t* symbolGrid,
                             const AttemptSetup& setup, AttemptReport& report) {
    StageTimer decoding("Start 5");
    ExtendedDecode& out = *setup.extended;
    out = DecodeSymbolExtended(recognizer.gridCols, recognizer.gridRows, symbolGrid,
                               *setup.extensions);
    report.rows = recognizer.gridRows;
    report.cols = recognizer.gridCols;
    report.status = static_cast<int>(out.status);
    if (out.status == DecodeStatus::Ok) {
        report.mode = out.mode;
        report.corrected = out.correctedCount;
    }
    return resultOf(out.status);
}

AttemptResult decodeGrid(const Recognizer& recognizer, const AttemptSetup& setup,
                         AttemptReport& report) {
    uint8_t symbolGrid[kGridCapacity * kGridCapacity];
    compactGrid(recognizer, symbolGrid);
    if (setup.extensions != nullptr && setup.extended != nullptr) {
        return decodeExtended(recognizer, symbolGrid, setup, report);
    }

    StageTimer decoding("Start 5");
    int32_t correctedFlag = 0;
    int32_t correctedCount = 0;
    int32_t mode = 0;
    const DecodeResult result = DecodeSymbol(recognizer.gridCols, recognizer.gridRows,
                                             symbolGrid, correctedFlag, correctedCount, mode);
    report.rows = recognizer.gridRows;
    report.cols = recognizer.gridCols;
    report.status = static_cast<int>(result.status);
    if (result.status == DecodeStatus::Ok) {
        report.mode = mode;
        report.corrected = correctedCount;
        std::memcpy(report.text, result.text, sizeof report.text);
        report.text[sizeof report.text - 1] = '\0';
        report.length = result.length < 0 ? 0
                        : result.length >= kDecodedTextCapacity ? kDecodedTextCapacity - 1
                                                                : result.length;
    }
    return resultOf(result.status);
}

// The frame copy and the Recognizer (about 200 kB) of an attempt live in
// storage that the thread keeps from one attempt to the next. Allocated
// afresh, blocks of this size come from the system and go back to it every
// time, and the first touch of each of their pages faults: that cost more
// than binarising the frame.
struct RecognizerSlot {
    alignas(Recognizer) unsigned char bytes[sizeof(Recognizer)];
};

struct AttemptWorkspace {
    std::unique_ptr<uint8_t[]> pixels;
    size_t capacity = 0;
    std::unique_ptr<RecognizerSlot> recognizer;
    // A byte a pixel lent to the cycle's frame statistics.
    std::unique_ptr<uint8_t[]> levels;
    size_t levelCapacity = 0;
};

// Copies larger than this get storage of their own for the attempt, so
// that one huge picture does not stay in memory.
constexpr size_t kKeptCopyBytes = size_t(48) << 20;

AttemptWorkspace& threadWorkspace() {
    thread_local AttemptWorkspace space;
    return space;
}

uint8_t* copyBuffer(AttemptWorkspace& space, size_t size, std::unique_ptr<uint8_t[]>& oneOff) {
    if (size > kKeptCopyBytes) {
        oneOff.reset(new (std::nothrow) uint8_t[size]);
        return oneOff.get();
    }
    if (size > space.capacity) {
        space.pixels.reset(new (std::nothrow) uint8_t[size]);
        space.capacity = space.pixels ? size : 0;
    }
    return space.pixels.get();
}

// Lends the statistics room for the pixels' levels, which both attempts of
// the cycle then classify from.
void lendLevels(AttemptWorkspace& space, FrameStatistics& statistics, size_t pixels) {
    if (statistics.levels != nullptr || pixels > kKeptCopyBytes / 3) {
        return;
    }
    if (pixels > space.levelCapacity) {
        space.levels.reset(new (std::nothrow) uint8_t[pixels]);
        space.levelCapacity = space.levels ? pixels : 0;
    }
    statistics.levels = space.levels.get();
    statistics.levelCapacity = space.levelCapacity;
}

// Constructs a Recognizer in the slot and destroys it at the end of the
// attempt.
struct SlotRecognizer {
    explicit SlotRecognizer(RecognizerSlot& slot) : recognizer(new (slot.bytes) Recognizer) {}
    ~SlotRecognizer() { recognizer->~Recognizer(); }
    SlotRecognizer(const SlotRecognizer&) = delete;
    SlotRecognizer& operator=(const SlotRecognizer&) = delete;
    Recognizer* recognizer;
};

}  // namespace

AttemptResult runAttempt(const uint8_t* rows, int32_t width, int32_t height, int64_t stride,
                         const AttemptSetup& setup, AttemptReport& report) {
    // The copy has the frame's own stride whatever the source's, so that
    // the detector's image dump is a plain BMP.
    const int64_t copyStride = frameStride(width);
    const size_t size = static_cast<size_t>(copyStride * height);
    AttemptWorkspace& space = threadWorkspace();
    std::unique_ptr<uint8_t[]> oneOff;
    uint8_t* copy = copyBuffer(space, size, oneOff);
    if (copy == nullptr) {
        return ATTEMPT_NO_SYMBOL;
    }
    // The detector reads the colours from the frame itself and writes every
    // pixel of the copy; only the row padding is the copy's own: the
    // frame's padding bytes where its rows have them, else 0.
    const int64_t pixelBytes = 3 * static_cast<int64_t>(width);
    const int64_t keptPadding = (stride < copyStride ? stride : copyStride) - pixelBytes;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* padding = copy + copyStride * y + pixelBytes;
        std::memcpy(padding, rows + stride * y + pixelBytes, static_cast<size_t>(keptPadding));
        std::memset(padding + keptPadding, 0, static_cast<size_t>(copyStride - pixelBytes - keptPadding));
    }

    if (!space.recognizer) {
        space.recognizer.reset(new (std::nothrow) RecognizerSlot);
        if (!space.recognizer) {
            return ATTEMPT_NO_SYMBOL;
        }
    }
    // A fresh Recognizer for every attempt, in the kept storage; the copy
    // stays the workspace's.
    SlotRecognizer slot(*space.recognizer);
    Recognizer* recognizer = slot.recognizer;
    recognizer->width = width;
    recognizer->stride = static_cast<int>(copyStride);
    recognizer->height = height;
    recognizer->pixels = copy;
    recognizer->ownsPixels = 0;
    recognizer->sourcePixels = rows;
    recognizer->sourceStride = static_cast<int>(stride);
    recognizer->debugFolder = setup.debugFolder;
    recognizer->candidateLog = setup.candidates;
    recognizer->frameStatistics = setup.statistics;
    if (setup.statistics != nullptr) {
        lendLevels(space, *setup.statistics, static_cast<size_t>(width) * static_cast<size_t>(height));
    }

    StageTimer detection("Start 4");
    report.detected = recognizer->detect(kAttemptFixedThreshold, "out0.bmp", "outt.txt", setup.flags);
    StageTimer decoding("Start 45");
    if (report.detected != 1) {
        return ATTEMPT_NO_SYMBOL;
    }
    return decodeGrid(*recognizer, setup, report);
}

AttemptResult RecognitionAttempt(int kind) {
    return RecognitionAttempt(kind, nullptr);
}

bool frameInExchange(PictureView& picture) {
    const int32_t width = frameExchange.videoWidth;
    const int32_t height = frameExchange.videoHeight;
    if (frameExchange.frameBuffer == nullptr ||
        !frameFits(width, height, frameExchange.frameBufferSize)) {
        return false;
    }
    picture = {frameExchange.frameBuffer + kFrameHeaderSize, width, height,
               static_cast<int32_t>(frameStride(width))};
    return true;
}

AttemptResult RecognitionAttempt(int kind, FrameStatistics* statistics) {
    StageTimer attempt("Start 3");
    if (kind < 0 || kind >= kAttemptKinds) {
        return ATTEMPT_NO_SYMBOL;
    }
    PictureView frame;
    if (!frameInExchange(frame)) {
        return ATTEMPT_NO_SYMBOL;
    }
    AttemptSetup setup;
    setup.flags = kAttemptFlags[kind];
    setup.statistics = statistics;
    AttemptReport report;
    const AttemptResult result =
        runAttempt(frame.rows, frame.width, frame.height, frame.stride, setup, report);
    if (report.status >= 0) {
        LastAttemptRecord.rows = report.rows;
        LastAttemptRecord.cols = report.cols;
        LastAttemptRecord.status = report.status;
    }
    if (result == ATTEMPT_DECODED) {
        LastEncodationMode = report.mode;
        std::memcpy(LastDecodedText, report.text, sizeof LastDecodedText);
        LastAttemptRecord.decodedKind = kind;
        LastAttemptRecord.corrected = report.corrected;
        LastAttemptRecord.length = report.length;
    }
    return result;
}
