#include "ecc200/reed_solomon.h"

#include <cstdlib>
#include <cstring>

namespace {

// ECC200 block code (ISO/IEC 16022, 5.7.1): GF(256) over
// x^8 + x^5 + x^3 + x^2 + 1, generator roots alpha^1 .. alpha^nroots.
constexpr int32_t kEcc200SymbolSize = 8;
constexpr int32_t kEcc200FieldPolynomial = 301;
constexpr int32_t kEcc200Fcr = 1;
constexpr int32_t kEcc200Prim = 1;

// Work arrays hold up to nroots + 1 entries; nroots < 2^8.
constexpr int kMaxRoots = 256;
// A block has at most nn = 2^8 - 1 symbols.
constexpr int kMaxBlockSymbols = 255;

// x modulo nn without a division: 2^mm = 1 (mod nn).
int32_t ModNn(const RsCodec* rs, int32_t x) {
    while (x >= rs->nn) {
        x -= rs->nn;
        x = (x >> rs->mm) + (x & rs->nn);
    }
    return x;
}

bool ParametersInRange(int32_t mm, int32_t fcr, int32_t prim, int32_t nroots, int32_t pad) {
    if (mm < 0 || mm > 8) return false;
    const int32_t size = 1 << mm;
    return fcr >= 0 && fcr < size && prim > 0 && prim < size && nroots >= 0 && nroots < size &&
           pad >= 0 && pad < size - 1 - nroots;
}

// False when the polynomial is not primitive (alpha's powers do not cycle
// through every non-zero element).
bool BuildFieldTables(RsCodec* rs, int32_t fieldPolynomial) {
    int32_t s = 1;
    for (int32_t i = 0; i < rs->nn; ++i) {
        rs->indexOf[s] = static_cast<uint8_t>(i);
        rs->alphaTo[i] = static_cast<uint8_t>(s);
        s <<= 1;
        if (s & (1 << rs->mm)) s ^= fieldPolynomial;
        s &= rs->nn;
    }
    rs->indexOf[0] = static_cast<uint8_t>(rs->nn);
    rs->alphaTo[rs->nn] = 0;
    return s == 1;
}

// g(x) = product of (x - alpha^root), lowest coefficient first, log form.
void BuildGenerator(RsCodec* rs) {
    uint8_t* g = rs->genpoly;
    g[0] = 1;
    int32_t root = rs->fcr * rs->prim;
    for (int32_t i = 0; i < rs->nroots; ++i, root += rs->prim) {
        g[i + 1] = 1;
        for (int32_t j = i; j > 0; --j) {
            g[j] = g[j] != 0 ? g[j - 1] ^ rs->alphaTo[ModNn(rs, rs->indexOf[g[j]] + root)] : g[j - 1];
        }
        g[0] = rs->alphaTo[ModNn(rs, rs->indexOf[g[0]] + root)];
    }
    for (int32_t i = 0; i <= rs->nroots; ++i) g[i] = rs->indexOf[g[i]];
}

// Syndromes in log form; false when all are zero (the block is a codeword).
bool ComputeSyndromes(const RsCodec* rs, const uint8_t* data, uint8_t* s) {
    for (int32_t i = 0; i < rs->nroots; ++i) s[i] = data[0];
    for (int32_t j = 1; j < rs->nn - rs->pad; ++j) {
        for (int32_t i = 0; i < rs->nroots; ++i) {
            s[i] = s[i] == 0 ? data[j]
                             : data[j] ^ rs->alphaTo[ModNn(rs, rs->indexOf[s[i]] + (rs->fcr + i) * rs->prim)];
        }
    }
    int error = 0;
    for (int32_t i = 0; i < rs->nroots; ++i) {
        error |= s[i];
        s[i] = rs->indexOf[s[i]];
    }
    return error != 0;
}

// Berlekamp-Massey: error locator lambda (polynomial form) from the
// log-form syndromes.
void BerlekampMassey(const RsCodec* rs, const uint8_t* s, uint8_t* lambda) {
    const int32_t a0 = rs->nn;
    const int32_t nroots = rs->nroots;
    uint8_t b[kMaxRoots + 1];
    uint8_t t[kMaxRoots + 1];
    std::memset(lambda, 0, static_cast<size_t>(nroots + 1));
    lambda[0] = 1;
    for (int32_t i = 0; i <= nroots; ++i) b[i] = rs->indexOf[lambda[i]];
    int32_t el = 0;
    for (int32_t r = 1; r <= nroots; ++r) {
        int32_t discr = 0;
        for (int32_t i = 0; i < r; ++i) {
            if (lambda[i] != 0 && s[r - i - 1] != a0) {
                discr ^= rs->alphaTo[ModNn(rs, rs->indexOf[lambda[i]] + s[r - i - 1])];
            }
        }
        discr = rs->indexOf[discr];
        if (discr == a0) {
            std::memmove(&b[1], b, static_cast<size_t>(nroots));
            b[0] = static_cast<uint8_t>(a0);
            continue;
        }
        t[0] = lambda[0];
        for (int32_t i = 0; i < nroots; ++i) {
            t[i + 1] = b[i] != a0 ? lambda[i + 1] ^ rs->alphaTo[ModNn(rs, discr + b[i])] : lambda[i + 1];
        }
        if (2 * el <= r - 1) {
            el = r - el;
            for (int32_t i = 0; i <= nroots; ++i) {
                b[i] = lambda[i] == 0 ? static_cast<uint8_t>(a0)
                                      : static_cast<uint8_t>(ModNn(rs, rs->indexOf[lambda[i]] - discr + rs->nn));
            }
        } else {
            std::memmove(&b[1], b, static_cast<size_t>(nroots));
            b[0] = static_cast<uint8_t>(a0);
        }
        std::memcpy(lambda, t, static_cast<size_t>(nroots + 1));
    }
}

// Chien search over lambda (log form): roots and error locations; returns
// the number found (stops once deg lambda are found).
int32_t ChienSearch(const RsCodec* rs, const uint8_t* lambda, int32_t degLambda, uint8_t* root,
                    int32_t* loc) {
    uint8_t reg[kMaxRoots + 1];
    for (int32_t j = 1; j <= rs->nroots; ++j) reg[j] = lambda[j];
    int32_t count = 0;
    for (int32_t i = 1, k = rs->iprim - 1; i <= rs->nn; ++i, k = ModNn(rs, k + rs->iprim)) {
        int32_t q = 1;  // lambda[0] is always 1
        for (int32_t j = degLambda; j > 0; --j) {
            if (reg[j] != rs->nn) {
                reg[j] = static_cast<uint8_t>(ModNn(rs, reg[j] + j));
                q ^= rs->alphaTo[reg[j]];
            }
        }
        if (q != 0) continue;
        root[count] = static_cast<uint8_t>(i);
        loc[count] = k;
        if (++count == degLambda) break;
    }
    return count;
}

// Forney: error values from omega = S * lambda mod x^nroots, applied to the
// received bytes.
void ApplyErrorValues(const RsCodec* rs, const uint8_t* s, const uint8_t* lambda, int32_t degLambda,
                      const uint8_t* root, const int32_t* loc, int32_t count, uint8_t* data) {
    const int32_t a0 = rs->nn;
    uint8_t omega[kMaxRoots + 1];
    const int32_t degOmega = degLambda - 1;
    for (int32_t i = 0; i <= degOmega; ++i) {
        int32_t tmp = 0;
        for (int32_t j = i; j >= 0; --j) {
            if (s[i - j] != a0 && lambda[j] != a0) tmp ^= rs->alphaTo[ModNn(rs, s[i - j] + lambda[j])];
        }
        omega[i] = rs->indexOf[tmp];
    }
    for (int32_t j = count - 1; j >= 0; --j) {
        int32_t num1 = 0;
        for (int32_t i = degOmega; i >= 0; --i) {
            if (omega[i] != a0) num1 ^= rs->alphaTo[ModNn(rs, omega[i] + i * root[j])];
        }
        const int32_t num2 = rs->alphaTo[ModNn(rs, root[j] * (rs->fcr - 1) + rs->nn)];
        int32_t den = 0;
        // lambda[i+1] for even i is the formal derivative's coefficient.
        const int32_t top = degLambda < rs->nroots - 1 ? degLambda : rs->nroots - 1;
        for (int32_t i = top & ~1; i >= 0; i -= 2) {
            if (lambda[i + 1] != a0) den ^= rs->alphaTo[ModNn(rs, lambda[i + 1] + i * root[j])];
        }
        if (num1 != 0 && loc[j] >= rs->pad) {
            data[loc[j] - rs->pad] ^= rs->alphaTo[ModNn(
                rs, rs->indexOf[num1] + rs->indexOf[num2] + rs->nn - rs->indexOf[den])];
        }
    }
}

}  // namespace

