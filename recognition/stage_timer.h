// Scope-bound trace of one recognition stage: announces the stage on the
// debugger channel when created and reports its duration when the scope
// ends, by any road (an exception included).
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

class StageTimer {
public:
    // The name must outlive the timer (stage names are literals). Both
    // ends are inline: with nobody listening a timer costs one test of
    // the channel and one of its own flag.
    explicit StageTimer(const char* stageName) : start(0), name(stageName), announced(false)
    {
        if (debugChannelActive())
            announce();
    }
    ~StageTimer()
    {
        if (announced)
            finish();
    }

    StageTimer(const StageTimer&) = delete;
    StageTimer& operator=(const StageTimer&) = delete;

private:
    void announce();
    void finish();

    uint32_t start;
    const char* name;
    bool announced;
};

// While one lives, the stage timers of its thread stay silent: for work
// beside the cycle's own stages (the thorough steps, whose many attempts
// would flood the channel and, under a debugger, take most of their
// time budget). Scopes nest.
class QuietStages {
public:
    QuietStages();
    ~QuietStages();

    QuietStages(const QuietStages&) = delete;
    QuietStages& operator=(const QuietStages&) = delete;
};

// Elapsed milliseconds between two readings of the wrapping tick counter.
uint32_t stageElapsedMs(uint32_t start, uint32_t now);

// The two trace messages, as they go to the channel.
std::string stageStartMessage(const char* name);
std::string stageEndMessage(const char* name, uint32_t elapsedMs);
