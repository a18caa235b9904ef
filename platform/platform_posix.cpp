// POSIX services: a monotonic clock for the tick count, CLOCK_REALTIME with
// the local time zone for the clock, an installable sink in place of a
// debugger channel, iconv for character sets, and ISO-8859-1 as the
// program's own single-byte text.
#include "platform/platform.h"

#include <iconv.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <utility>

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

// iconv's names for the code pages. CP932 rather than SHIFT_JIS: glibc's
// SHIFT_JIS reads 0x5C as a yen sign, Windows' 932 as a backslash.
const char* iconvName(uint32_t codePage)
{
    switch (codePage) {
    case 437: return "CP437";
    case 932: return "CP932";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1252: return "CP1252";
    case 1256: return "CP1256";
    case 65001: return "UTF-8";
    default: break;
    }
    return nullptr;
}

// The code point of the UTF-8 character at `at` and its length in bytes;
// length 0 when the bytes there are no character: a stray continuation
// byte, a sequence cut short, an overlong form, a surrogate, or beyond
// U+10FFFF.
uint32_t utf8Character(const unsigned char* at, size_t left, size_t& length)
{
    length = 0;
    const unsigned char lead = at[0];
    size_t need;
    uint32_t code;
    uint32_t least;
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    if ((lead & 0xE0) == 0xC0) {
        need = 2, code = lead & 0x1Fu, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        need = 3, code = lead & 0x0Fu, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        need = 4, code = lead & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    if (left < need) return 0;
    for (size_t i = 1; i < need; ++i) {
        if ((at[i] & 0xC0) != 0x80) return 0;
        code = code << 6 | (at[i] & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    length = need;
    return code;
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

bool convertToUtf8(uint32_t codePage, const char* bytes, size_t length, std::string& utf8)
{
    utf8.clear();
    char isoName[16];
    const char* name = iconvName(codePage);
    if (name == nullptr && codePage > 28590 && codePage <= 28606) {
        std::snprintf(isoName, sizeof isoName, "ISO-8859-%u", static_cast<unsigned>(codePage - 28590));
        name = isoName;
    }
    if (name == nullptr) return false;
    iconv_t cd = iconv_open("UTF-8", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    // Every character of these sets takes at most 4 bytes of UTF-8.
    std::string out(4 * length + 4, '\0');
    char* in = const_cast<char*>(bytes);
    size_t inLeft = length;
    char* to = &out[0];
    size_t outLeft = out.size();
    // An invalid or incomplete sequence stops iconv with the input unread.
    const bool whole = iconv(cd, &in, &inLeft, &to, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
    iconv_close(cd);
    if (!whole) return false;
    out.resize(out.size() - outLeft);
    utf8 = std::move(out);
    return true;
}

bool convertToAnsi(const char* utf8, size_t length, std::string& ansi)
{
    ansi.clear();
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8);
    size_t at = 0;
    while (at < length) {
        size_t used = 0;
        const uint32_t code = utf8Character(bytes + at, length - at, used);
        // A byte that starts no character is passed over alone, so that
        // the characters after it are still read.
        ansi += used > 0 && code <= 0xFF ? static_cast<char>(code) : '?';
        at += used > 0 ? used : 1;
    }
    return true;
}
