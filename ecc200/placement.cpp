#include "ecc200/placement.h"

#include <cstdlib>
#include <cstring>

#include "ecc200/symbol_size.h"

namespace {

// Every routine of a PlacementSet gets the matrix, two integers (anchor
// column and row for the utah shape, column and row counts for a corner) and
// the codeword byte it reads into or writes from.
using PlacementRoutine = void (*)(MappingMatrix*, int32_t, int32_t, uint8_t*);

enum PlacementShape { kUtah = 0, kCorner1, kCorner2, kCorner3, kCorner4, kShapeCount };

struct ModulePosition {
    int32_t row;
    int32_t col;
};

// Corner pattern modules from bit 1 (value 128) to bit 8; a negative
// coordinate counts back from the row or column count.
// clang-format off
constexpr ModulePosition kCornerModules[4][8] = {
    {{-1, 0}, {-1, 1}, {-1, 2}, {0, -2}, {0, -1}, {1, -1}, {2, -1}, {3, -1}},
    {{-3, 0}, {-2, 0}, {-1, 0}, {0, -4}, {0, -3}, {0, -2}, {0, -1}, {1, -1}},
    {{-3, 0}, {-2, 0}, {-1, 0}, {0, -2}, {0, -1}, {1, -1}, {2, -1}, {3, -1}},
    {{-1, 0}, {-1, -1}, {0, -3}, {0, -2}, {0, -1}, {1, -3}, {1, -2}, {1, -1}},
};
// Utah shape modules relative to its anchor, bit 1 to bit 8.
constexpr ModulePosition kUtahModules[8] = {
    {-2, -2}, {-2, -1}, {-1, -2}, {-1, -1}, {-1, 0}, {0, -2}, {0, -1}, {0, 0},
};
// clang-format on

// Modules outside the matrix do not exist for the walk over a table size;
// for any other size they read as light and are not written.
uint8_t* ModuleAt(MappingMatrix* m, int32_t row, int32_t col) {
    if (row < 0 || col < 0 || row >= m->height || col >= m->width) {
        return nullptr;
    }
    return &m->modules[row * m->width + col];
}

// ISO/IEC 16022 Annex F: a utah module left of or above the matrix continues
// on the opposite edge, shifted along it.
ModulePosition WrapUtahModule(ModulePosition p, int32_t columns, int32_t rows) {
    if (p.col < 0) {
        p.col += columns;
        p.row += 4 - ((columns + 4) % 8);
    }
    if (p.row < 0) {
        p.row += rows;
        p.col += 4 - ((rows + 4) % 8);
    }
    return p;
}

void UtahPositions(const MappingMatrix* m, int32_t col, int32_t row, ModulePosition out[8]) {
    for (int b = 0; b < 8; ++b) {
        const ModulePosition p = {row + kUtahModules[b].row, col + kUtahModules[b].col};
        out[b] = WrapUtahModule(p, m->width, m->height);
    }
}

void CornerPositions(int corner, int32_t columns, int32_t rows, ModulePosition out[8]) {
    for (int b = 0; b < 8; ++b) {
        const ModulePosition p = kCornerModules[corner][b];
        out[b] = {p.row < 0 ? rows + p.row : p.row, p.col < 0 ? columns + p.col : p.col};
    }
}

// Each module byte is shifted to its bit and OR-ed in, so an undecided 255
// also sets every more significant bit of the codeword.
void ReadModules(MappingMatrix* m, const ModulePosition pos[8], uint8_t* codeword) {
    uint32_t value = 0;
    for (int b = 0; b < 8; ++b) {
        const uint8_t* module = ModuleAt(m, pos[b].row, pos[b].col);
        if (module != nullptr) {
            value |= static_cast<uint32_t>(*module) << (7 - b);
        }
    }
    *codeword = static_cast<uint8_t>(value & 0xFF);
}

void WriteModules(MappingMatrix* m, const ModulePosition pos[8], const uint8_t* codeword) {
    for (int b = 0; b < 8; ++b) {
        uint8_t* module = ModuleAt(m, pos[b].row, pos[b].col);
        if (module != nullptr) {
            *module = static_cast<uint8_t>((*codeword >> (7 - b)) & 1);
        }
    }
}

void ReadUtah(MappingMatrix* m, int32_t col, int32_t row, uint8_t* codeword) {
    ModulePosition pos[8];
    UtahPositions(m, col, row, pos);
    ReadModules(m, pos, codeword);
}

void WriteUtah(MappingMatrix* m, int32_t col, int32_t row, uint8_t* codeword) {
    ModulePosition pos[8];
    UtahPositions(m, col, row, pos);
    WriteModules(m, pos, codeword);
}

template <int Corner>
void ReadCorner(MappingMatrix* m, int32_t columns, int32_t rows, uint8_t* codeword) {
    ModulePosition pos[8];
    CornerPositions(Corner, columns, rows, pos);
    ReadModules(m, pos, codeword);
}

template <int Corner>
void WriteCorner(MappingMatrix* m, int32_t columns, int32_t rows, uint8_t* codeword) {
    ModulePosition pos[8];
    CornerPositions(Corner, columns, rows, pos);
    WriteModules(m, pos, codeword);
}

// The read set (entries 0-4) and the write set (entries 5-9).
constexpr PlacementRoutine kPlacementRoutines[2 * kShapeCount] = {
    ReadUtah,  ReadCorner<0>,  ReadCorner<1>,  ReadCorner<2>,  ReadCorner<3>,
    WriteUtah, WriteCorner<0>, WriteCorner<1>, WriteCorner<2>, WriteCorner<3>,
};
using PlacementSet = const PlacementRoutine*;
constexpr PlacementSet kReadSet = kPlacementRoutines;
constexpr PlacementSet kWriteSet = kPlacementRoutines + kShapeCount;

// Walk state: the codeword slots beyond the buffer's capacity go to a
// scratch byte so that no size of matrix can write or read past the buffer.
struct Walk {
    MappingMatrix* matrix;
    MappingMatrix* visited;
    CodewordBuffer* buffer;
    PlacementSet set;
    int32_t count;
    uint8_t scratch;
};

uint8_t* NextSlot(Walk& w) {
    const int64_t slot = static_cast<int64_t>(w.buffer->length) + w.count;
    ++w.count;
    if (slot < w.buffer->capacity) {
        return &w.buffer->bytes[slot];
    }
    w.scratch = 0;
    return &w.scratch;
}

// The corner pattern (if any) that starts at this point of the walk.
int CornerAt(int32_t row, int32_t col, int32_t rows, int32_t columns) {
    if (col == 0 && row == rows) return kCorner1;
    if (col == 0 && row == rows - 2 && columns % 4 != 0) return kCorner2;
    if (col == 0 && row == rows - 2 && columns % 8 == 4) return kCorner3;
    if (col == 2 && row == rows + 4 && columns % 8 == 0) return kCorner4;
    return kUtah;
}

void VisitCorner(Walk& w, int corner) {
    const int32_t columns = w.matrix->width;
    const int32_t rows = w.matrix->height;
    uint8_t mark = 255;
    kWriteSet[corner](w.visited, columns, rows, &mark);
    w.set[corner](w.matrix, columns, rows, NextSlot(w));
}

// Only corner patterns are marked as visited: no anchor of the diagonal path
// lies on a module of an earlier utah shape.
void VisitUtah(Walk& w, int32_t row, int32_t col) {
    if (row >= 0 && row < w.matrix->height && col >= 0 && col < w.matrix->width &&
        *ModuleAt(w.visited, row, col) == 0) {
        w.set[kUtah](w.matrix, col, row, NextSlot(w));
    }
}

// ISO/IEC 16022 Annex F placement path, written once for reading and writing.
bool PlacementWalk(MappingMatrix* matrix, CodewordBuffer* buffer, PlacementSet set) {
    const int32_t rows = matrix->height;
    const int32_t columns = matrix->width;
    Walk w = {matrix, CreateMappingMatrix(columns, rows, nullptr), buffer, set, 0, 0};
    if (w.visited == nullptr) return false;
    int32_t row = 4;
    int32_t col = 0;
    while (row < rows || col < columns) {
        const int corner = CornerAt(row, col, rows, columns);
        if (corner != kUtah) VisitCorner(w, corner);
        for (; col < columns && row >= 0; row -= 2, col += 2) VisitUtah(w, row, col);
        row += 1;
        col += 3;
        for (; col >= 0 && row < rows; row += 2, col -= 2) VisitUtah(w, row, col);
        row += 3;
        col += 1;
    }
    const int64_t length = static_cast<int64_t>(buffer->length) + w.count;
    buffer->length = static_cast<int32_t>(length < buffer->capacity ? length : buffer->capacity);
    ReleaseMappingMatrix(w.visited);
    return true;
}

// A negative or overlong length would make the slot arithmetic meaningless.
bool UsableBuffer(const CodewordBuffer* buffer) {
    return buffer != nullptr && buffer->length >= 0 && buffer->length <= buffer->capacity;
}

// Symbols are at most 144 x 144; far larger matrices are refused outright.
constexpr int32_t kMaxMatrixSide = 4096;

}  // namespace

