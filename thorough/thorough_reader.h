// Thorough reading: when the fixed cycle's four attempt kinds find nothing
// in a picture, a fixed sequence of prepared pictures (enlarged and
// binarised by local mean, cropped to finder candidates, blurred, reduced,
// transposed, inverted) and detector switches is tried until one decodes.
// The same picture always takes the same road to the same result.
#pragma once

#include "recognition/picture_reading.h"
#include "thorough/picture.h"

struct ThoroughOptions {
    int maxAttempts = 0;  // 0: no bound on the attempts
    double budgetMs = 0;  // 0: no time budget (the result is then deterministic)
    // Called with every picture a step prepares, before its attempts.
    void (*preparedPicture)(void* context, const char* step, const Picture& picture) = nullptr;
    void* context = nullptr;
};

struct ThoroughReading {
    PictureReading reading;
    const char* step = nullptr;  // the step that decoded ("cycle" for the fixed cycle)
    int attempts = 0;            // detector runs made
};

ThoroughReading readThoroughly(const PictureView& picture, const ThoroughOptions& options);
