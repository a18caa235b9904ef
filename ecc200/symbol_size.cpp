#include "ecc200/symbol_size.h"

namespace {

// ISO/IEC 16022 ECC200 symbol attributes: squares by size, then rectangles.
// clang-format off
constexpr SymbolSizeRow kSymbolSizeTable[kSymbolSizeCount] = {
    // region cols, region rows, data, check    rows cols regions blocks
    {{ 8,  8,    3,   5},                         10,  10,  1,  1},
    {{10, 10,    5,   7},                         12,  12,  1,  1},
    {{12, 12,    8,  10},                         14,  14,  1,  1},
    {{14, 14,   12,  12},                         16,  16,  1,  1},
    {{16, 16,   18,  14},                         18,  18,  1,  1},
    {{18, 18,   22,  18},                         20,  20,  1,  1},
    {{20, 20,   30,  20},                         22,  22,  1,  1},
    {{22, 22,   36,  24},                         24,  24,  1,  1},
    {{24, 24,   44,  28},                         26,  26,  1,  1},
    {{14, 14,   62,  36},                         32,  32,  2,  1},
    {{16, 16,   86,  42},                         36,  36,  2,  1},
    {{18, 18,  114,  48},                         40,  40,  2,  1},
    {{20, 20,  144,  56},                         44,  44,  2,  1},
    {{22, 22,  174,  68},                         48,  48,  2,  1},
    {{24, 24,  204,  84},                         52,  52,  2,  2},
    {{14, 14,  280, 112},                         64,  64,  4,  2},
    {{16, 16,  368, 144},                         72,  72,  4,  4},
    {{18, 18,  456, 192},                         80,  80,  4,  4},
    {{20, 20,  576, 224},                         88,  88,  4,  4},
    {{22, 22,  696, 272},                         96,  96,  4,  4},
    {{24, 24,  816, 336},                        104, 104,  4,  6},
    {{18, 18, 1050, 408},                        120, 120,  6,  6},
    {{20, 20, 1304, 496},                        132, 132,  6,  8},
    {{22, 22, 1558, 620},                        144, 144,  6, 10},
    {{16,  6,    5,   7},                          8,  18,  1,  1},
    {{14,  6,   10,  11},                          8,  32,  2,  1},
    {{24, 10,   16,  14},                         12,  26,  1,  1},
    {{16, 10,   22,  18},                         12,  36,  2,  1},
    {{16, 14,   32,  24},                         16,  36,  2,  1},
    {{22, 14,   49,  28},                         16,  48,  2,  1},
};
// clang-format on

// 144 x 144 splits its 2178 codewords unevenly: 8 blocks of 218, 2 of 217.
constexpr int32_t kUnevenIndex = 23;
constexpr int32_t kUnevenLongBlocks = 8;

}  // namespace

int32_t FindSymbolSize(int32_t columns, int32_t rows) {
    for (int32_t i = 0; i < kSymbolSizeCount; ++i) {
        if (kSymbolSizeTable[i].columns == columns && kSymbolSizeTable[i].rows == rows) {
            return i;
        }
    }
    return -1;
}

const SymbolSizeRow& SymbolSizeAt(int32_t index) { return kSymbolSizeTable[index]; }

bool IsSquareSize(int32_t index) {
    const SymbolAttributes& a = kSymbolSizeTable[index].attributes;
    return a.regionColumns == a.regionRows;
}

int32_t MappingColumns(int32_t index) {
    return kSymbolSizeTable[index].attributes.regionColumns * kSymbolSizeTable[index].regions;
}

int32_t MappingRows(int32_t index) {
    const int32_t h = kSymbolSizeTable[index].attributes.regionRows;
    return IsSquareSize(index) ? h * kSymbolSizeTable[index].regions : h;
}

int32_t TotalCodewords(int32_t index) {
    const SymbolAttributes& a = kSymbolSizeTable[index].attributes;
    return a.dataCodewords + a.checkCodewords;
}

int32_t CheckCodewordsPerBlock(int32_t index) {
    return kSymbolSizeTable[index].attributes.checkCodewords / kSymbolSizeTable[index].blocks;
}

int32_t BlockCodewords(int32_t index, int32_t block) {
    if (index == kUnevenIndex) {
        return block < kUnevenLongBlocks ? 218 : 217;
    }
    return TotalCodewords(index) / kSymbolSizeTable[index].blocks;
}
