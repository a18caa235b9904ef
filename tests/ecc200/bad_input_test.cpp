// Seeded random grids, codeword streams and blocks: the decoder must return
// a valid status and a bounded, NUL-terminated text, whatever it is given.
// Run it under the address and undefined-behaviour sanitizers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "ecc200/data_decode.h"
#include "ecc200/decode_extensions.h"
#include "ecc200/ecc200.h"
#include "ecc200/reed_solomon.h"
#include "ecc200/symbol_size.h"
#include "tests/support/ecc200_encoder.h"

namespace {

bool IsValidStatus(DecodeStatus s) {
    switch (s) {
        case DecodeStatus::Ok:
        case DecodeStatus::SizeNotInTable:
        case DecodeStatus::NoCodewordMemory:
        case DecodeStatus::Uncorrectable:
        case DecodeStatus::NoBlockMemory:
        case DecodeStatus::NoText: return true;
        case DecodeStatus::Unconvertible: return false;  // the extended decoding's only
    }
    return false;
}

bool IsValidMode(int32_t mode) { return mode == 0 || mode == 1 || (mode >= 3 && mode <= 7); }

uint8_t RandomModule(std::mt19937& rng) {
    switch (rng() % 4) {
        case 0: return 0;
        case 1: return 1;
        case 2: return 255;
        default: return static_cast<uint8_t>(rng());
    }
}

// Latch, shift, unlatch, pad and the extended decoding's codewords often,
// any byte otherwise.
uint8_t RandomCodeword(std::mt19937& rng) {
    static constexpr uint8_t kSpecial[] = {129, 230, 231, 232, 234, 235, 236, 238, 239, 240, 241, 254, 0, 1, 255, 124};
    if (rng() % 3 == 0) return kSpecial[rng() % sizeof(kSpecial)];
    return static_cast<uint8_t>(rng());
}

void CheckDecode(int32_t columns, int32_t rows, const std::vector<uint8_t>& grid) {
    int32_t flag = -7, count = -7, mode = -7;
    const DecodeResult r = DecodeSymbol(columns, rows, grid.data(), flag, count, mode);
    ASSERT_TRUE(IsValidStatus(r.status));
    ASSERT_NE(std::memchr(r.text, '\0', sizeof(r.text)), nullptr);
    ASSERT_GE(r.length, 0);
    ASSERT_LT(r.length, kDecodedTextCapacity);
    EXPECT_EQ(r.text[r.length], '\0');
    if (r.status == DecodeStatus::Ok) {
        EXPECT_EQ(flag, 1);
        EXPECT_GE(count, 0);
        EXPECT_TRUE(IsValidMode(mode));
    } else {
        EXPECT_STREQ(r.text, "");
        EXPECT_EQ(flag, -7);
    }
}

TEST(BadInput, RandomGridsOfEverySize) {
    std::mt19937 rng(2024);
    for (int trial = 0; trial < 3000; ++trial) {
        int32_t columns, rows;
        if (trial % 3 == 0) {
            columns = static_cast<int32_t>(rng() % 150);
            rows = static_cast<int32_t>(rng() % 150);
        } else {
            const SymbolSizeRow& s = SymbolSizeAt(trial % kSymbolSizeCount);
            columns = s.columns;
            rows = s.rows;
        }
        std::vector<uint8_t> grid(static_cast<size_t>(columns * rows));
        for (uint8_t& m : grid) m = RandomModule(rng);
        CheckDecode(columns, rows, grid);
    }
    int32_t flag = 0, count = 0, mode = 0;
    EXPECT_EQ(DecodeSymbol(10, 10, nullptr, flag, count, mode).status, DecodeStatus::SizeNotInTable);
}

// Valid symbols carrying random data codewords reach the data decoding.
TEST(BadInput, ValidSymbolsWithRandomData) {
    std::mt19937 rng(16022);
    for (int trial = 0; trial < 3000; ++trial) {
        const int32_t index = static_cast<int32_t>(rng() % 14);  // sizes the data decoding takes
        std::vector<uint8_t> data(static_cast<size_t>(SymbolSizeAt(index).attributes.dataCodewords));
        for (uint8_t& d : data) d = RandomCodeword(rng);
        std::vector<uint8_t> grid = ecc200_test::MakeSymbolGrid(index, ecc200_test::EncodeCodewordStream(index, data));
        for (int k = rng() % 3; k > 0; --k) grid[rng() % grid.size()] = RandomModule(rng);
        CheckDecode(SymbolSizeAt(index).columns, SymbolSizeAt(index).rows, grid);
    }
}

TEST(BadInput, RandomCodewordStreams) {
    std::mt19937 rng(7);
    DecodeExtensions all;
    all.largeSymbols = all.fnc1 = all.macros = all.readerProgramming = all.eci = true;
    for (int trial = 0; trial < 5000; ++trial) {
        const int32_t length = static_cast<int32_t>(rng() % 301);
        // Exactly sized, so that any read past the data is caught.
        CodewordBuffer* b = CreateCodewordBuffer(length);
        for (int32_t i = 0; i < length; ++i) b->bytes[i] = RandomCodeword(rng);
        b->length = length;
        EncodationMode mode = MODE_ASCII;
        int32_t textLength = -1;
        char* text = DecodeDataCodewords(b, mode, textLength);
        if (length > kMaxDecodedDataCodewords) {
            EXPECT_EQ(text, nullptr);
        }
        if (text != nullptr) {
            ASSERT_GE(textLength, 0);
            ASSERT_LE(textLength, 4 * length);
            EXPECT_EQ(text[textLength], '\0');
            EXPECT_LE(std::strlen(text), static_cast<size_t>(textLength));
            EXPECT_TRUE(IsValidMode(mode));
        }
        std::free(text);
        ExtendedData extended;
        if (DecodeDataCodewordsExtended(b, all, extended)) {
            EXPECT_LE(extended.bytes.size(), static_cast<size_t>(4 * length + 16));
            EXPECT_TRUE(IsValidMode(extended.mode));
        }
        ReleaseCodewordBuffer(b);
    }
}

TEST(BadInput, RandomBlocksAndRootCounts) {
    std::mt19937 rng(301);
    for (int trial = 0; trial < 3000; ++trial) {
        // Every block length from nroots + 1 to 255.
        const int32_t nroots = static_cast<int32_t>(rng() % 255);
        const int32_t length = nroots + 1 + static_cast<int32_t>(rng() % (255 - nroots));
        RsCodec* rs = RsInit(8, 301, 1, 1, nroots, 255 - length);
        ASSERT_NE(rs, nullptr) << nroots << " " << length;
        std::vector<uint8_t> block(static_cast<size_t>(length));
        for (uint8_t& v : block) v = static_cast<uint8_t>(rng());
        const std::vector<uint8_t> received = block;
        const int32_t result = RsDecode(rs, block.data());
        EXPECT_GE(result, -1);
        EXPECT_LE(result, nroots);
        if (result == -1) {
            EXPECT_EQ(block, received);
        }
        RsFree(rs);
    }
    for (int trial = 0; trial < 1000; ++trial) {
        const int32_t length = static_cast<int32_t>(rng() % 300);
        CodewordBuffer* b = CreateCodewordBuffer(length);
        for (int32_t i = 0; i < length; ++i) b->bytes[i] = static_cast<uint8_t>(rng());
        b->length = length;
        const int32_t nroots = static_cast<int32_t>(rng() % 300) - 20;
        const int32_t result = CorrectBlock(b, nroots);
        EXPECT_GE(result, -1);
        EXPECT_GE(b->length, 0);
        ReleaseCodewordBuffer(b);
    }
}

}  // namespace
