// Reed-Solomon errors-only decoding of one ECC200 block over GF(2^mm)
// (syndromes, Berlekamp-Massey, Chien search, Forney).
#pragma once

#include <cstdint>

#include "ecc200/placement.h"

struct RsCodec {
    int32_t mm;         // bits per symbol
    int32_t nn;         // symbols per full block, 2^mm - 1
    uint8_t* alphaTo;   // nn + 1 entries: alpha^i, entry nn = 0
    uint8_t* indexOf;   // nn + 1 entries: log, entry 0 = nn (log of zero)
    uint8_t* genpoly;   // nroots + 1 generator coefficients, log form
    int32_t nroots;     // check symbols per block
    int32_t fcr;        // first consecutive root, as a power of alpha
    int32_t prim;       // step between roots, as a power of alpha
    int32_t iprim;      // prim-th root of 1, log form
    int32_t pad;        // leading symbols missing from the shortened block
};

// Field and code for the given parameters, or nothing when one is out of
// range, the polynomial is not primitive, or memory runs out.
RsCodec* RsInit(int32_t symbolSize, int32_t fieldPolynomial, int32_t fcr, int32_t prim,
                int32_t nroots, int32_t pad);
void RsFree(RsCodec* codec);

// Corrects the nn - pad bytes of `block` in place. Returns the number of
// symbols corrected, or -1 (block unchanged) when it cannot be corrected.
int32_t RsDecode(const RsCodec* codec, uint8_t* block);

// RsDecode of an ECC200 block (field polynomial 301, fcr 1, prim 1, pad
// 255 - length); the length then drops by nroots in every case, leaving
// the data codewords counted. -1 also when the block's size is unusable.
int32_t CorrectBlock(CodewordBuffer* block, int32_t nroots);
