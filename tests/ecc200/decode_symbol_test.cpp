#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ecc200/ecc200.h"
#include "ecc200/symbol_size.h"
#include "tests/support/ecc200_encoder.h"

namespace {

struct Outcome {
    DecodeResult result;
    int32_t flag = -7;
    int32_t count = -7;
    int32_t mode = -7;
};

Outcome DecodeGrid(int32_t sizeIndex, const std::vector<uint8_t>& grid) {
    Outcome o;
    const SymbolSizeRow& s = SymbolSizeAt(sizeIndex);
    o.result = DecodeSymbol(s.columns, s.rows, grid.data(), o.flag, o.count, o.mode);
    return o;
}

std::vector<uint8_t> RandomData(int32_t sizeIndex, std::mt19937& rng) {
    std::vector<uint8_t> data(static_cast<size_t>(SymbolSizeAt(sizeIndex).attributes.dataCodewords));
    for (uint8_t& d : data) d = static_cast<uint8_t>(rng());
    return data;
}

// Alters the codewords of `stream` at the given positions.
std::vector<uint8_t> WithErrors(std::vector<uint8_t> stream, const std::vector<size_t>& positions,
                                std::mt19937& rng) {
    for (size_t p : positions) stream[p] ^= static_cast<uint8_t>(1 + rng() % 255);
    return stream;
}

TEST(DecodeSymbol, TenByTenDecodesAndCountsCorrections) {
    const std::vector<uint8_t> stream = {142, 164, 186, 114, 25, 5, 88, 102};
    Outcome clean = DecodeGrid(0, ecc200_test::MakeSymbolGrid(0, stream));
    EXPECT_EQ(clean.result.status, DecodeStatus::Ok);
    EXPECT_STREQ(clean.result.text, "123456");
    EXPECT_EQ(clean.flag, 1);
    EXPECT_EQ(clean.count, 0);
    EXPECT_EQ(clean.mode, MODE_ASCII);
    std::mt19937 rng(10);
    for (size_t i = 0; i < stream.size(); ++i) {
        for (size_t j = i + 1; j < stream.size(); ++j) {
            const Outcome o = DecodeGrid(0, ecc200_test::MakeSymbolGrid(0, WithErrors(stream, {i, j}, rng)));
            EXPECT_EQ(o.result.status, DecodeStatus::Ok) << i << "," << j;
            EXPECT_STREQ(o.result.text, "123456");
            EXPECT_EQ(o.count, 2);
        }
    }
}

TEST(DecodeSymbol, TwelveByTwelveCorrectsUpToThreeCodewords) {
    std::mt19937 rng(12);
    const std::vector<uint8_t> data = {73, 102, 109, 109, 112};  // "Hello"
    const std::vector<uint8_t> stream = ecc200_test::EncodeCodewordStream(1, data);
    int refused = 0;
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<size_t> positions(stream.size());
        for (size_t i = 0; i < positions.size(); ++i) positions[i] = i;
        std::shuffle(positions.begin(), positions.end(), rng);
        const size_t errors = 1 + static_cast<size_t>(trial % 6);
        positions.resize(errors);
        const Outcome o = DecodeGrid(1, ecc200_test::MakeSymbolGrid(1, WithErrors(stream, positions, rng)));
        if (errors <= 3) {
            ASSERT_EQ(o.result.status, DecodeStatus::Ok) << errors;
            EXPECT_STREQ(o.result.text, "Hello");
            EXPECT_EQ(o.count, static_cast<int32_t>(errors));
        } else if (o.result.status == DecodeStatus::Uncorrectable) {
            ++refused;
            EXPECT_STREQ(o.result.text, "");
            EXPECT_EQ(o.flag, -7);  // out-values untouched on failure
        }
    }
    EXPECT_GT(refused, 50);
}

TEST(DecodeSymbol, RectangleDecodesButNotSwapped) {
    const std::vector<uint8_t> grid = ecc200_test::MakeSymbolFromData(24, {67, 67, 67});
    Outcome ok = DecodeGrid(24, grid);
    EXPECT_EQ(ok.result.status, DecodeStatus::Ok);
    EXPECT_STREQ(ok.result.text, "BBB");
    int32_t flag = -7, count = -7, mode = -7;
    const DecodeResult swapped = DecodeSymbol(8, 18, grid.data(), flag, count, mode);
    EXPECT_EQ(swapped.status, DecodeStatus::SizeNotInTable);
    EXPECT_STREQ(swapped.text, "");
    EXPECT_EQ(flag, -7);
    EXPECT_EQ(count, -7);
    EXPECT_EQ(mode, -7);
}

