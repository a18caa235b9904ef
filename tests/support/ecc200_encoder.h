// Test-side ECC200 encoder: makes codeword streams and symbol grids from data
// codewords, so that decoder and detector tests can build symbols of any size.
#pragma once

#include <cstdint>
#include <vector>

namespace ecc200_test {

// `data` followed by pad codewords up to `dataCapacity` codewords: 129,
// then 253-state randomized 129s (ISO/IEC 16022, 5.2.3). Longer data is
// returned unchanged.
std::vector<uint8_t> PadDataCodewords(const std::vector<uint8_t>& data, int32_t dataCapacity);

// The `nroots` check codewords of one block: the remainder of data * x^nroots
// by the generator with roots alpha^1 .. alpha^nroots over GF(256), field
// polynomial 301. Written independently of the decoder's codec.
std::vector<uint8_t> RsCheckCodewords(const std::vector<uint8_t>& data, int32_t nroots);

// The whole codeword stream of size index `sizeIndex` (see
// ecc200/symbol_size.h): `data` must hold exactly the size's data codeword
// count; it is split into the interleaved blocks, each gets its check
// codewords, and the blocks are interleaved again (codeword p of the stream
// belongs to block p mod blocks).
std::vector<uint8_t> EncodeCodewordStream(int32_t sizeIndex, const std::vector<uint8_t>& data);

// The mapping matrix (MappingRows x MappingColumns, row-major, 1 dark,
// 0 light) with `stream` placed by the placement walk, and the fixed 2 x 2
// pattern of ISO/IEC 16022 in the modules no codeword covers.
std::vector<uint8_t> PlaceStream(int32_t sizeIndex, const std::vector<uint8_t>& stream);

// The full symbol grid (symbol rows x columns, row-major, row 0 the clock
// track at the top, column 0 the solid left edge; 1 dark, 0 light): the
// placed stream framed by finder, clock and alignment patterns. This is the
// input DecodeSymbol takes.
std::vector<uint8_t> MakeSymbolGrid(int32_t sizeIndex, const std::vector<uint8_t>& stream);

// PadDataCodewords, EncodeCodewordStream and MakeSymbolGrid in one.
std::vector<uint8_t> MakeSymbolFromData(int32_t sizeIndex, const std::vector<uint8_t>& data);

}  // namespace ecc200_test
