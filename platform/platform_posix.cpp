// POSIX services: a monotonic clock for the tick count, CLOCK_REALTIME with
// the local time zone for the clock, and an installable sink in place of a
// debugger channel.
#include "platform/platform.h"

#include <atomic>
#include <ctime>

namespace {

std::atomic<TickSource> tickSource{nullptr};
std::atomic<DebugSink> debugSink{nullptr};
std::atomic<void*> debugContext{nullptr};

// Every detection stage reads the tick count twice, a sampled module cell
// six times; the coarse clock (a few milliseconds' resolution, finer than
// GetTickCount's) costs a fraction of the exact one.
uint32_t monotonicTicks()
{
    timespec now{};
#if defined(CLOCK_MONOTONIC_COARSE)
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
#else
    clock_gettime(CLOCK_MONOTONIC, &now);
#endif
    // Unsigned arithmetic wraps modulo 2^32, as GetTickCount does.
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u +
                  static_cast<uint64_t>(now.tv_nsec / 1000000);
    return static_cast<uint32_t>(ms);
}

}  // namespace

uint32_t platformTicks()
{
    TickSource source = tickSource.load(std::memory_order_acquire);
    return source != nullptr ? source() : monotonicTicks();
}

void setTickSource(TickSource source)
{
    tickSource.store(source, std::memory_order_release);
}

LocalTime platformLocalTime()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    time_t seconds = now.tv_sec;
    tm local{};
    localtime_r(&seconds, &local);
    LocalTime t{};
    t.year = static_cast<unsigned>(local.tm_year + 1900);
    t.month = static_cast<unsigned>(local.tm_mon + 1);
    t.day = static_cast<unsigned>(local.tm_mday);
    t.hour = static_cast<unsigned>(local.tm_hour);
    t.minute = static_cast<unsigned>(local.tm_min);
    // A leap second shows as 60; the Windows record never goes past 59.
    t.second = static_cast<unsigned>(local.tm_sec > 59 ? 59 : local.tm_sec);
    t.milliseconds = static_cast<unsigned>(now.tv_nsec / 1000000);
    return t;
}

void setDebugSink(DebugSink sink, void* context)
{
    // The context goes first, so that a reader who sees the new sink also
    // sees its context.
    debugContext.store(context, std::memory_order_release);
    debugSink.store(sink, std::memory_order_release);
}

bool debugChannelActive()
{
    return debugSink.load(std::memory_order_acquire) != nullptr;
}

void debugOutput(const char* text)
{
    DebugSink sink = debugSink.load(std::memory_order_acquire);
    if (sink != nullptr) {
        sink(text, debugContext.load(std::memory_order_acquire));
    }
}
