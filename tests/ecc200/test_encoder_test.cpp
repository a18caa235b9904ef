// The test-side encoder must make the symbols an independent encoder makes,
// or every test built on it proves little.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "ecc200/symbol_size.h"
#include "tests/support/ecc200_encoder.h"

namespace {

// ASCII encodation with digit pairs, as dmtxwrite -e a writes it.
std::vector<uint8_t> AsciiCodewords(const std::string& text) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i + 1 < text.size() && isdigit(static_cast<unsigned char>(text[i])) &&
            isdigit(static_cast<unsigned char>(text[i + 1]))) {
            out.push_back(static_cast<uint8_t>(130 + (text[i] - '0') * 10 + (text[i + 1] - '0')));
            ++i;
        } else {
            out.push_back(static_cast<uint8_t>(static_cast<unsigned char>(text[i]) + 1));
        }
    }
    return out;
}

std::vector<uint8_t> LoadSampleGrid(const std::string& name) {
    std::ifstream in(std::string(TESSAREAD_SOURCE_DIR) + "/samples/grids/" + name);
    std::vector<uint8_t> grid;
    char ch;
    while (in.get(ch)) {
        if (ch == '0' || ch == '1') grid.push_back(static_cast<uint8_t>(ch - '0'));
    }
    return grid;
}

TEST(TestEncoder, ReedSolomonCheckCodewordsOf10x10) {
    EXPECT_EQ(ecc200_test::RsCheckCodewords({142, 164, 186}, 5), (std::vector<uint8_t>{114, 25, 5, 88, 102}));
}

TEST(TestEncoder, PadsAsTheStandardRandomizes) {
    // "Hello, World!" in 18 x 18: 13 characters, 129, then 253-state pads.
    const std::vector<uint8_t> padded = ecc200_test::PadDataCodewords(AsciiCodewords("Hello, World!"), 18);
    EXPECT_EQ(padded, (std::vector<uint8_t>{73, 102, 109, 109, 112, 45, 33, 88, 112, 115, 109, 101, 34, 129, 87,
                                            237, 133, 28}));
}

TEST(TestEncoder, SymbolsMatchDmtxwriteSamples) {
    struct Case {
        const char* file;
        int32_t columns, rows;
        const char* text;
    };
    const Case cases[] = {
        {"hello-world.txt", 18, 18, "Hello, World!"},
        {"serial-rectangle.txt", 32, 8, "SN 2023-11-07"},
        {"sentence-44x44.txt", 44, 44,
         "The quick brown fox jumps over the lazy dog. 0123456789 THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::vector<uint8_t> expected = LoadSampleGrid(c.file);
        const int32_t index = FindSymbolSize(c.columns, c.rows);
        ASSERT_GE(index, 0);
        ASSERT_EQ(expected.size(), static_cast<size_t>(c.columns * c.rows));
        EXPECT_EQ(ecc200_test::MakeSymbolFromData(index, AsciiCodewords(c.text)), expected);
    }
}

}  // namespace
