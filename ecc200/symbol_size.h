// ECC200 symbol sizes and the attributes derived from them (ISO/IEC 16022, Table 7).
#pragma once

#include <cstdint>

constexpr int32_t kSymbolSizeCount = 30;

// Data region size and codeword counts of one symbol size.
struct SymbolAttributes {
    int32_t regionColumns;
    int32_t regionRows;
    int32_t dataCodewords;
    int32_t checkCodewords;
};

// One row of the SymbolSizeTable: the five stored values of a size. `regions`
// counts the regions along each side of a square symbol and the regions side
// by side of a rectangular one.
struct SymbolSizeRow {
    SymbolAttributes attributes;
    int32_t rows;
    int32_t columns;
    int32_t regions;
    int32_t blocks;
};

// Index of the first size with exactly these counts, or -1.
int32_t FindSymbolSize(int32_t columns, int32_t rows);

// The stored row of a size index 0..kSymbolSizeCount-1.
const SymbolSizeRow& SymbolSizeAt(int32_t index);

bool IsSquareSize(int32_t index);
int32_t MappingColumns(int32_t index);
int32_t MappingRows(int32_t index);
int32_t TotalCodewords(int32_t index);
int32_t CheckCodewordsPerBlock(int32_t index);
// Codewords of interleaved block `block` (data and check).
int32_t BlockCodewords(int32_t index, int32_t block);