TEST(DecodeSymbol, UndecidedModulesAreCorrectedAsErrors) {
    std::vector<uint8_t> grid = ecc200_test::MakeSymbolFromData(0, {142, 164, 186});
    grid[5 * 10 + 1] = 255;  // mapping (4, 0): bit 8 of the first codeword
    const Outcome o = DecodeGrid(0, grid);
    EXPECT_EQ(o.result.status, DecodeStatus::Ok);
    EXPECT_STREQ(o.result.text, "123456");
    EXPECT_EQ(o.count, 1);
}

// 52 x 52: codeword p belongs to block p mod 2, so 21 errors (the most a
// block of 42 check codewords takes) on even and 21 on odd positions are
// corrected, while 22 on even positions are not. Its 204 data codewords are
// more than the data decoding takes.
TEST(DecodeSymbol, FiftyTwoDeinterleavesByStreamPosition) {
    std::mt19937 rng(52);
    const std::vector<uint8_t> stream = ecc200_test::EncodeCodewordStream(14, RandomData(14, rng));
    std::vector<size_t> both;
    for (size_t k = 0; k < 42; ++k) both.push_back(k);  // 21 even, 21 odd, all in the first half
    const Outcome corrected = DecodeGrid(14, ecc200_test::MakeSymbolGrid(14, WithErrors(stream, both, rng)));
    EXPECT_EQ(corrected.result.status, DecodeStatus::NoText);
    EXPECT_STREQ(corrected.result.text, "");
    EXPECT_EQ(corrected.mode, -7);
    std::vector<size_t> even;
    for (size_t k = 0; k < 22; ++k) even.push_back(4 * k + 100);
    const Outcome refused = DecodeGrid(14, ecc200_test::MakeSymbolGrid(14, WithErrors(stream, even, rng)));
    EXPECT_EQ(refused.result.status, DecodeStatus::Uncorrectable);
}

// 144 x 144 holds 2178 codewords (8 blocks of 218, 2 of 217): all are read
// and corrected, then the size reports that it yields no text. Stream
// position 1558 is block 8's first check codeword; 32 errors in block 8 are
// beyond its 62 check codewords.
TEST(DecodeSymbol, LargestSizesAreCorrectedThenGiveNoText) {
    std::mt19937 rng(144);
    for (int32_t index : {22, 23}) {
        SCOPED_TRACE(index);
        const std::vector<uint8_t> stream = ecc200_test::EncodeCodewordStream(index, RandomData(index, rng));
        const Outcome clean = DecodeGrid(index, ecc200_test::MakeSymbolGrid(index, stream));
        EXPECT_EQ(clean.result.status, DecodeStatus::NoText);
        EXPECT_STREQ(clean.result.text, "");
    }
    const std::vector<uint8_t> stream = ecc200_test::EncodeCodewordStream(23, RandomData(23, rng));
    // Block 8's first check and last codeword, and block 6's last codeword.
    std::vector<size_t> block8 = {1558, 2168, 2176};
    for (size_t k = 0; k < 28; ++k) block8.push_back(8 + 10 * (k * 5));
    const Outcome corrected = DecodeGrid(23, ecc200_test::MakeSymbolGrid(23, WithErrors(stream, block8, rng)));
    EXPECT_EQ(corrected.result.status, DecodeStatus::NoText);
    block8.push_back(18);
    block8.push_back(28);
    const Outcome refused = DecodeGrid(23, ecc200_test::MakeSymbolGrid(23, WithErrors(stream, block8, rng)));
    EXPECT_EQ(refused.result.status, DecodeStatus::Uncorrectable);
}

TEST(DecodeSymbol, DataWithoutMeaningGivesNoText) {
    const Outcome o = DecodeGrid(1, ecc200_test::MakeSymbolFromData(1, {66, 232, 66}));
    EXPECT_EQ(o.result.status, DecodeStatus::NoText);
    EXPECT_STREQ(o.result.text, "");
    EXPECT_EQ(o.flag, -7);
}

TEST(DecodeSymbol, ReportsEncodationModeAndLength) {
    const Outcome o = DecodeGrid(2, ecc200_test::MakeSymbolFromData(2, {239, 12, 171, 12, 212, 254, 69}));
    EXPECT_EQ(o.result.status, DecodeStatus::Ok);
    EXPECT_STREQ(o.result.text, "ABCD");
    EXPECT_EQ(o.result.length, 4);
    EXPECT_EQ(o.mode, MODE_TEXT);
    // A 0 byte inside the data is counted; the text still ends at it.
    const Outcome zero = DecodeGrid(1, ecc200_test::MakeSymbolFromData(1, {66, 1, 67}));
    EXPECT_EQ(zero.result.status, DecodeStatus::Ok);
    EXPECT_EQ(std::string(zero.result.text, static_cast<size_t>(zero.result.length)), std::string("A\0B", 3));
}

}  // namespace
