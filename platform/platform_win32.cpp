// Windows services: GetTickCount, GetLocalTime and OutputDebugStringA (the
// sink, when installed, receives a copy of every debug message), and code
// page conversion through UTF-16.
#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <utility>

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

bool convertToUtf8(uint32_t codePage, const char* bytes, size_t length, std::string& utf8)
{
    utf8.clear();
    if (length == 0) return IsValidCodePage(codePage) != 0;
    if (length > 0x3FFFFFFF || IsValidCodePage(codePage) == 0) return false;
    const int inLength = static_cast<int>(length);
    // MB_ERR_INVALID_CHARS: a byte sequence the code page lacks fails the
    // call rather than becoming a replacement character.
    const int wideLength = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, inLength, nullptr, 0);
    if (wideLength <= 0) return false;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, inLength, &wide[0], wideLength) != wideLength) {
        return false;
    }
    const int utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (utf8Length <= 0) return false;
    std::string out(static_cast<size_t>(utf8Length), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &out[0], utf8Length, nullptr, nullptr) != utf8Length) {
        return false;
    }
    utf8 = std::move(out);
    return true;
}
