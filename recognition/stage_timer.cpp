#include "recognition/stage_timer.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

// Stage names are short literals; a message of such a name is composed on
// the stack, so that tracing never touches the allocator.
constexpr size_t kMessageCapacity = 256;
constexpr size_t kMaxStackName = 200;

// Open QuietStages scopes of this thread.
thread_local int quietDepth = 0;

const char* safeName(const char* name)
{
    return name != nullptr ? name : "";
}

// The seconds as an output stream prints a float by default: general
// notation, 6 significant digits, no trailing zeros.
int formatEnd(char* buffer, size_t size, const char* name, uint32_t elapsedMs)
{
    float seconds = static_cast<float>(static_cast<double>(elapsedMs) / 1000.0);
    return std::snprintf(buffer, size, "%s processed in %g sec.\n", name,
                         static_cast<double>(seconds));
}

void emitStart(const char* name)
{
    if (std::strlen(name) > kMaxStackName) {
        debugOutput(stageStartMessage(name).c_str());
        return;
    }
    char message[kMessageCapacity];
    std::snprintf(message, sizeof message, "%s started...\n", name);
    debugOutput(message);
}

void emitEnd(const char* name, uint32_t elapsedMs)
{
    if (std::strlen(name) > kMaxStackName) {
        try {
            debugOutput(stageEndMessage(name, elapsedMs).c_str());
        } catch (...) {
            // A destructor must not throw; losing one trace line is harmless.
        }
        return;
    }
    char message[kMessageCapacity];
    formatEnd(message, sizeof message, name, elapsedMs);
    debugOutput(message);
}

}  // namespace

uint32_t stageElapsedMs(uint32_t start, uint32_t now)
{
    // After a wrap the count is one short of the modular difference; the
    // trace has always reported it that way.
    if (now >= start) {
        return now - start;
    }
    return (UINT32_C(4294967295) - start) + now;
}

std::string stageStartMessage(const char* name)
{
    return std::string(safeName(name)) + " started...\n";
}

std::string stageEndMessage(const char* name, uint32_t elapsedMs)
{
    const char* n = safeName(name);
    int length = formatEnd(nullptr, 0, n, elapsedMs);
    if (length <= 0) {
        return std::string();
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    formatEnd(&text[0], text.size(), n, elapsedMs);
    text.resize(static_cast<size_t>(length));
    return text;
}

// A stage is timed only when its start went to a listener: with nobody
// listening (or the thread quiet) the clock is not read at all, and a
// listener that comes during the stage gets no end without a start.
void StageTimer::announce()
{
    if (quietDepth != 0) {
        return;
    }
    announced = true;
    name = safeName(name);
    emitStart(name);
    // Taken after the message, so emitting it is not counted.
    start = platformTicks();
}

void StageTimer::finish()
{
    if (debugChannelActive()) {
        emitEnd(name, stageElapsedMs(start, platformTicks()));
    }
}

QuietStages::QuietStages()
{
    ++quietDepth;
}

QuietStages::~QuietStages()
{
    --quietDepth;
}
