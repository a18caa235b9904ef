// ECC200 module placement (ISO/IEC 16022, 5.8 and Annex F): data regions to
// mapping matrix, and mapping matrix to and from the codeword stream.
#pragma once

#include <cstdint>

// Modules of the joined data regions, row-major, one byte each (1 dark,
// 0 light; 255 undecided when it comes from a sampled grid).
struct MappingMatrix {
    int32_t width;
    int32_t height;
    uint8_t* modules;  // width * height bytes, in the same allocation
};

struct CodewordBuffer {
    int32_t capacity;
    int32_t length;
    uint8_t* bytes;  // capacity bytes, in the same allocation
};

// Zero-filled matrix, then `codewords` placed into it when given (see
// PlaceCodewords). Nothing when memory cannot be had or a size is negative.
MappingMatrix* CreateMappingMatrix(int32_t width, int32_t height, CodewordBuffer* codewords);
void ReleaseMappingMatrix(MappingMatrix* matrix);

// The data regions of `grid` (a symbol of size index `sizeIndex`, row-major
// with `gridColumns` bytes a row) joined into one matrix, or nothing when
// memory cannot be had.
MappingMatrix* ExtractMappingMatrix(const uint8_t* grid, int32_t gridColumns, int32_t sizeIndex);

// Empty buffer with room for `capacity` codewords, or nothing.
CodewordBuffer* CreateCodewordBuffer(int32_t capacity);
void ReleaseCodewordBuffer(CodewordBuffer* buffer);

// Appends every codeword of the matrix, in placement order, to the buffer
// (slots past its capacity are dropped). Returns the buffer, or nothing when
// the walk's scratch matrix cannot be had (the buffer is then unchanged).
CodewordBuffer* ReadCodewords(MappingMatrix* matrix, CodewordBuffer* buffer);

// Writes the buffer's bytes from its length onward into the matrix's modules
// (past the capacity a codeword counts as 0) and raises the length by the
// number placed. False when the scratch matrix cannot be had.
bool PlaceCodewords(MappingMatrix* matrix, CodewordBuffer* buffer);
