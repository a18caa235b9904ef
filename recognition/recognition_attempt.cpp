#include <cstring>
#include <memory>
#include <new>

#include "recognition/recognition.h"
#include "shell/frame_exchange.h"

char LastDecodedText[kDecodedTextCapacity];
int32_t LastEncodationMode = 0;
DecodeOrigin LastDecodeOrigin = {-1, 0, 0};

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

AttemptResult decodeGrid(const Recognizer& recognizer, int kind) {
    uint8_t symbolGrid[kGridCapacity * kGridCapacity];
    compactGrid(recognizer, symbolGrid);

    StageTimer decoding("Start 5");
    int32_t correctedFlag = 0;
    int32_t correctedCount = 0;
    int32_t mode = 0;
    const DecodeResult result = DecodeSymbol(recognizer.gridCols, recognizer.gridRows,
                                             symbolGrid, correctedFlag, correctedCount, mode);
    if (result.status == DecodeStatus::Ok) {
        LastEncodationMode = mode;
        std::memcpy(LastDecodedText, result.text, sizeof LastDecodedText);
        LastDecodedText[sizeof LastDecodedText - 1] = '\0';
        LastDecodeOrigin = {kind, recognizer.gridRows, recognizer.gridCols};
        return ATTEMPT_DECODED;
    }
    return result.status == DecodeStatus::Uncorrectable ? ATTEMPT_UNCORRECTABLE
                                                        : ATTEMPT_DECODE_FAILED;
}

}  // namespace

AttemptResult RecognitionAttempt(int kind) {
    StageTimer attempt("Start 3");
    if (kind < 0 || kind >= kAttemptKinds) {
        return ATTEMPT_NO_SYMBOL;
    }
    const int32_t width = frameExchange.videoWidth;
    const int32_t height = frameExchange.videoHeight;
    if (frameExchange.frameBuffer == nullptr ||
        !frameFits(width, height, frameExchange.frameBufferSize)) {
        return ATTEMPT_NO_SYMBOL;
    }
    const int64_t stride = frameStride(width);
    const size_t size = static_cast<size_t>(stride * height);
    auto* copy = new (std::nothrow) uint8_t[size];
    if (copy == nullptr) {
        return ATTEMPT_NO_SYMBOL;
    }
    std::memcpy(copy, frameExchange.frameBuffer + kFrameHeaderSize, size);

    // The recognizer is large; it lives on the heap rather than on a
    // thread's stack.
    std::unique_ptr<Recognizer> recognizer(new (std::nothrow) Recognizer);
    if (!recognizer) {
        delete[] copy;
        return ATTEMPT_NO_SYMBOL;
    }
    recognizer->width = width;
    recognizer->stride = static_cast<int>(stride);
    recognizer->height = height;
    recognizer->pixels = copy;
    recognizer->ownsPixels = 1;

    StageTimer detection("Start 4");
    const int found = recognizer->detect(kAttemptFixedThreshold, "out0.bmp", "outt.txt",
                                         kAttemptFlags[kind]);
    StageTimer decoding("Start 45");
    if (found != 1) {
        return ATTEMPT_NO_SYMBOL;
    }
    return decodeGrid(*recognizer, kind);
}
