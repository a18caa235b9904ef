// Inputs on which the decoder's fuzz targets once failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "ecc200/placement.h"
#include "ecc200/reed_solomon.h"

namespace {

struct CodeParameters {
    int32_t symbolSize, polynomial, fcr, prim, nroots, pad;
};

// RsInit looked for the prim-th root of 1 without end when prim shares a
// factor with 2^mm - 1 (the search overflowed). Fuzz input
// C0 08 1D 01 70 1B 20 00 09: GF(256) with x^8+x^4+x^3+x^2+1, fcr 112,
// prim 27 (255 = 3 * 5 * 17).
TEST(FuzzFound, RsInitRefusesAPrimWithoutInverse) {
    const CodeParameters refused[] = {
        {8, 0x11D, 112, 27, 32, 0},
        {8, 301, 1, 3, 10, 0},
        {8, 301, 1, 85, 10, 100},
        {4, 0x13, 1, 5, 4, 0},  // 15 = 3 * 5
        {4, 0x13, 1, 6, 4, 0},
    };
    for (const CodeParameters& p : refused) {
        RsCodec* rs = RsInit(p.symbolSize, p.polynomial, p.fcr, p.prim, p.nroots, p.pad);
        EXPECT_EQ(rs, nullptr) << "prim " << p.prim;
        RsFree(rs);
    }
}

// Every prim that has an inverse modulo 255 still gives a codec, whose
// iprim is that inverse.
TEST(FuzzFound, RsInitAcceptsEveryPrimWithInverse) {
    for (int32_t prim = 1; prim < 255; ++prim) {
        const bool coprime = prim % 3 != 0 && prim % 5 != 0 && prim % 17 != 0;
        RsCodec* rs = RsInit(8, 301, 1, prim, 6, 0);
        ASSERT_EQ(rs != nullptr, coprime) << "prim " << prim;
        if (rs != nullptr) {
            EXPECT_EQ(rs->iprim * prim % 255, 1) << "prim " << prim;
            RsFree(rs);
        }
    }
}

// A 58-byte block with 4 check codewords and five wrong bytes: the
// locator had one root inside the block, and the "corrected" block was no
// codeword, yet it was reported as one correction. Fuzz input: nroots 4,
// then the block.
TEST(FuzzFound, CorrectBlockReportsANonCodewordAsFailure) {
    std::vector<uint8_t> bytes(58, 0);
    bytes[0] = 0x13;
    bytes[54] = 0x08;
    bytes[55] = 0x49;
    bytes[56] = 0x49;
    bytes[57] = 0x01;
    CodewordBuffer* block = CreateCodewordBuffer(58);
    ASSERT_NE(block, nullptr);
    std::copy(bytes.begin(), bytes.end(), block->bytes);
    block->length = 58;
    EXPECT_EQ(CorrectBlock(block, 4), -1);
    EXPECT_EQ(std::vector<uint8_t>(block->bytes, block->bytes + 58), bytes);
    ReleaseCodewordBuffer(block);
}

// Whatever a block holds, what CorrectBlock calls corrected is a codeword:
// decoding it again finds nothing to correct. Random blocks of ECC200
// lengths, most with far more errors than the code corrects.
TEST(FuzzFound, EveryCorrectedBlockIsACodeword) {
    std::mt19937 random(7);
    int corrected = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        const int32_t nroots = 5 + static_cast<int32_t>(random() % 8);
        const int32_t length = nroots + 1 + static_cast<int32_t>(random() % 40);
        CodewordBuffer* block = CreateCodewordBuffer(length);
        ASSERT_NE(block, nullptr);
        // Mostly zeros (a codeword) with a few random bytes.
        for (int32_t i = 0; i < length; ++i) {
            block->bytes[i] = random() % 6 == 0 ? static_cast<uint8_t>(random()) : 0;
        }
        block->length = length;
        if (CorrectBlock(block, nroots) > 0) {
            ++corrected;
            block->length = length;
            EXPECT_EQ(CorrectBlock(block, nroots), 0) << "trial " << trial;
        }
        ReleaseCodewordBuffer(block);
    }
    EXPECT_GT(corrected, 0);
}

}  // namespace
