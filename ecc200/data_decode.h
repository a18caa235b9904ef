// Data codewords to text: the ECC200 data encodations (ISO/IEC 16022, 5.2).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ecc200/ecc200.h"
#include "ecc200/placement.h"

// At most this many data codewords are decoded; larger symbols give no text.
constexpr int32_t kMaxDecodedDataCodewords = 200;

// The text of the buffer's `length` data codewords, NUL-terminated, in a
// buffer of 4 * length + 1 bytes allocated with malloc (the caller frees
// it), its byte count before the terminator in `textLength` (0 bytes of the
// data count: Base 256 and codeword 1 yield them), and the encodation
// entered last. Nothing when there are more than kMaxDecodedDataCodewords
// codewords, memory runs out, or an ASCII codeword has no meaning; `mode`
// and `textLength` are then not meaningful.
char* DecodeDataCodewords(const CodewordBuffer* data, EncodationMode& mode, int32_t& textLength);

struct DecodeExtensions;

// Bytes from `start` on are in the character set of ECI `eci`.
struct EciSegment {
    int32_t start;
    int32_t eci;
};

struct ExtendedData {
    std::string bytes;
    EncodationMode mode = MODE_ASCII;
    bool gs1 = false;
    bool readerProgramming = false;
    int32_t macro = 0;
    std::vector<EciSegment> segments;  // in data order
};

// DecodeDataCodewords with the codewords and sizes that `extensions` admit.
// False when there is no text.
bool DecodeDataCodewordsExtended(const CodewordBuffer* data, const DecodeExtensions& extensions,
                                 ExtendedData& out);
