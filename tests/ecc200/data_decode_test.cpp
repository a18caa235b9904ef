#include "ecc200/data_decode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Decoded {
    bool ok;
    std::string text;
    int32_t mode;
};

Decoded Decode(const std::vector<uint8_t>& codewords) {
    CodewordBuffer* b = CreateCodewordBuffer(static_cast<int32_t>(codewords.size()));
    for (size_t i = 0; i < codewords.size(); ++i) b->bytes[i] = codewords[i];
    b->length = static_cast<int32_t>(codewords.size());
    EncodationMode mode = MODE_ASCII;
    int32_t length = -1;
    char* text = DecodeDataCodewords(b, mode, length);
    ReleaseCodewordBuffer(b);
    Decoded d = {text != nullptr, text != nullptr ? std::string(text, static_cast<size_t>(length)) : std::string(), mode};
    if (text != nullptr) {
        EXPECT_EQ(text[length], '\0');
    }
    std::free(text);
    return d;
}

// 255-state randomizing (ISO/IEC 16022, Annex B.1) of a Base 256 byte at
// 1-based position `position`, to build expected inputs.
uint8_t Randomize255(int32_t position, int32_t value) {
    return static_cast<uint8_t>((value + (149 * position) % 255 + 1) % 256);
}

struct Case {
    const char* name;
    std::vector<uint8_t> codewords;
    std::string text;
    int32_t mode;
};

void ExpectDecodes(const Case& c) {
    SCOPED_TRACE(c.name);
    const Decoded d = Decode(c.codewords);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.text, c.text);
    EXPECT_EQ(d.mode, c.mode);
}

TEST(DataDecode, AsciiTable) {
    const Case cases[] = {
        {"characters", {66, 67, 68}, "ABC", 0},
        {"pad ends the data", {66, 129, 67}, "A", 0},
        {"digit pairs", {142, 164, 186}, "123456", 0},
        {"lowest and highest pair", {130, 229}, "0099", 0},
        {"codeword 128", {128}, "\x7f", 0},
        {"codeword 0 is byte 255", {0, 66}, "\xff" "A", 0},
        {"codeword 1 is a 0 byte", {66, 1, 67}, std::string("A\0B", 3), 0},
        {"upper shift", {235, 66}, "\xc1", 1},
        {"upper shift wraps", {235, 130}, "\x01", 1},
        {"unlatch then latch", {254, 230, 89, 233}, "ABC", 3},
        {"unlatch then character ends", {66, 254, 66, 67}, "A", 0},
        {"unlatch then FNC1 ends", {66, 254, 232}, "A", 0},
        {"last latch is reported", {235, 66, 230, 89, 233}, "\xc1" "ABC", 3},
        {"upper shift after C40", {230, 254, 235, 66}, "\xc1", 1},
        {"empty", {}, "", 0},
    };
    for (const Case& c : cases) ExpectDecodes(c);
}

TEST(DataDecode, AsciiCodewordsWithoutMeaningGiveNoText) {
    for (int c = 232; c <= 255; ++c) {
        if (c == 235 || c == 238 || c == 239 || c == 240 || c == 254) continue;
        EXPECT_FALSE(Decode({66, static_cast<uint8_t>(c), 67}).ok) << c;
    }
}

// Expected codewords as dmtxwrite -c -e c / t / x / e / 8 lists them, and
// hand-made shift sequences.
TEST(DataDecode, C40AndText) {
    const Case cases[] = {
        {"C40 then ASCII", {230, 89, 233, 254, 69}, "ABCD", 3},
        {"C40 trailing shift is padding", {230, 89, 217}, "AB", 3},
        {"C40 two pairs", {230, 89, 233, 109, 17}, "ABCDE", 3},
        {"C40 shift 3 and shift 2", {230, 87, 211, 6, 65}, "Ab!", 3},
        {"C40 shift carried across pairs", {230, 89, 179, 12, 129}, std::string("AAb\0", 4), 3},
        {"C40 upper shift", {230, 10, 255}, "\xc1", 3},
        {"C40 shift 1 control", {230, 1, 225}, "\x0c", 3},
        {"C40 FNC1 gives no character", {230, 10, 121}, "", 3},
        {"C40 pair above the value range", {230, 253, 255, 66}, "A", 3},
        {"Text lower case", {239, 89, 233}, "abc", 4},
        {"Text shift 3 upper case", {239, 12, 171, 12, 212, 254, 69, 129}, "ABCD", 4},
        {"Text mixed", {239, 12, 184, 6, 65}, "Ab!", 4},
        {"single codeword left is ASCII", {230, 89, 233, 66}, "ABCA", 3},
        {"single unlatch left", {230, 89, 233, 254}, "ABC", 3},
        {"pair cut by the end", {230, 89}, "X", 3},
    };
    for (const Case& c : cases) ExpectDecodes(c);
}