RsCodec* RsInit(int32_t symbolSize, int32_t fieldPolynomial, int32_t fcr, int32_t prim,
                int32_t nroots, int32_t pad) {
    if (!ParametersInRange(symbolSize, fcr, prim, nroots, pad)) return nullptr;
    const int32_t nn = (1 << symbolSize) - 1;
    const size_t tables = 2 * static_cast<size_t>(nn + 1) + static_cast<size_t>(nroots + 1);
    void* block = std::calloc(1, sizeof(RsCodec) + tables);
    if (block == nullptr) return nullptr;
    RsCodec* rs = static_cast<RsCodec*>(block);
    rs->mm = symbolSize;
    rs->nn = nn;
    rs->alphaTo = reinterpret_cast<uint8_t*>(rs + 1);
    rs->indexOf = rs->alphaTo + nn + 1;
    rs->genpoly = rs->indexOf + nn + 1;
    rs->nroots = nroots;
    rs->fcr = fcr;
    rs->prim = prim;
    rs->pad = pad;
    if (!BuildFieldTables(rs, fieldPolynomial)) {
        RsFree(rs);
        return nullptr;
    }
    // The prim-th root of 1 exists only when prim and nn share no factor;
    // otherwise 1 + k * nn is never divisible by prim and the roots of the
    // code would repeat. Its residues mod prim cycle within prim steps.
    int32_t iprim = 1;
    for (int32_t step = 0; step < prim && iprim % prim != 0; ++step) iprim += nn;
    if (iprim % prim != 0) {
        RsFree(rs);
        return nullptr;
    }
    rs->iprim = iprim / prim;
    BuildGenerator(rs);
    return rs;
}

