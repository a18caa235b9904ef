// Data codewords to text: the ECC200 data encodations (ISO/IEC 16022, 5.2).
#pragma once

#include <cstdint>

#include "ecc200/ecc200.h"
#include "ecc200/placement.h"

// At most this many data codewords are decoded; larger symbols give no text.
constexpr int32_t kMaxDecodedDataCodewords = 200;

// The text of the buffer's `length` data codewords, NUL-terminated, in a
// buffer of 4 * length + 1 bytes allocated with malloc (the caller frees
// it), and the encodation entered last. Nothing when there are more than
// kMaxDecodedDataCodewords codewords, memory runs out, or an ASCII codeword
// has no meaning; `mode` is then not meaningful.
char* DecodeDataCodewords(const CodewordBuffer* data, EncodationMode& mode);

// 255-state unrandomizing (ISO/IEC 16022, Annex B.2) of a codeword at
// 1-based data position `position`.
uint8_t Unrandomize255(int32_t position, uint8_t codeword);
