#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace {

// Outside Windows the program's single-byte text is ISO-8859-1: the
// characters up to U+00FF are their own byte, every other character and
// every byte that starts no UTF-8 character is one "?".
TEST(ConvertToAnsi, Utf8ToLatin1WithQuestionMarks) {
    const struct {
        const char* name;
        std::string utf8;
        std::string ansi;
    } cases[] = {
        {"empty", "", ""},
        {"ASCII", "Tessaread 42\r\n", "Tessaread 42\r\n"},
        {"0 bytes kept", std::string("a\0b", 3), std::string("a\0b", 3)},
        {"Latin-1", "Gr\xc3\xbc\xc3\x9f\x65 \xc2\xa0\xc3\xbf\xc2\x80", "Gr\xfc\xdf" "e \xa0\xff\x80"},
        {"beyond Latin-1", "\xe2\x82\xac 5, \xd0\x9f\xd1\x80", "? 5, ??"},
        {"four-byte character", "\xf0\x9f\x98\x80!", "?!"},
        {"stray continuation byte", "a\x80z", "a?z"},
        {"cut-off sequence at the end", "ab\xe2\x82", "ab??"},
        {"cut-off sequence inside", "\xe2\x82z", "??z"},
        {"overlong form", "\xc0\xaf", "??"},
        {"surrogate", "\xed\xa0\x80", "???"},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", "????"},
        {"not a lead byte", "\xff\xfe", "??"},
    };
    for (const auto& c : cases) {
        std::string ansi = "old";
        EXPECT_TRUE(convertToAnsi(c.utf8.data(), c.utf8.size(), ansi)) << c.name;
        EXPECT_EQ(ansi, c.ansi) << c.name;
    }
}

}  // namespace
