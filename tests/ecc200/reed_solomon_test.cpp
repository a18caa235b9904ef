#include "ecc200/reed_solomon.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/support/ecc200_encoder.h"

namespace {

RsCodec* Ecc200Codec(int32_t nroots, int32_t length) { return RsInit(8, 301, 1, 1, nroots, 255 - length); }

std::vector<uint8_t> EncodedBlock(const std::vector<uint8_t>& data, int32_t nroots) {
    std::vector<uint8_t> block = data;
    const std::vector<uint8_t> check = ecc200_test::RsCheckCodewords(data, nroots);
    block.insert(block.end(), check.begin(), check.end());
    return block;
}

bool IsCodeword(const std::vector<uint8_t>& block, int32_t nroots) {
    const std::vector<uint8_t> data(block.begin(), block.end() - nroots);
    return EncodedBlock(data, nroots) == block;
}

TEST(ReedSolomon, FieldTables) {
    RsCodec* rs = Ecc200Codec(5, 8);
    ASSERT_NE(rs, nullptr);
    const uint8_t powers[9] = {1, 2, 4, 8, 16, 32, 64, 128, 45};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(rs->alphaTo[i], powers[i]) << i;
    EXPECT_EQ(rs->alphaTo[255], 0);
    EXPECT_EQ(rs->indexOf[0], 255);
    EXPECT_EQ(rs->indexOf[45], 8);
    EXPECT_EQ(rs->pad, 247);
    EXPECT_EQ(rs->iprim, 1);
    RsFree(rs);
}

TEST(ReedSolomon, InitRejectsBadParameters) {
    EXPECT_EQ(RsInit(9, 301, 1, 1, 5, 0), nullptr);
    EXPECT_EQ(RsInit(8, 0x101, 1, 1, 5, 0), nullptr);  // x^8 + 1: alpha has order 8
    EXPECT_EQ(RsInit(8, 301, 256, 1, 5, 0), nullptr);
    EXPECT_EQ(RsInit(8, 301, 1, 0, 5, 0), nullptr);
    EXPECT_EQ(RsInit(8, 301, 1, 1, 256, 0), nullptr);
    EXPECT_EQ(RsInit(8, 301, 1, 1, 5, 250), nullptr);  // no data symbol left
    RsCodec* rs = RsInit(8, 301, 1, 1, 5, 249);
    EXPECT_NE(rs, nullptr);
    RsFree(rs);
}

TEST(ReedSolomon, ValidBlockIsLeftAlone) {
    std::vector<uint8_t> block = {142, 164, 186, 114, 25, 5, 88, 102};
    const std::vector<uint8_t> original = block;
    RsCodec* rs = Ecc200Codec(5, 8);
    EXPECT_EQ(RsDecode(rs, block.data()), 0);
    EXPECT_EQ(block, original);
    RsFree(rs);
}

// Up to floor(nroots / 2) wrong codewords anywhere are corrected and counted.
TEST(ReedSolomon, CorrectsUpToHalfTheCheckCodewords) {
    struct Case {
        int32_t data, nroots;
    };
    const Case cases[] = {{3, 5}, {5, 7}, {44, 28}, {174, 68}, {156, 62}, {155, 62}, {5, 11}};
    std::mt19937 rng(301);
    for (const Case& c : cases) {
        RsCodec* rs = Ecc200Codec(c.nroots, c.data + c.nroots);
        for (int trial = 0; trial < 40; ++trial) {
            std::vector<uint8_t> data(static_cast<size_t>(c.data));
            for (uint8_t& d : data) d = static_cast<uint8_t>(rng());
            const std::vector<uint8_t> good = EncodedBlock(data, c.nroots);
            std::vector<uint8_t> block = good;
            const int32_t errors = static_cast<int32_t>(rng() % (c.nroots / 2 + 1));
            std::vector<size_t> positions(block.size());
            for (size_t i = 0; i < positions.size(); ++i) positions[i] = i;
            std::shuffle(positions.begin(), positions.end(), rng);
            for (int32_t e = 0; e < errors; ++e) block[positions[e]] ^= static_cast<uint8_t>(1 + rng() % 255);
            SCOPED_TRACE(testing::Message() << c.data << "+" << c.nroots << " errors " << errors);
            EXPECT_EQ(RsDecode(rs, block.data()), errors);
            EXPECT_EQ(block, good);
        }
        RsFree(rs);
    }
}

// Beyond the capacity a block is either refused untouched or turned into a
// valid codeword (sometimes the right one); never into a non-codeword.
TEST(ReedSolomon, TooManyErrorsAreRefusedOrMiscorrectedConsistently) {
    std::mt19937 rng(16022);
    int refused = 0;
    for (int trial = 0; trial < 300; ++trial) {
        const int32_t nroots = trial % 2 == 0 ? 5 : 7;
        const int32_t dataCount = nroots == 5 ? 3 : 5;
        std::vector<uint8_t> data(static_cast<size_t>(dataCount));
        for (uint8_t& d : data) d = static_cast<uint8_t>(rng());
        const std::vector<uint8_t> good = EncodedBlock(data, nroots);
        std::vector<uint8_t> block = good;
        for (int32_t e = 0; e < nroots / 2 + 1; ++e) block[static_cast<size_t>(e) * 2] ^= static_cast<uint8_t>(1 + rng() % 255);
        const std::vector<uint8_t> received = block;
        RsCodec* rs = Ecc200Codec(nroots, static_cast<int32_t>(block.size()));
        const int32_t result = RsDecode(rs, block.data());
        RsFree(rs);
        if (result < 0) {
            ++refused;
            EXPECT_EQ(block, received);
        } else {
            EXPECT_TRUE(IsCodeword(block, nroots));
        }
    }
    EXPECT_GT(refused, 150);
}

// Syndromes of a single error in the virtual zeros in front of a shortened
// block: the locator finds a location outside the block, which must not be
// reported as a correction.
TEST(ReedSolomon, ErrorLocatedInPaddingIsUncorrectable) {
    std::vector<uint8_t> block = {142, 164, 186, 114, 25, 5, 88, 102};
    // x^15 * 77 mod g(x): lands in the check codewords of the 8-codeword block.
    std::vector<uint8_t> virtualError(11, 0);
    virtualError[0] = 77;
    const std::vector<uint8_t> remainder = ecc200_test::RsCheckCodewords(virtualError, 5);
    for (size_t i = 0; i < 5; ++i) block[3 + i] ^= remainder[i];
    const std::vector<uint8_t> received = block;
    RsCodec* rs = Ecc200Codec(5, 8);
    EXPECT_EQ(RsDecode(rs, block.data()), -1);
    EXPECT_EQ(block, received);
    RsFree(rs);

    CodewordBuffer* b = CreateCodewordBuffer(8);
    for (size_t i = 0; i < 8; ++i) b->bytes[i] = received[i];
    b->length = 8;
    EXPECT_EQ(CorrectBlock(b, 5), -1);
    EXPECT_EQ(b->length, 3);  // lowered by nroots even when refused
    ReleaseCodewordBuffer(b);
}

TEST(ReedSolomon, CorrectBlockCountsAndKeepsDataCodewords) {
    CodewordBuffer* b = CreateCodewordBuffer(8);
    const uint8_t block[8] = {142, 164, 186, 114, 25, 5, 88, 102};
    for (int i = 0; i < 8; ++i) b->bytes[i] = block[i];
    b->bytes[1] = 0;
    b->bytes[6] = 0;
    b->length = 8;
    EXPECT_EQ(CorrectBlock(b, 5), 2);
    EXPECT_EQ(b->length, 3);
    EXPECT_EQ(b->bytes[1], 164);
    // A block no longer than its check codewords cannot be decoded.
    b->length = 5;
    EXPECT_EQ(CorrectBlock(b, 5), -1);
    EXPECT_EQ(b->length, 0);
    ReleaseCodewordBuffer(b);
}

}  // namespace