TEST(DataDecode, X12) {
    const Case cases[] = {
        {"specials", {238, 89, 233, 254, 43, 63, 129}, "ABC*>", 5},
        {"digits", {238, 89, 222, 254, 51}, "AB12", 5},
        {"CR and space", {238, 0, 122}, "\r *", 5},
    };
    for (const Case& c : cases) ExpectDecodes(c);
}

TEST(DataDecode, Edifact) {
    const Case cases[] = {
        {"unlatch in last value", {240, 4, 32, 196, 20, 97, 200, 36, 167, 192}, "ABCDEFGHIJ", 6},
        {"unlatch in fourth value", {240, 4, 32, 223, 129}, "ABC", 6},
        {"unlatch in first value", {240, 124, 66, 67}, "AB", 6},
        {"unlatch in second value", {240, 5, 240, 67}, "AB", 6},
        {"one codeword left is ASCII", {240, 4, 32, 196, 20, 97, 200, 129}, "ABCDEFGH", 6},
        {"two codewords left are ASCII", {240, 66, 129}, "A", 6},
        {"ASCII after implied unlatch", {240, 4, 32, 196, 70}, "ABCDE", 6},
        {"space and digits", {240, 131, 12, 65, 66}, " 01AA", 6},
    };
    for (const Case& c : cases) ExpectDecodes(c);
}

TEST(DataDecode, Base256) {
    std::vector<uint8_t> toEnd = {231, Randomize255(2, 0)};
    for (int32_t p = 3; p <= 5; ++p) toEnd.push_back(Randomize255(p, 'x'));
    const Case cases[] = {
        {"dmtxwrite Hello", {231, 49, 9, 188, 88, 238, 135, 129}, "Hello", 7},
        {"length 0 runs to the end", toEnd, "xxx", 7},
        {"back to ASCII after the field",
         {231, Randomize255(2, 2), Randomize255(3, 'a'), Randomize255(4, 'b'), 66}, "abA", 7},
        {"two-byte length past the end",
         {231, Randomize255(2, 250), Randomize255(3, 50), Randomize255(4, 'q')}, "q", 7},
        {"length past the end", {231, Randomize255(2, 9), Randomize255(3, 'q')}, "q", 7},
        {"length field cut", {66, 231, Randomize255(3, 251)}, "A", 7},
        {"no length field", {66, 231}, "A", 7},
    };
    for (const Case& c : cases) ExpectDecodes(c);
    // Every byte value, 0 included, at positions across the data.
    for (int32_t first : {0, 77, 190}) {
        std::vector<uint8_t> codewords = {231, Randomize255(2, 0)};
        std::string bytes;
        for (int32_t i = 0; i < 198; ++i) {
            bytes.push_back(static_cast<char>((first + i) % 256));
            codewords.push_back(Randomize255(3 + i, (first + i) % 256));
        }
        ExpectDecodes({"all byte values", codewords, bytes, 7});
    }
}

TEST(DataDecode, AtMost200DataCodewords) {
    const Decoded full = Decode(std::vector<uint8_t>(200, 229));
    ASSERT_TRUE(full.ok);
    EXPECT_EQ(full.text, std::string(400, '9'));
    EXPECT_FALSE(Decode(std::vector<uint8_t>(201, 66)).ok);
    EXPECT_FALSE(Decode(std::vector<uint8_t>(204, 66)).ok);
}

}  // namespace
