// Inputs on which the decoder's fuzz targets once failed.
#include <gtest/gtest.h>

#include <cstdint>

#include "ecc200/reed_solomon.h"

namespace {

struct CodeParameters {
    int32_t symbolSize, polynomial, fcr, prim, nroots, pad;
};

// RsInit looked for the prim-th root of 1 without end when prim shares a
// factor with 2^mm - 1 (the search overflowed). Fuzz input
// C0 08 1D 01 70 1B 20 00 09: GF(256) with x^8+x^4+x^3+x^2+1, fcr 112,
// prim 27 (255 = 3 * 5 * 17).
TEST(FuzzFound, RsInitRefusesAPrimWithoutInverse) {
    const CodeParameters refused[] = {
        {8, 0x11D, 112, 27, 32, 0},
        {8, 301, 1, 3, 10, 0},
        {8, 301, 1, 85, 10, 100},
        {4, 0x13, 1, 5, 4, 0},  // 15 = 3 * 5
        {4, 0x13, 1, 6, 4, 0},
    };
    for (const CodeParameters& p : refused) {
        RsCodec* rs = RsInit(p.symbolSize, p.polynomial, p.fcr, p.prim, p.nroots, p.pad);
        EXPECT_EQ(rs, nullptr) << "prim " << p.prim;
        RsFree(rs);
    }
}

// Every prim that has an inverse modulo 255 still gives a codec, whose
// iprim is that inverse.
TEST(FuzzFound, RsInitAcceptsEveryPrimWithInverse) {
    for (int32_t prim = 1; prim < 255; ++prim) {
        const bool coprime = prim % 3 != 0 && prim % 5 != 0 && prim % 17 != 0;
        RsCodec* rs = RsInit(8, 301, 1, prim, 6, 0);
        ASSERT_EQ(rs != nullptr, coprime) << "prim " << prim;
        if (rs != nullptr) {
            EXPECT_EQ(rs->iprim * prim % 255, 1) << "prim " << prim;
            RsFree(rs);
        }
    }
}

}  // namespace
