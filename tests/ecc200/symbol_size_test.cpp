#include "ecc200/symbol_size.h"

#include <gtest/gtest.h>

namespace {

TEST(SymbolSize, LookupByColumnsAndRows) {
    struct Case {
        int32_t columns, rows, index;
    };
    const Case cases[] = {
        {10, 10, 0}, {144, 144, 23}, {32, 32, 9}, {18, 8, 24}, {48, 16, 29}, {26, 12, 26},
        {8, 18, -1},  // rows and columns swapped
        {11, 11, -1}, {0, 0, -1}, {-10, -10, -1}, {146, 146, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindSymbolSize(c.columns, c.rows), c.index) << c.columns << " x " << c.rows;
    }
}

TEST(SymbolSize, DerivedValuesOfEdgeSizes) {
    struct Case {
        int32_t index, mappingRows, mappingColumns, total, checkPerBlock;
        bool square;
    };
    const Case cases[] = {
        {0, 8, 8, 8, 5, true},       {9, 28, 28, 98, 36, true},
        {14, 48, 48, 288, 42, true}, {23, 132, 132, 2178, 62, true},
        {24, 6, 16, 12, 7, false},   {25, 6, 28, 21, 11, false},
        {29, 14, 44, 77, 28, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(MappingRows(c.index), c.mappingRows);
        EXPECT_EQ(MappingColumns(c.index), c.mappingColumns);
        EXPECT_EQ(TotalCodewords(c.index), c.total);
        EXPECT_EQ(CheckCodewordsPerBlock(c.index), c.checkPerBlock);
        EXPECT_EQ(IsSquareSize(c.index), c.square);
    }
}

TEST(SymbolSize, LargestSizeSplitsIntoUnevenBlocks) {
    for (int32_t j = 0; j < 10; ++j) {
        EXPECT_EQ(BlockCodewords(23, j), j < 8 ? 218 : 217);
    }
}

// Frame and block arithmetic every size must satisfy for extraction and
// de-interleaving to stay inside their buffers.
TEST(SymbolSize, EverySizeIsConsistent) {
    for (int32_t i = 0; i < kSymbolSizeCount; ++i) {
        SCOPED_TRACE(i);
        const SymbolSizeRow& s = SymbolSizeAt(i);
        const int32_t down = IsSquareSize(i) ? s.regions : 1;
        EXPECT_EQ(s.rows, MappingRows(i) + 2 * down);
        EXPECT_EQ(s.columns, MappingColumns(i) + 2 * s.regions);
        EXPECT_EQ(s.attributes.checkCodewords % s.blocks, 0);
        int32_t total = 0;
        for (int32_t j = 0; j < s.blocks; ++j) total += BlockCodewords(i, j);
        EXPECT_EQ(total, TotalCodewords(i));
        EXPECT_EQ(FindSymbolSize(s.columns, s.rows), i);
    }
}

}  // namespace
