// The few services the engine takes from the platform: a millisecond tick
// count, the local time, the debugger output channel and character-set
// conversion. Windows supplies them with GetTickCount, GetLocalTime,
// OutputDebugStringA and its code pages; elsewhere they come from POSIX
// clocks, a sink that the program installs and iconv.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

// `length` bytes of text in the character set of code page `codePage`
// (Windows numbering: 437, 932, 1250-1252, 1256, 28590 + n for ISO-8859-n,
// 65001 UTF-8) as UTF-8 in `utf8`. False, with `utf8`
// empty, when the platform lacks the character set or the bytes are not a
// valid text in it: the caller never sees a guessed character.
bool convertToUtf8(uint32_t codePage, const char* bytes, size_t length, std::string& utf8);
