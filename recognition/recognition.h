// Recognition control: one cycle per grabbed frame, each made of one or two
// attempts (detection and decoding with one of four detector settings),
// ending in one time-stamped result line.
#pragma once

#include <cstdint>

#include "detect/recognizer.h"
#include "ecc200/decode_extensions.h"
#include "ecc200/ecc200.h"
#include "recognition/picture_reading.h"
#include "recognition/stage_timer.h"

enum AttemptResult : int {
    ATTEMPT_DECODED = 0,
    ATTEMPT_NO_SYMBOL = 1,
    ATTEMPT_UNCORRECTABLE = 2,
    ATTEMPT_DECODE_FAILED = 3,
};

constexpr int kAttemptKinds = 4;

// Detector flags of attempt kinds 0 to 3.
constexpr DetectFlags kAttemptFlags[kAttemptKinds] = {
    DETECT_HIST_VALLEY | DETECT_PAINT_LINES,
    DETECT_HIST_VALLEY_DARKER | DETECT_PAINT_LINES,
    DETECT_MEAN_LOWERED | DETECT_PAINT_LINES,
    DETECT_MEAN_RAISED | DETECT_PAINT_LINES,
};
constexpr int kAttemptFixedThreshold = 210;

// Text and encodation of the last successful decode.
extern char LastDecodedText[kDecodedTextCapacity];
extern int32_t LastEncodationMode;

// What the attempts of the current cycle saw, beyond the text: for the
// picture seam (picture_reading.h), which clears it before each cycle.
struct AttemptRecord {
    int decodedKind = -1;  // the kind that decoded; -1: none since cleared
    int rows = 0;          // grid of the last symbol that reached the decoder
    int cols = 0;
    int status = -1;       // its DecodeStatus; -1: none reached it
    int corrected = 0;     // when decoded
    int32_t length = 0;    // bytes of LastDecodedText, 0 bytes counted
};
extern AttemptRecord LastAttemptRecord;

// 0: the next cycle starts with kinds 0 and 1; 1: with kinds 2 and 3.
extern int32_t PairSelector;

// Runs detection and decoding on the frame in the frame exchange.
AttemptResult RecognitionAttempt(int kind);
// The same, sharing the frame's statistics with the cycle's other attempt.
AttemptResult RecognitionAttempt(int kind, FrameStatistics* statistics);

// What an attempt is run with, beside the pixels.
struct AttemptSetup {
    DetectFlags flags = 0;
    const char* debugFolder = nullptr;   // nullptr: the current directory
    CandidateLog* candidates = nullptr;  // where accepted candidates go
    FrameStatistics* statistics = nullptr;  // shared by the attempts on one frame
    // With both set, the grid goes to the extended decoder, whose outcome
    // lands in `extended` (the report then holds no text).
    const DecodeExtensions* extensions = nullptr;
    ExtendedDecode* extended = nullptr;
};

// What one attempt found: detect's result, and for a grid that reached the
// decoder its size, status and, when decoded, text and mode.
struct AttemptReport {
    int detected = 0;
    int rows = 0;
    int cols = 0;
    int status = -1;
    int corrected = 0;
    int32_t mode = 0;
    int32_t length = 0;
    char text[kDecodedTextCapacity];
};

// Detection and decoding on a private copy of `rows` (frame layout,
// `stride` bytes a row), traced as the attempt's stages.
AttemptResult runAttempt(const uint8_t* rows, int32_t width, int32_t height, int64_t stride,
                         const AttemptSetup& setup, AttemptReport& report);

// Where the cycle puts its line: the results window in the program, the
// scanner's output in the scanner.
struct ResultsRoutines {
    int (*prependResultLine)(const char* line);
    void (*refreshResultsBox)(int limit);
};

void setResultsRoutines(const ResultsRoutines* routines);

// The frame waiting in the frame exchange, as a picture; false when there
// is none or its size does not fit the buffer.
bool frameInExchange(PictureView& picture);

// A further reading of the cycle's frame, for a cycle whose attempts all
// failed (the program's thorough reading). It runs on the recognition
// thread before frameReady is cleared, so the frame is still the cycle's.
struct CycleFrame {
    PictureView picture;    // the frame's rows, as the attempts read them
    unsigned kindsRun;      // bit k: attempt kind k ran on it and failed
    unsigned kindsRefused;  // of those, bit k: its grid was refused for a
                            // reason other than uncorrectable errors
};

// Room for the longest text of the largest symbol with the decoder's
// extensions, in the ANSI code page.
constexpr int kFallbackTextCapacity = 8192;
static_assert(kFallbackTextCapacity >= kDecodedTextCapacity, "a line holds any attempt's text");

struct FallbackReading {
    char text[kFallbackTextCapacity];  // NUL-terminated, ANSI code page
    int32_t mode;                      // EncodationMode, for the label
};

// True when it read the frame, with `reading` filled in.
using CycleFallback = bool (*)(const CycleFrame& frame, FallbackReading& reading);

// Installs the fallback (nullptr, the default, removes it). Recognition
// thread only, between cycles.
void setCycleFallback(CycleFallback fallback);

// One cycle on the ready frame: one or two attempts, one result line,
// then frameReady is cleared.
void RecognitionCycle();

// Name of an encodation mode in the result line ("" when unknown); the
// scanner prints the same names.
const char* encodationModeName(int32_t mode);

// The result line for a cycle ending at `time`: the time prefix, then the
// text and its mode label, or "None". Returns the line's length.
// Room for the prefix, the longest text (an attempt's or a fallback's)
// and the label.
constexpr int kResultLineCapacity = 96 + kFallbackTextCapacity + 16;
int composeResultLine(char (&line)[kResultLineCapacity], const LocalTime& time,
                      bool decoded, const char* text, int32_t mode);
