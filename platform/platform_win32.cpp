// Windows services: GetTickCount, GetLocalTime and OutputDebugStringA (the
// sink, when installed, receives a copy of every debug message), and code
// page conversion through UTF-16.
#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <string>
#include <utility>

namespace {

std::atomic<TickSource> tickSource{nullptr};
std::atomic<DebugSink> debugSink{nullptr};
std::atomic<void*> debugContext{nullptr};

// Windows has no code pages for ISO-8859-10, -11, -14 and -16: their
// characters 0xA0-0xFF (0x00-0x9F are the same code points in every part),
// 0 where the part leaves a byte undefined.
// clang-format off
const uint16_t kIso8859_10[96] = {
    0x00A0, 0x0104, 0x0112, 0x0122, 0x012A, 0x0128, 0x0136, 0x00A7,
    0x013B, 0x0110, 0x0160, 0x0166, 0x017D, 0x00AD, 0x016A, 0x014A,
    0x00B0, 0x0105, 0x0113, 0x0123, 0x012B, 0x0129, 0x0137, 0x00B7,
    0x013C, 0x0111, 0x0161, 0x0167, 0x017E, 0x2015, 0x016B, 0x014B,
    0x0100, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x012E,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x0116, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x0145, 0x014C, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x0168,
    0x00D8, 0x0172, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x0101, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x012F,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x0117, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x0146, 0x014D, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x0169,
    0x00F8, 0x0173, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x0138,
};
const uint16_t kIso8859_11[96] = {
    0x00A0, 0x0E01, 0x0E02, 0x0E03, 0x0E04, 0x0E05, 0x0E06, 0x0E07,
    0x0E08, 0x0E09, 0x0E0A, 0x0E0B, 0x0E0C, 0x0E0D, 0x0E0E, 0x0E0F,
    0x0E10, 0x0E11, 0x0E12, 0x0E13, 0x0E14, 0x0E15, 0x0E16, 0x0E17,
    0x0E18, 0x0E19, 0x0E1A, 0x0E1B, 0x0E1C, 0x0E1D, 0x0E1E, 0x0E1F,
    0x0E20, 0x0E21, 0x0E22, 0x0E23, 0x0E24, 0x0E25, 0x0E26, 0x0E27,
    0x0E28, 0x0E29, 0x0E2A, 0x0E2B, 0x0E2C, 0x0E2D, 0x0E2E, 0x0E2F,
    0x0E30, 0x0E31, 0x0E32, 0x0E33, 0x0E34, 0x0E35, 0x0E36, 0x0E37,
    0x0E38, 0x0E39, 0x0E3A, 0x0000, 0x0000, 0x0000, 0x0000, 0x0E3F,
    0x0E40, 0x0E41, 0x0E42, 0x0E43, 0x0E44, 0x0E45, 0x0E46, 0x0E47,
    0x0E48, 0x0E49, 0x0E4A, 0x0E4B, 0x0E4C, 0x0E4D, 0x0E4E, 0x0E4F,
    0x0E50, 0x0E51, 0x0E52, 0x0E53, 0x0E54, 0x0E55, 0x0E56, 0x0E57,
    0x0E58, 0x0E59, 0x0E5A, 0x0E5B, 0x0000, 0x0000, 0x0000, 0x0000,
};
const uint16_t kIso8859_14[96] = {
    0x00A0, 0x1E02, 0x1E03, 0x00A3, 0x010A, 0x010B, 0x1E0A, 0x00A7,
    0x1E80, 0x00A9, 0x1E82, 0x1E0B, 0x1EF2, 0x00AD, 0x00AE, 0x0178,
    0x1E1E, 0x1E1F, 0x0120, 0x0121, 0x1E40, 0x1E41, 0x00B6, 0x1E56,
    0x1E81, 0x1E57, 0x1E83, 0x1E60, 0x1EF3, 0x1E84, 0x1E85, 0x1E61,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x0174, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x1E6A,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x0176, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x0175, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x1E6B,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x0177, 0x00FF,
};
const uint16_t kIso8859_16[96] = {
    0x00A0, 0x0104, 0x0105, 0x0141, 0x20AC, 0x201E, 0x0160, 0x00A7,
    0x0161, 0x00A9, 0x0218, 0x00AB, 0x0179, 0x00AD, 0x017A, 0x017B,
    0x00B0, 0x00B1, 0x010C, 0x0142, 0x017D, 0x201D, 0x00B6, 0x00B7,
    0x017E, 0x010D, 0x0219, 0x00BB, 0x0152, 0x0153, 0x0178, 0x017C,
    0x00C0, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0106, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x0110, 0x0143, 0x00D2, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x015A,
    0x0170, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x0118, 0x021A, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x0107, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x0111, 0x0144, 0x00F2, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x015B,
    0x0171, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x0119, 0x021B, 0x00FF,
};
// clang-format on

const uint16_t* isoUpperHalf(uint32_t codePage)
{
    switch (codePage) {
    case 28600: return kIso8859_10;
    case 28601: return kIso8859_11;
    case 28604: return kIso8859_14;
    case 28606: return kIso8859_16;
    default: return nullptr;
    }
}

// UTF-16 of `length` bytes in a code page: the system's, or one of the
// tables above. False on a byte sequence the code page lacks.
bool toWide(uint32_t codePage, const char* bytes, int length, std::wstring& wide)
{
    if (const uint16_t* upper = isoUpperHalf(codePage)) {
        wide.resize(static_cast<size_t>(length));
        for (int i = 0; i < length; ++i) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            const uint16_t unit = b < 0xA0 ? b : upper[b - 0xA0];
            if (b >= 0xA0 && unit == 0) return false;
            wide[static_cast<size_t>(i)] = static_cast<wchar_t>(unit);
        }
        return true;
    }
    if (IsValidCodePage(codePage) == 0) return false;
    wide.clear();
    if (length == 0) return true;
    // MB_ERR_INVALID_CHARS: a byte sequence the code page lacks fails the
    // call rather than becoming a replacement character.
    const int wideLength = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, length, nullptr, 0);
    if (wideLength <= 0) return false;
    wide.assign(static_cast<size_t>(wideLength), L'\0');
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, length, &wide[0], wideLength) == wideLength;
}

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
    if (length > 0x3FFFFFFF) return false;
    std::wstring wide;
    if (!toWide(codePage, bytes, static_cast<int>(length), wide)) return false;
    if (wide.empty()) return true;
    const int wideLength = static_cast<int>(wide.size());
    const int utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (utf8Length <= 0) return false;
    std::string out(static_cast<size_t>(utf8Length), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &out[0], utf8Length, nullptr, nullptr) != utf8Length) {
        return false;
    }
    utf8 = std::move(out);
    return true;
}

