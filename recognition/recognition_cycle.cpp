#include <cstdio>
#include <cstring>

#include "recognition/recognition.h"
#include "shell/frame_exchange.h"
#include "shell/results_text.h"

int32_t PairSelector = 0;

namespace {

const ResultsRoutines* resultsRoutines = nullptr;
CycleFallback cycleFallback = nullptr;

// The first attempt kind of each pair.
constexpr int kPairFirstKind[2] = {0, 2};

unsigned kindBit(int kind, bool set) {
    return set ? 1u << kind : 0u;
}

// The fallback on the frame of a cycle whose pair of attempts, starting
// with kind `first`, gave `results`.
bool readByFallback(int first, const AttemptResult (&results)[2], FallbackReading& reading) {
    CycleFrame frame;
    if (!frameInExchange(frame.picture)) {
        return false;
    }
    frame.kindsRun = kindBit(first, true) | kindBit(first + 1, true);
    frame.kindsRefused = kindBit(first, results[0] == ATTEMPT_DECODE_FAILED) |
                         kindBit(first + 1, results[1] == ATTEMPT_DECODE_FAILED);
    reading.text[0] = '\0';
    reading.mode = 0;
    const bool read = cycleFallback(frame, reading);
    reading.text[sizeof reading.text - 1] = '\0';
    return read;
}

}  // namespace

void setCycleFallback(CycleFallback fallback) {
    cycleFallback = fallback;
}

void setResultsRoutines(const ResultsRoutines* routines) {
    resultsRoutines = routines;
}

const char* encodationModeName(int32_t mode) {
    switch (mode) {
    case MODE_ASCII:
    case MODE_ASCII_UPPER_SHIFT:
        return "ASCII";
    case MODE_C40:
        return "C40";
    case MODE_TEXT:
        return "TEXT";
    case MODE_X12:
        return "X12";
    case MODE_EDIFACT:
        return "EDIFACT";
    case MODE_BASE256:
        return "B256";
    default:
        return "";
    }
}

int composeResultLine(char (&line)[kResultLineCapacity], const LocalTime& time,
                      bool decoded, const char* text, int32_t mode) {
    int length = std::snprintf(line, sizeof line, "%d.%d.%d %d:%d:%d:%d - ",
                               static_cast<int>(time.year), static_cast<int>(time.month),
                               static_cast<int>(time.day), static_cast<int>(time.hour),
                               static_cast<int>(time.minute), static_cast<int>(time.second),
                               static_cast<int>(time.milliseconds));
    if (length < 0) {
        length = 0;
    }
    const size_t room = sizeof line - static_cast<size_t>(length);
    const int added = decoded ? std::snprintf(line + length, room, "%s (%s)", text,
                                              encodationModeName(mode))
                              : std::snprintf(line + length, room, "None");
    return added < 0 ? length : length + added;
}

void RecognitionCycle() {
    StageTimer cycle("Start 1");
    const int first = kPairFirstKind[PairSelector == 1 ? 1 : 0];
    // Both attempts read the same frame: the second reuses what the first
    // counted.
    FrameStatistics statistics;
    AttemptResult results[2] = {RecognitionAttempt(first, &statistics), ATTEMPT_NO_SYMBOL};
    AttemptResult result = results[0];
    if (result != ATTEMPT_DECODED) {
        result = results[1] = RecognitionAttempt(first + 1, &statistics);
    }
    FallbackReading fallback;
    const bool fallbackRead = result != ATTEMPT_DECODED && cycleFallback != nullptr &&
                              readByFallback(first, results, fallback);

    StageTimer display("Start 2");
    const bool decoded = result == ATTEMPT_DECODED;
    if (!decoded) {
        // A failed cycle makes the next one start with the other pair. A
        // fallback's read does not count: the pair follows the attempts
        // alone, so the attempts a frame gets do not depend on the
        // fallback.
        PairSelector = PairSelector == 1 ? 0 : 1;
    }
    char line[kResultLineCapacity];
    if (fallbackRead) {
        composeResultLine(line, platformLocalTime(), true, fallback.text, fallback.mode);
    } else {
        composeResultLine(line, platformLocalTime(), decoded, LastDecodedText, LastEncodationMode);
    }
    if (resultsRoutines != nullptr) {
        resultsRoutines->prependResultLine(line);
        resultsRoutines->refreshResultsBox(kResultsBoxLimit);
    }
    frameExchange.frameReady.store(0, std::memory_order_release);
}
