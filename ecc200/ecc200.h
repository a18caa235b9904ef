// The ECC200 decoder: from a sampled module grid to the symbol's text.
#pragma once

#include <cstdint>

// Name of the data encodation the symbol used last (ISO/IEC 16022, 5.2).
enum EncodationMode : int32_t {
    MODE_ASCII = 0,
    MODE_ASCII_UPPER_SHIFT = 1,
    MODE_C40 = 3,
    MODE_TEXT = 4,
    MODE_X12 = 5,
    MODE_EDIFACT = 6,
    MODE_BASE256 = 7,
};

enum class DecodeStatus : int32_t {
    Ok = 0,
    SizeNotInTable = 1,
    NoCodewordMemory = 2,  // also: no memory for the mapping matrices
    Uncorrectable = 4,
    NoBlockMemory = 5,
    NoText = 6,  // corrected, but the data codewords yield no text
    // Extended decoding only: an ECI without a known character set, or bytes
    // that are not valid in the character set of theirs.
    Unconvertible = 7,
};

constexpr int kDecodedTextCapacity = 1600;

struct DecodeResult {
    char text[kDecodedTextCapacity];  // NUL-terminated; empty unless Ok
    DecodeStatus status;
    int32_t length;  // bytes of text before the terminator, 0 bytes within it counted
};

// grid: rows x columns bytes, row-major; row 0 is the clock-track (top)
// edge, column 0 the solid (left) edge; 1 dark, 0 light, 255 undecided.
// The out-values are written only when the status is Ok.
DecodeResult DecodeSymbol(int32_t columns, int32_t rows, const uint8_t* grid,
                          int32_t& correctedFlag, int32_t& correctedCount,
                          int32_t& mode);