void RsFree(RsCodec* codec) { std::free(codec); }

int32_t RsDecode(const RsCodec* rs, uint8_t* data) {
    uint8_t s[kMaxRoots];
    uint8_t lambda[kMaxRoots + 1];
    uint8_t root[kMaxRoots];
    int32_t loc[kMaxRoots];
    if (!ComputeSyndromes(rs, data, s)) return 0;
    BerlekampMassey(rs, s, lambda);
    int32_t degLambda = 0;
    for (int32_t i = 0; i <= rs->nroots; ++i) {
        lambda[i] = rs->indexOf[lambda[i]];
        if (lambda[i] != rs->nn) degLambda = i;
    }
    const int32_t count = ChienSearch(rs, lambda, degLambda, root, loc);
    // A non-zero syndrome always gives a locator of degree 1 or more; a
    // degree of 0 would report a damaged block as error-free.
    if (count != degLambda || degLambda == 0) return -1;
    // An error inside the virtual leading zeros of a shortened block cannot
    // be: the word is not correctable, whatever the locator says.
    for (int32_t j = 0; j < count; ++j) {
        if (loc[j] < rs->pad) return -1;
    }
    // With more errors than the code corrects, the locator's roots can all
    // lie inside the block while the error values still do not make a
    // codeword; that is a failure, not a correction, and the block is
    // given back as received.
    uint8_t received[kMaxBlockSymbols];
    const int32_t symbols = rs->nn - rs->pad;  // 1..nn for any codec RsInit gives
    if (symbols < 1 || symbols > kMaxBlockSymbols) return -1;
    const size_t blockSize = static_cast<size_t>(symbols);
    std::memcpy(received, data, blockSize);
    ApplyErrorValues(rs, s, lambda, degLambda, root, loc, count, data);
    if (ComputeSyndromes(rs, data, s)) {
        std::memcpy(data, received, blockSize);
        return -1;
    }
    return count;
}

int32_t CorrectBlock(CodewordBuffer* block, int32_t nroots) {
    RsCodec* rs = RsInit(kEcc200SymbolSize, kEcc200FieldPolynomial, kEcc200Fcr, kEcc200Prim, nroots,
                         255 - block->length);
    const int32_t result = rs != nullptr ? RsDecode(rs, block->bytes) : -1;
    RsFree(rs);
    if (nroots > 0) block->length = block->length > nroots ? block->length - nroots : 0;
    return result;
}
