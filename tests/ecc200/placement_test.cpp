#include "ecc200/placement.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ecc200/symbol_size.h"

namespace {

struct Module {
    int32_t row, col;
};

// Reads a matrix of the given size whose only dark modules are `dark`.
std::vector<uint8_t> ReadWithModules(int32_t rows, int32_t columns, const std::vector<Module>& dark,
                                     uint8_t value = 1) {
    MappingMatrix* m = CreateMappingMatrix(columns, rows, nullptr);
    for (const Module& d : dark) m->modules[d.row * columns + d.col] = value;
    CodewordBuffer* b = CreateCodewordBuffer(2178);
    EXPECT_EQ(ReadCodewords(m, b), b);
    std::vector<uint8_t> out(b->bytes, b->bytes + b->length);
    ReleaseCodewordBuffer(b);
    ReleaseMappingMatrix(m);
    return out;
}

TEST(Placement, FirstCodewordOf10x10WrapsToTheOppositeEdges) {
    const Module bits[8] = {{2, 6}, {2, 7}, {3, 6}, {3, 7}, {3, 0}, {4, 6}, {4, 7}, {4, 0}};
    for (int b = 0; b < 8; ++b) {
        SCOPED_TRACE(b);
        const std::vector<uint8_t> cw = ReadWithModules(8, 8, {bits[b]});
        ASSERT_EQ(cw.size(), 8u);
        EXPECT_EQ(cw[0], 128 >> b);
        for (size_t i = 1; i < cw.size(); ++i) EXPECT_EQ(cw[i], 0);
    }
}

TEST(Placement, CornerPatternsAreTheExpectedCodeword) {
    struct Case {
        int32_t rows, columns;
        std::vector<Module> corner;
        size_t codeword;  // 0-based
        size_t total;
    };
    const Case cases[] = {
        {12, 12, {{11, 0}, {11, 1}, {11, 2}, {0, 10}, {0, 11}, {1, 11}, {2, 11}, {3, 11}}, 7, 18},
        {14, 14, {{11, 0}, {12, 0}, {13, 0}, {0, 10}, {0, 11}, {0, 12}, {0, 13}, {1, 13}}, 7, 24},
        {6, 16, {{5, 0}, {5, 15}, {0, 13}, {0, 14}, {0, 15}, {1, 13}, {1, 14}, {1, 15}}, 6, 12},
        {6, 28, {{3, 0}, {4, 0}, {5, 0}, {0, 26}, {0, 27}, {1, 27}, {2, 27}, {3, 27}}, 0, 21},
        {14, 44, {{11, 0}, {12, 0}, {13, 0}, {0, 42}, {0, 43}, {1, 43}, {2, 43}, {3, 43}}, 7, 77},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rows << " x " << c.columns);
        const std::vector<uint8_t> cw = ReadWithModules(c.rows, c.columns, c.corner);
        ASSERT_EQ(cw.size(), c.total);
        for (size_t i = 0; i < cw.size(); ++i) EXPECT_EQ(cw[i], i == c.codeword ? 255 : 0) << i;
    }
}

TEST(Placement, UndecidedModuleSetsItsBitAndAllHigherOnes) {
    // 10 x 10, first codeword: bit 8 at (4, 0), bit 4 at (3, 7), bit 1 at (2, 6).
    EXPECT_EQ(ReadWithModules(8, 8, {{4, 0}}, 255)[0], 255);
    EXPECT_EQ(ReadWithModules(8, 8, {{3, 7}}, 255)[0], 0xF0);
    EXPECT_EQ(ReadWithModules(8, 8, {{2, 6}}, 255)[0], 0x80);
    EXPECT_EQ(ReadWithModules(8, 8, {{4, 0}, {2, 6}}, 255)[1], 0);
}

// Read, rewind, place into a fresh matrix: every module a codeword covers
// comes back, for every size; only the fixed 2 x 2 corner is left uncovered.
TEST(Placement, ReadThenPlaceReproducesEveryCoveredModuleForAllSizes) {
    std::mt19937 rng(16022);
    for (int32_t i = 0; i < kSymbolSizeCount; ++i) {
        SCOPED_TRACE(i);
        const int32_t w = MappingColumns(i);
        const int32_t h = MappingRows(i);
        MappingMatrix* source = CreateMappingMatrix(w, h, nullptr);
        for (int32_t k = 0; k < w * h; ++k) source->modules[k] = static_cast<uint8_t>(rng() & 1);
        CodewordBuffer* b = CreateCodewordBuffer(TotalCodewords(i));
        ASSERT_EQ(ReadCodewords(source, b), b);
        ASSERT_EQ(b->length, TotalCodewords(i));
        b->length = 0;
        MappingMatrix* copy = CreateMappingMatrix(w, h, b);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(b->length, TotalCodewords(i));
        int32_t uncovered = 0;
        for (int32_t k = 0; k < w * h; ++k) {
            if (copy->modules[k] != source->modules[k]) {
                ++uncovered;
                EXPECT_GE(k / w, h - 2);
                EXPECT_GE(k % w, w - 2);
            }
        }
        EXPECT_LE(uncovered, 4);
        ReleaseMappingMatrix(copy);
        ReleaseCodewordBuffer(b);
        ReleaseMappingMatrix(source);
    }
}

// Slots past the capacity are dropped instead of written past the buffer.
TEST(Placement, ReadingStopsAtTheBufferCapacity) {
    MappingMatrix* m = CreateMappingMatrix(8, 8, nullptr);
    CodewordBuffer* b = CreateCodewordBuffer(5);
    ASSERT_EQ(ReadCodewords(m, b), b);
    EXPECT_EQ(b->length, 5);
    ReleaseCodewordBuffer(b);
    ReleaseMappingMatrix(m);
    EXPECT_EQ(CreateMappingMatrix(-1, 8, nullptr), nullptr);
}

}  // namespace
