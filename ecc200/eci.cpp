#include "ecc200/eci.h"

#include <cstdint>

#include "platform/platform.h"

namespace {

constexpr uint32_t kLatin1 = 28591;
constexpr uint32_t kUsAscii = 20127;

struct EciCharset {
    int32_t eci;
    uint32_t codePage;
};

// The AIM ECI assignments. Windows numbers ISO-8859-n 28590 + n, and so
// does this table for the parts Windows itself does not carry (10, 11,
// 14, 16); the platform knows them by the same numbers.
// clang-format off
constexpr EciCharset kEciCharsets[] = {
    { 0,   437}, { 1, 28591}, { 2,   437}, { 3, 28591}, { 4, 28592}, { 5, 28593},
    { 6, 28594}, { 7, 28595}, { 8, 28596}, { 9, 28597}, {10, 28598}, {11, 28599},
    {12, 28600}, {13, 28601}, {15, 28603}, {16, 28604}, {17, 28605}, {18, 28606},
    {20,   932}, {21,  1250}, {22,  1251}, {23,  1252}, {24,  1256}, {26, 65001},
    {27, 20127},
};
// clang-format on

void AppendLatin1(const char* bytes, size_t length, std::string& utf8) {
    for (size_t i = 0; i < length; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            utf8 += static_cast<char>(b);
        } else {
            utf8 += static_cast<char>(0xC0 | (b >> 6));
            utf8 += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
}

// Latin-1 and US-ASCII are converted here: they need no tables, and
// Windows' US-ASCII code page clears the top bit of a byte instead of
// refusing it.
bool AppendConverted(uint32_t codePage, const char* bytes, size_t length, std::string& utf8) {
    if (codePage == 0) return false;
    if (codePage == kUsAscii) {
        for (size_t i = 0; i < length; ++i) {
            if (static_cast<unsigned char>(bytes[i]) >= 0x80) return false;
        }
        utf8.append(bytes, length);
        return true;
    }
    if (codePage == kLatin1) {
        AppendLatin1(bytes, length, utf8);
        return true;
    }
    std::string converted;
    if (!convertToUtf8(codePage, bytes, length, converted)) return false;
    utf8 += converted;
    return true;
}

// The code page of the character set ECI `eci` names, or 0 when the
// designator names none this decoder knows.
uint32_t EciCodePage(int32_t eci) {
    for (const EciCharset& c : kEciCharsets) {
        if (c.eci == eci) return c.codePage;
    }
    return 0;
}

}  // namespace

std::string Latin1ToUtf8(const std::string& bytes) {
    std::string utf8;
    utf8.reserve(bytes.size());
    AppendLatin1(bytes.data(), bytes.size(), utf8);
    return utf8;
}

bool EciBytesToUtf8(const std::string& bytes, const std::vector<EciSegment>& segments,
                    std::string& utf8) {
    utf8.clear();
    size_t start = 0;
    uint32_t codePage = kLatin1;
    // Each segment runs to the next designator; an empty one converts nothing
    // but its ECI must still be known.
    for (const EciSegment& segment : segments) {
        if (segment.start < 0 || static_cast<size_t>(segment.start) < start ||
            static_cast<size_t>(segment.start) > bytes.size()) {
            return false;
        }
        const size_t end = static_cast<size_t>(segment.start);
        if (!AppendConverted(codePage, bytes.data() + start, end - start, utf8)) return false;
        start = end;
        codePage = EciCodePage(segment.eci);
    }
    return AppendConverted(codePage, bytes.data() + start, bytes.size() - start, utf8);
}