MappingMatrix* CreateMappingMatrix(int32_t width, int32_t height, CodewordBuffer* codewords) {
    if (width < 0 || height < 0 || width > kMaxMatrixSide || height > kMaxMatrixSide) {
        return nullptr;
    }
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height);
    void* block = std::calloc(1, sizeof(MappingMatrix) + bytes);
    if (block == nullptr) return nullptr;
    MappingMatrix* m = static_cast<MappingMatrix*>(block);
    m->width = width;
    m->height = height;
    m->modules = reinterpret_cast<uint8_t*>(m + 1);
    if (codewords != nullptr && !PlaceCodewords(m, codewords)) {
        ReleaseMappingMatrix(m);
        return nullptr;
    }
    return m;
}

void ReleaseMappingMatrix(MappingMatrix* matrix) { std::free(matrix); }

MappingMatrix* ExtractMappingMatrix(const uint8_t* grid, int32_t gridColumns, int32_t sizeIndex) {
    const SymbolSizeRow& size = SymbolSizeAt(sizeIndex);
    const int32_t w = size.attributes.regionColumns;
    const int32_t h = size.attributes.regionRows;
    const int32_t n = size.regions;
    MappingMatrix* m = CreateMappingMatrix(MappingColumns(sizeIndex), MappingRows(sizeIndex), nullptr);
    if (m == nullptr) return nullptr;
    // A rectangular symbol has one row of regions, so the same loop serves both.
    const int32_t regionRowsDown = IsSquareSize(sizeIndex) ? n : 1;
    for (int32_t q = 0; q < regionRowsDown; ++q) {
        for (int32_t p = 0; p < n; ++p) {
            for (int32_t y = 0; y < h; ++y) {
                const uint8_t* src = grid + (1 + q * (h + 2) + y) * gridColumns + 1 + p * (w + 2);
                std::memcpy(&m->modules[(q * h + y) * m->width + p * w], src, static_cast<size_t>(w));
            }
        }
    }
    return m;
}

CodewordBuffer* CreateCodewordBuffer(int32_t capacity) {
    if (capacity < 0) return nullptr;
    void* block = std::calloc(1, sizeof(CodewordBuffer) + static_cast<size_t>(capacity));
    if (block == nullptr) return nullptr;
    CodewordBuffer* b = static_cast<CodewordBuffer*>(block);
    b->capacity = capacity;
    b->length = 0;
    b->bytes = reinterpret_cast<uint8_t*>(b + 1);
    return b;
}

void ReleaseCodewordBuffer(CodewordBuffer* buffer) { std::free(buffer); }

CodewordBuffer* ReadCodewords(MappingMatrix* matrix, CodewordBuffer* buffer) {
    if (matrix == nullptr || !UsableBuffer(buffer)) return nullptr;
    return PlacementWalk(matrix, buffer, kReadSet) ? buffer : nullptr;
}

bool PlaceCodewords(MappingMatrix* matrix, CodewordBuffer* buffer) {
    if (matrix == nullptr || !UsableBuffer(buffer)) return false;
    return PlacementWalk(matrix, buffer, kWriteSet);
}
