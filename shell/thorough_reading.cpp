#include "shell/thorough_reading.h"

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "recognition/stage_timer.h"
#include "thorough/thorough_reader.h"

bool readFrameThoroughly(const CycleFrame& frame, FallbackReading& reading) {
    StageTimer thorough("Thorough");
    // One stage in the trace for all the steps' attempts.
    QuietStages quiet;
    ThoroughOptions options;
    options.budgetMs = kThoroughBudgetMs;
    // The cycle's own attempts are not run again.
    options.doneKinds = frame.kindsRun;
    options.refusedKinds = frame.kindsRefused;
    // The budget ends among the enlarging steps: the others go first.
    options.smallStepsFirst = true;
    const ThoroughReading found = readThoroughly(frame.picture, options);
    std::string ansi;
    if (!found.reading.decoded ||
        !convertToAnsi(found.reading.utf8.data(), found.reading.utf8.size(), ansi)) {
        return false;
    }
    // Converted text is never longer than its UTF-8, which the largest
    // symbol keeps well inside the room; the cut is only a guard.
    const size_t length = ansi.size() < sizeof reading.text ? ansi.size() : sizeof reading.text - 1;
    std::memcpy(reading.text, ansi.data(), length);
    reading.text[length] = '\0';
    reading.mode = found.reading.mode;
    return true;
}
