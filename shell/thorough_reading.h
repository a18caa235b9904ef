// The program's "Thorough reading" option: when a cycle's attempts fail,
// the thorough reader goes on with the same frame within a time budget,
// and a text it reads goes into the result line in the ANSI code page.
#pragma once

#include "recognition/recognition.h"

// What the thorough steps may take of one cycle, so that the grab rhythm
// stays near one frame a second.
constexpr double kThoroughBudgetMs = 400;

// The recognition cycle's fallback while the option is on.
bool readFrameThoroughly(const CycleFrame& frame, FallbackReading& reading);
