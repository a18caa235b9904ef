// Windows services: GetTickCount, GetLocalTime and OutputDebugStringA. The
// sink, when installed, receives a copy of every debug message.
#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>

namespace {

std::atomic<TickSource> tickSource{nullptr};
std::atomic<DebugSink> debugSink{nullptr};
std::atomic<void*> debugContext{nullptr};

}  // namespace

uint32_t platformTicks()
{
    TickSource source = tickSource.load(std::memory_order_acquire);
    return source != nullptr ? source() : static_cast<uint32_t>(GetTickCount());
}

void setTickSource(TickSource source)
{
    tickSource.store(source, std::memory_order_release);
}

LocalTime platformLocalTime()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    LocalTime t{};
    t.year = now.wYear;
    t.month = now.wMonth;
    t.day = now.wDay;
    t.hour = now.wHour;
    t.minute = now.wMinute;
    t.second = now.wSecond;
    t.milliseconds = now.wMilliseconds;
    return t;
}

void setDebugSink(DebugSink sink, void* context)
{
    debugContext.store(context, std::memory_order_release);
    debugSink.store(sink, std::memory_order_release);
}

bool debugChannelActive()
{
    // OutputDebugStringA is always there to receive the text.
    return true;
}

void debugOutput(const char* text)
{
    OutputDebugStringA(text);
    DebugSink sink = debugSink.load(std::memory_order_acquire);
    if (sink != nullptr) {
        sink(text, debugContext.load(std::memory_order_acquire));
    }
}
