// The few services the engine takes from the platform: a millisecond tick
// count, the local time and the debugger output channel. Windows supplies
// them with GetTickCount, GetLocalTime and OutputDebugStringA; elsewhere
// they come from POSIX clocks and a sink that the program installs.
#pragma once

#include <cstdint>

struct LocalTime {
    unsigned year;
    unsigned month;
    unsigned day;
    unsigned hour;
    unsigned minute;
    unsigned second;
    unsigned milliseconds;
};

// Milliseconds since an arbitrary start, 32 bits, wrapping.
uint32_t platformTicks();

// Test seam: replaces the platform's tick counter (nullptr restores it), so
// that tests can drive timers across the 32-bit wrap. Set it before the
// work under test starts.
using TickSource = uint32_t (*)();
void setTickSource(TickSource source);

LocalTime platformLocalTime();

// Where debug output goes when the platform has no debugger channel.
using DebugSink = void (*)(const char* text, void* context);

// Installs (or, with nullptr, removes) the sink. On Windows the channel is
// always OutputDebugStringA and the sink, if any, receives a copy.
void setDebugSink(DebugSink sink, void* context);

// True when debugOutput would deliver the text anywhere. Callers test it
// before they format a message, so that tracing costs nothing when nobody
// listens.
bool debugChannelActive();

// Hands one whole message to the channel in a single call.
void debugOutput(const char* text);
