// The decoder extensions against symbols zint makes at test time, against
// hand-made codeword streams for what zint does not write, and with every
// extension off against the default decoder.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ecc200/decode_extensions.h"
#include "ecc200/symbol_size.h"
#include "tests/support/ecc200_encoder.h"
#include "tests/support/independent_encoders.h"

namespace {

DecodeExtensions AllOn() {
    DecodeExtensions x;
    x.largeSymbols = x.fnc1 = x.macros = x.readerProgramming = x.eci = true;
    return x;
}

// Only the extensions that a case names, as letters: L large, F FNC1,
// M macros, R reader programming, E ECI.
DecodeExtensions Only(const std::string& letters) {
    DecodeExtensions x;
    x.largeSymbols = letters.find('L') != std::string::npos;
    x.fnc1 = letters.find('F') != std::string::npos;
    x.macros = letters.find('M') != std::string::npos;
    x.readerProgramming = letters.find('R') != std::string::npos;
    x.eci = letters.find('E') != std::string::npos;
    return x;
}

// With every extension off the extended entry is the default decoder.
void ExpectSameAsDefault(int32_t columns, int32_t rows, const std::vector<uint8_t>& grid) {
    int32_t flag = 0, count = 0, mode = -7;
    const DecodeResult plain = DecodeSymbol(columns, rows, grid.data(), flag, count, mode);
    const ExtendedDecode ext = DecodeSymbolExtended(columns, rows, grid.data(), DecodeExtensions());
    ASSERT_EQ(ext.status, plain.status);
    EXPECT_EQ(ext.bytes, std::string(plain.text, static_cast<size_t>(plain.length)));
    if (plain.status != DecodeStatus::Ok) return;
    EXPECT_EQ(ext.mode, mode);
    EXPECT_EQ(ext.correctedCount, count);
    EXPECT_EQ(ext.eci, -1);
    EXPECT_FALSE(ext.gs1 || ext.readerProgramming || ext.macro != 0);
}

struct Expected {
    DecodeStatus status;
    std::string bytes;
    std::string utf8;
    int32_t eci;
    bool gs1;
    bool readerProgramming;
    int32_t macro;
};

void ExpectDecode(const ExtendedDecode& d, const Expected& e) {
    ASSERT_EQ(d.status, e.status);
    EXPECT_EQ(d.bytes, e.bytes);
    EXPECT_EQ(d.utf8, e.utf8);
    EXPECT_EQ(d.eci, e.eci);
    EXPECT_EQ(d.gs1, e.gs1);
    EXPECT_EQ(d.readerProgramming, e.readerProgramming);
    EXPECT_EQ(d.macro, e.macro);
}

// A read: its bytes, its UTF-8 (the bytes when empty) and what the
// decoder flagged.
Expected Read(const std::string& bytes, const std::string& utf8 = "", int32_t eci = -1, bool gs1 = false,
              bool readerProgramming = false, int32_t macro = 0) {
    return {DecodeStatus::Ok, bytes, utf8.empty() ? bytes : utf8, eci, gs1, readerProgramming, macro};
}
const Expected refused = {DecodeStatus::NoText, "", "", -1, false, false, 0};
const Expected unconvertible = {DecodeStatus::Unconvertible, "", "", -1, false, false, 0};

const std::string kRs = "\x1e";
const std::string kGs = "\x1d";

TEST(DecodeExtensions, ZintSymbolsReadExactly) {
    ASSERT_TRUE(independent::ProgramAvailable("zint")) << "zint missing: run scripts/setup (zint)";
    std::string digits;
    for (int i = 0; i < 3116; ++i) digits += static_cast<char>('0' + (i * 7 + i / 10) % 10);
    std::string prose;
    while (prose.size() < 1500) prose += "Thorough reading, 144 x 144; ";
    prose.resize(1500);
    const std::string macro05 = "[)>" + kRs + "05" + kGs + "HELLO123" + kRs + "\x04";
    const std::string macro06 = "[)>" + kRs + "06" + kGs + "12S0815" + kGs + "1P4711" + kRs + "\x04";
    const std::string russian = "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82";
    const std::string japanese = "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88";
    const std::string german = "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac";
    struct Case {
        const char* name;
        std::string options;
        std::string data;  // zint's input (UTF-8 unless --binary)
        const char* extensions;
        Expected expected;
    };
    const Case cases[] = {
        {"GS1", "--gs1", "[10]ABC123[21]XYZ", "F", Read("10ABC123" + kGs + "21XYZ", "", -1, true)},
        {"ECI 3 Latin-1", "--eci=3", "caf\xc3\xa9", "E", Read("caf\xe9", "caf\xc3\xa9", 3)},
        {"ECI 7 Cyrillic", "--eci=7", russian, "E", Read("\xbf\xe0\xd8\xd2\xd5\xe2", russian, 7)},
        {"ECI 20 Shift JIS", "--eci=20", japanese, "E", Read("\x83\x65\x83\x58\x83\x67", japanese, 20)},
        {"ECI 26 UTF-8", "--eci=26", german, "E", Read(german, german, 26)},
        {"ECI 23 Windows-1252", "--eci=23", "\xe2\x82\xac" "5", "E", Read("\x80" "5", "\xe2\x82\xac" "5", 23)},
        {"ECI 12 ISO-8859-10", "--eci=12", "\xc5\x8a", "E", Read("\xaf", "\xc5\x8a", 12)},
        {"ECI segments", "--eci=7 --seg1=26,\xe6\x97\xa5\xe6\x9c\xac", "\xd0\x94\xd0\xb0", "E",
         Read("\xb4\xd0\xe6\x97\xa5\xe6\x9c\xac", "\xd0\x94\xd0\xb0\xe6\x97\xa5\xe6\x9c\xac", 26)},
        {"ECI 26 invalid bytes", "--binary --eci=26", "\xc3\x28", "E", unconvertible},
        {"ECI 899 unknown", "--binary --eci=899", "ab", "E", unconvertible},
        {"macro 05", "--binary", macro05, "M", Read(macro05, "", -1, false, false, 5)},
        {"macro 06", "--binary", macro06, "M", Read(macro06, "", -1, false, false, 6)},
        {"reader programming", "--init", "ABC", "R", Read("ABC", "", -1, false, true)},
        {"1,500 characters in 144 x 144", "--vers=24", prose, "L", Read(prose)},
        {"3,116 digits fill 144 x 144", "--vers=24", digits, "L", Read(digits)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        independent::EncodedSymbol symbol;
        std::string error;
        ASSERT_TRUE(independent::EncodeWithZintOptions(c.data, c.options, symbol, error)) << error;
        ExpectDecode(DecodeSymbolExtended(symbol.cols, symbol.rows, symbol.modules.data(), Only(c.extensions)),
                     c.expected);
        ExpectDecode(DecodeSymbolExtended(symbol.cols, symbol.rows, symbol.modules.data(), AllOn()), c.expected);
        ExpectSameAsDefault(symbol.cols, symbol.rows, symbol.modules);
        EXPECT_NE(DecodeSymbolExtended(symbol.cols, symbol.rows, symbol.modules.data(), DecodeExtensions()).status,
                  DecodeStatus::Ok);
    }
}

// What zint does not write: FNC1 in second position and inside C40, long
// ECI designators, and the codewords out of their place.
TEST(DecodeExtensions, CodewordRules) {
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
        Expected expected;
    };
    const Case cases[] = {
        {"FNC1 after a letter is an indicator", {66, 232, 50, 51}, Read("A12")},
        {"FNC1 after a digit pair is an indicator", {142, 232, 66}, Read("12A")},
        {"FNC1 third is a separator", {66, 67, 232, 68}, Read("AB" + kGs + "C")},
        {"FNC1 in C40", {232, 230, 89, 233, 10, 121, 254, 66}, Read("ABC" + kGs + "A", "", -1, true)},
        {"macro not first", {66, 236, 66}, refused},
        {"reader programming not first", {66, 234}, refused},
        {"structured append", {233, 1, 1, 1, 66}, refused},
        {"ECI cut by the end", {66, 241}, refused},
        {"ECI designator codeword out of range", {241, 131, 255, 66}, refused},
        {"ECI 899, two codewords", {241, 131, 11, 66}, unconvertible},
        {"ECI 100000, three codewords", {241, 193, 76, 52, 66}, unconvertible},
        {"ECI 1 and 3 are Latin-1", {241, 2, 235, 106, 241, 4, 66}, Read("\xe9" "A", "\xc3\xa9" "A", 3)},
        {"ECI 27 US-ASCII refuses a high byte", {241, 28, 66, 235, 106}, unconvertible},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t index = 0;
        while (SymbolSizeAt(index).attributes.dataCodewords < static_cast<int32_t>(c.data.size())) ++index;
        const std::vector<uint8_t> grid = ecc200_test::MakeSymbolFromData(index, c.data);
        const SymbolSizeRow& s = SymbolSizeAt(index);
        ExpectDecode(DecodeSymbolExtended(s.columns, s.rows, grid.data(), AllOn()), c.expected);
        ExpectSameAsDefault(s.columns, s.rows, grid);
    }
}

// Encoder-made symbols of every size with random data, the same with
// codeword errors, and random module grids.
TEST(DecodeExtensions, AllOffIsTheDefaultDecoder) {
    std::mt19937 rng(2026);
    static constexpr uint8_t kSpecial[] = {129, 230, 231, 232, 235, 236, 238, 239, 240, 241, 254, 1};
    for (int trial = 0; trial < 600; ++trial) {
        SCOPED_TRACE(trial);
        const int32_t index = static_cast<int32_t>(rng() % 16);
        const SymbolSizeRow& s = SymbolSizeAt(index);
        std::vector<uint8_t> grid;
        if (trial % 4 == 3) {
            grid.resize(static_cast<size_t>(s.rows * s.columns));
            for (uint8_t& m : grid) m = static_cast<uint8_t>(rng() % 2);
        } else {
            std::vector<uint8_t> data(static_cast<size_t>(s.attributes.dataCodewords));
            for (uint8_t& d : data) {
                d = rng() % 4 == 0 ? kSpecial[rng() % sizeof kSpecial] : static_cast<uint8_t>(1 + rng() % 128);
            }
            std::vector<uint8_t> stream = ecc200_test::EncodeCodewordStream(index, data);
            for (int e = 0; e < trial % 4; ++e) stream[rng() % stream.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
            grid = ecc200_test::MakeSymbolGrid(index, stream);
        }
        ExpectSameAsDefault(s.columns, s.rows, grid);
    }
}

}  // namespace