bool convertToAnsi(const char* utf8, size_t length, std::string& ansi)
{
    ansi.clear();
    if (length == 0) return true;
    if (length > 0x3FFFFFFF) return false;
    const int inLength = static_cast<int>(length);
    // Without MB_ERR_INVALID_CHARS a broken sequence becomes U+FFFD, which
    // no ANSI code page holds: it ends as "?" like any missing character.
    const int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8, inLength, nullptr, 0);
    if (wideLength <= 0) return false;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    if (MultiByteToWideChar(CP_UTF8, 0, utf8, inLength, &wide[0], wideLength) != wideLength) return false;
    // A system whose ANSI code page is UTF-8 takes no default character
    // and needs no replacement; elsewhere WC_NO_BEST_FIT_CHARS keeps
    // Windows from showing a look-alike ("a" for an a with macron) for a
    // character its code page lacks.
    const bool utf8System = GetACP() == CP_UTF8;
    const DWORD flags = utf8System ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* fallback = utf8System ? nullptr : "?";
    const int ansiLength = WideCharToMultiByte(CP_ACP, flags, wide.data(), wideLength, nullptr, 0, fallback, nullptr);
    if (ansiLength <= 0) return false;
    std::string out(static_cast<size_t>(ansiLength), '\0');
    if (WideCharToMultiByte(CP_ACP, flags, wide.data(), wideLength, &out[0], ansiLength, fallback, nullptr) !=
        ansiLength) {
        return false;
    }
    ansi = std::move(out);
    return true;
}
