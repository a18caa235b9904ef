// Recognition control: one cycle per grabbed frame, each made of one or two
// attempts (detection and decoding with one of four detector settings),
// ending in one time-stamped result line.
#pragma once

#include <cstdint>

#include "detect/recognizer.h"
#include "ecc200/ecc200.h"
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

// Where the last successful decode came from: its attempt kind and the
// size of its module grid (for the scanner's report and for tests).
struct DecodeOrigin {
    int kind;
    int rows;
    int cols;
};
extern DecodeOrigin LastDecodeOrigin;

// 0: the next cycle starts with kinds 0 and 1; 1: with kinds 2 and 3.
extern int32_t PairSelector;

// Runs detection and decoding on the frame in the frame exchange.
AttemptResult RecognitionAttempt(int kind);

// Where the cycle puts its line: the results window in the program, the
// scanner's output in the scanner.
struct ResultsRoutines {
    int (*prependResultLine)(const char* line);
    void (*refreshResultsBox)(int limit);
};

void setResultsRoutines(const ResultsRoutines* routines);

// One cycle on the ready frame: one or two attempts, one result line,
// then frameReady is cleared.
void RecognitionCycle();

// Name of an encodation mode in the result line ("" when unknown).
const char* encodationModeName(int32_t mode);

// The result line for a cycle ending at `time`: the time prefix, then the
// text and its mode label, or "None". Returns the line's length.
// Room for the prefix, the longest text and the label.
constexpr int kResultLineCapacity = 96 + kDecodedTextCapacity + 16;
int composeResultLine(char (&line)[kResultLineCapacity], const LocalTime& time,
                      bool decoded, const char* text, int32_t mode);
