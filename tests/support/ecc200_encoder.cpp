#include "tests/support/ecc200_encoder.h"

#include <array>
#include <cstddef>

#include "ecc200/placement.h"
#include "ecc200/symbol_size.h"

namespace ecc200_test {
namespace {

struct Gf256 {
    std::array<uint8_t, 256> exp{};
    std::array<int, 256> log{};
    Gf256() {
        int x = 1;
        for (int i = 0; i < 255; ++i) {
            exp[i] = static_cast<uint8_t>(x);
            log[x] = i;
            x <<= 1;
            if (x & 0x100) x ^= 301;
        }
        exp[255] = exp[0];
    }
    uint8_t Mul(uint8_t a, uint8_t b) const {
        if (a == 0 || b == 0) return 0;
        return exp[(log[a] + log[b]) % 255];
    }
};

const Gf256& Field() {
    static const Gf256 field;
    return field;
}

// Generator coefficients, highest power first (g[0] = 1).
std::vector<uint8_t> Generator(int32_t nroots) {
    const Gf256& f = Field();
    std::vector<uint8_t> g = {1};
    for (int32_t i = 1; i <= nroots; ++i) {
        std::vector<uint8_t> next(g.size() + 1, 0);
        for (std::size_t j = 0; j < g.size(); ++j) {
            next[j] ^= g[j];
            next[j + 1] ^= f.Mul(g[j], f.exp[i % 255]);
        }
        g = next;
    }
    return g;
}

MappingMatrix* PlaceIntoFreshMatrix(int32_t sizeIndex, const std::vector<uint8_t>& stream) {
    CodewordBuffer* buffer = CreateCodewordBuffer(static_cast<int32_t>(stream.size()));
    for (std::size_t i = 0; i < stream.size(); ++i) buffer->bytes[i] = stream[i];
    MappingMatrix* m = CreateMappingMatrix(MappingColumns(sizeIndex), MappingRows(sizeIndex), buffer);
    ReleaseCodewordBuffer(buffer);
    return m;
}

}  // namespace

std::vector<uint8_t> PadDataCodewords(const std::vector<uint8_t>& data, int32_t dataCapacity) {
    std::vector<uint8_t> out = data;
    for (int32_t p = static_cast<int32_t>(out.size()) + 1; p <= dataCapacity; ++p) {
        if (p == static_cast<int32_t>(data.size()) + 1) {
            out.push_back(129);
            continue;
        }
        int32_t v = 129 + (149 * p) % 253 + 1;
        if (v > 254) v -= 254;
        out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

std::vector<uint8_t> RsCheckCodewords(const std::vector<uint8_t>& data, int32_t nroots) {
    const Gf256& f = Field();
    const std::vector<uint8_t> g = Generator(nroots);
    std::vector<uint8_t> rem(static_cast<std::size_t>(nroots), 0);
    for (uint8_t d : data) {
        const uint8_t feedback = d ^ rem[0];
        for (int32_t i = 0; i + 1 < nroots; ++i) rem[i] = rem[i + 1] ^ f.Mul(feedback, g[i + 1]);
        rem[nroots - 1] = f.Mul(feedback, g[nroots]);
    }
    return rem;
}

std::vector<uint8_t> EncodeCodewordStream(int32_t sizeIndex, const std::vector<uint8_t>& data) {
    const int32_t blocks = SymbolSizeAt(sizeIndex).blocks;
    const int32_t nroots = CheckCodewordsPerBlock(sizeIndex);
    std::vector<uint8_t> stream(static_cast<std::size_t>(TotalCodewords(sizeIndex)), 0);
    for (int32_t j = 0; j < blocks; ++j) {
        std::vector<uint8_t> block;
        const int32_t dataInBlock = BlockCodewords(sizeIndex, j) - nroots;
        for (int32_t k = 0; k < dataInBlock; ++k) block.push_back(data[j + k * blocks]);
        const std::vector<uint8_t> check = RsCheckCodewords(block, nroots);
        block.insert(block.end(), check.begin(), check.end());
        for (std::size_t k = 0; k < block.size(); ++k) stream[j + k * blocks] = block[k];
    }
    return stream;
}

std::vector<uint8_t> PlaceStream(int32_t sizeIndex, const std::vector<uint8_t>& stream) {
    MappingMatrix* m = PlaceIntoFreshMatrix(sizeIndex, stream);
    MappingMatrix* cover = PlaceIntoFreshMatrix(sizeIndex, std::vector<uint8_t>(stream.size(), 255));
    const int32_t w = m->width;
    const int32_t h = m->height;
    std::vector<uint8_t> out(m->modules, m->modules + w * h);
    // ISO/IEC 16022 Annex F: an uncovered lower right corner gets a fixed
    // pattern, dark on its diagonal.
    if (cover->modules[(h - 1) * w + w - 1] == 0) {
        out[(h - 1) * w + w - 1] = 1;
        out[(h - 2) * w + w - 2] = 1;
        out[(h - 1) * w + w - 2] = 0;
        out[(h - 2) * w + w - 1] = 0;
    }
    ReleaseMappingMatrix(cover);
    ReleaseMappingMatrix(m);
    return out;
}

std::vector<uint8_t> MakeSymbolGrid(int32_t sizeIndex, const std::vector<uint8_t>& stream) {
    const SymbolSizeRow& size = SymbolSizeAt(sizeIndex);
    const int32_t w = size.attributes.regionColumns;
    const int32_t h = size.attributes.regionRows;
    const int32_t across = size.regions;
    const int32_t down = IsSquareSize(sizeIndex) ? size.regions : 1;
    const std::vector<uint8_t> mapping = PlaceStream(sizeIndex, stream);
    const int32_t mappingColumns = MappingColumns(sizeIndex);
    std::vector<uint8_t> grid(static_cast<std::size_t>(size.rows * size.columns), 0);
    // Every region carries its own frame: solid left and bottom edges,
    // alternating top and right edges; the frames of neighbours meet as the
    // alignment patterns.
    for (int32_t q = 0; q < down; ++q) {
        for (int32_t p = 0; p < across; ++p) {
            for (int32_t y = 0; y < h + 2; ++y) {
                for (int32_t x = 0; x < w + 2; ++x) {
                    uint8_t v;
                    if (x == 0 || y == h + 1) {
                        v = 1;
                    } else if (y == 0) {
                        v = x % 2 == 0;
                    } else if (x == w + 1) {
                        v = y % 2 == 1;
                    } else {
                        v = mapping[(q * h + y - 1) * mappingColumns + p * w + x - 1];
                    }
                    grid[(q * (h + 2) + y) * size.columns + p * (w + 2) + x] = v;
                }
            }
        }
    }
    return grid;
}

std::vector<uint8_t> MakeSymbolFromData(int32_t sizeIndex, const std::vector<uint8_t>& data) {
    const std::vector<uint8_t> padded = PadDataCodewords(data, SymbolSizeAt(sizeIndex).attributes.dataCodewords);
    return MakeSymbolGrid(sizeIndex, EncodeCodewordStream(sizeIndex, padded));
}

}  // namespace ecc200_test
