// Module cell sampler: votes the pixels near the middle of one module cell
// into dark, light or undecided.
#include <cstdint>

#include "detect/recognizer.h"
#include "recognition/stage_timer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

struct Box {
    int64_t minX, maxX, minY, maxY;
};

// Keeps at most the middle 6 x 6 pixels, where perspective and blur
// disturb the module least.
void shrinkToMiddle(int64_t& lo, int64_t& hi)
{
    if (hi - lo > 4) {
        const int64_t h = (hi - lo - 4) / 2;
        lo += h;
        hi -= h;
    }
}

// The pixels of the window that vote, one bit each: bit 8 * row + column,
// both counted from the window's first pixel inside the image. A shrunk
// window spans at most 6 x 6 pixels.
using PixelMask = uint64_t;
constexpr PixelMask kFirstColumn = 0x0101010101010101u;

// Positions begin .. end - 1 of the n coordinates w0 .. w0 + n - 1.
struct Span {
    int begin;
    int end;
};

// The coordinates w (w0 >= 0) that lie between the limits u and v or on
// one of them, that is, not below both nor above both. Those below both
// come first and those above both last, so the rest is one span. No
// coordinate is below or above a NaN limit.
inline Span between(double u, double v, int w0, int n)
{
    const double first = w0;
    const double last = w0 + n - 1;
    Span s{0, n};
    if (first < u && first < v) {
        if (last < u && last < v)
            return Span{n, n};
        // The lower limit lies in (first, last]: the span starts at the
        // first whole number not below it.
        const double lower = u < v ? u : v;
        const int w = static_cast<int>(lower);
        s.begin = w - w0 + (w < lower ? 1 : 0);
    }
    if (last > u && last > v) {
        if (first > u && first > v)
            return Span{0, 0};
        // The upper limit lies in [first, last): the span ends after the
        // last whole number not above it.
        const double upper = u < v ? v : u;
        s.end = static_cast<int>(upper) - w0 + 1;
    }
    return s;
}

// The pixels of the nx x ny window at (x0, y0) that lie between the
// opposite lines p and q (or on one of them). For p of form 1 both limits
// depend on x alone and bound y, for form 2 the other way round; they are
// worked out once per column or row. A pair with a form other than 1 or 2
// does not restrict.
PixelMask bandMask(const Line& p, const Line& q, int x0, int nx, int y0, int ny)
{
    const PixelMask window = ((PixelMask{1} << (8 * ny)) - 1) & (kFirstColumn * ((1u << nx) - 1));
    const auto known = [](int form) { return form == LINE_Y_OF_X || form == LINE_X_OF_Y; };
    if (!known(p.form) || !known(q.form))
        return window;
    const bool sameForm = q.form == p.form;
    const auto limitU = [&](double t) { return p.slope * t + p.intercept; };
    const auto limitV = [&](double t) {
        return sameForm ? q.slope * t + q.intercept : (t - q.intercept) / q.slope;
    };
    const bool byColumn = p.form == LINE_Y_OF_X;
    // Rounding keeps the order of exact values, so each limit runs
    // monotonically from the window's first column or row to its last
    // (leaving out NaN, which lets the whole column or row through). A
    // band that holds the window at both ends holds all of it.
    {
        const double t0 = byColumn ? x0 : y0;
        const double t1 = byColumn ? x0 + nx - 1 : y0 + ny - 1;
        const double first = byColumn ? y0 : x0;
        const double last = byColumn ? y0 + ny - 1 : x0 + nx - 1;
        const double u0 = limitU(t0), u1 = limitU(t1), v0 = limitV(t0), v1 = limitV(t1);
        if ((u0 <= first && u1 <= first && v0 >= last && v1 >= last) ||
            (v0 <= first && v1 <= first && u0 >= last && u1 >= last))
            return window;
    }
    PixelMask mask = 0;
    if (byColumn) {
        for (int c = 0; c < nx; ++c) {
            const double t = x0 + c;
            const Span rows = between(limitU(t), limitV(t), y0, ny);
            mask |= ((PixelMask{1} << (8 * rows.end)) - (PixelMask{1} << (8 * rows.begin))) &
                    (kFirstColumn << c);
        }
    } else {
        for (int r = 0; r < ny; ++r) {
            const double t = y0 + r;
            const Span columns = between(limitU(t), limitV(t), x0, nx);
            mask |= static_cast<PixelMask>((1u << columns.end) - (1u << columns.begin)) << (8 * r);
        }
    }
    return mask;
}

constexpr uint32_t kRed = 0xFF0000u;
constexpr uint32_t kWhite = 0xFFFFFFu;

// The window's voting (all but the painted, pure red) and pure white
// pixels.
struct Votes {
    int voting;
    int white;
};

// The pixels of bits (bit k: the k-th pixel from p), one at a time.
inline void countPixels(const uint8_t* p, unsigned bits, Votes& votes)
{
    const unsigned skip = static_cast<unsigned>(__builtin_ctz(bits));
    p += 3u * skip;
    for (bits >>= skip; bits != 0; bits >>= 1, p += 3) {
        if ((bits & 1u) == 0)
            continue;
        const uint32_t colour = p[0] | p[1] << 8 | static_cast<uint32_t>(p[2]) << 16;
        votes.voting += colour != kRed ? 1 : 0;
        votes.white += colour == kWhite ? 1 : 0;
    }
}

#if defined(__SSE2__)

// A row of at most six pixels is compared 16 bytes at a time. Bit 3k + j
// of a byte mask stands for byte j of pixel k; a row's counts go into
// 3-bit fields, field k (bits 3k..3k+2) counting pixel k's column, so
// that six rows never carry into the next field.
struct ColumnBits {
    uint32_t of[64];
};

constexpr ColumnBits makeColumnBits()
{
    ColumnBits t{};
    for (unsigned bits = 0; bits < 64; ++bits)
        for (unsigned k = 0; k < 6; ++k)
            t.of[bits] |= ((bits >> k) & 1u) << (3 * k);
    return t;
}

constexpr ColumnBits kColumnBits = makeColumnBits();

// Which of the first 16 bytes from p (or 18: bytes 16 and 17 from a
// second load 2 bytes on) hold 255 and which hold 0.
inline void byteMasks(const uint8_t* p, bool sixPixels, uint32_t& ones, uint32_t& zeros)
{
    const __m128i full = _mm_set1_epi8(-1);
    const __m128i none = _mm_setzero_si128();
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    ones = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, full)));
    zeros = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, none)));
    if (sixPixels) {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2));
        ones |= static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(w, full))) << 2;
        zeros |= static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(w, none))) << 2;
    }
}

// The sum of the six 3-bit fields, each at most 7: pairs of fields added
// into three 6-bit fields, those by one product into its bits 12..17.
inline int fieldSum(uint32_t fields)
{
    const uint32_t pairs = (fields & 0x71C7u) + ((fields >> 3) & 0x71C7u);
    return static_cast<int>((pairs * 0x1041u) >> 12 & 0x3Fu);
}

#endif

// The rounded box around the four corners; false when neighbouring lines
// do not cross.
bool cornerBox(const Line* const (&l)[4], Box& box)
{
    for (int i = 0; i < 4; ++i) {
        double x = 0, y = 0;
        if (intersectLines(*l[i], *l[(i + 1) % 4], x, y) != 0)
            return false;
        const int64_t rx = roundToInt(x);
        const int64_t ry = roundToInt(y);
        if (i == 0) {
            box = Box{rx, rx, ry, ry};
            continue;
        }
        box.minX = rx < box.minX ? rx : box.minX;
        box.maxX = rx > box.maxX ? rx : box.maxX;
        box.minY = ry < box.minY ? ry : box.minY;
        box.maxY = ry > box.maxY ? ry : box.maxY;
    }
    return true;
}

}  // namespace

int Recognizer::sampleCell(Line l1, Line l2, Line l3, Line l4) const
{
    StageTimer timer("OnM");
    const Line* const l[4] = {&l1, &l2, &l3, &l4};
    for (const Line* line : l) {
        if (static_cast<unsigned>(line->form) > 100u)
            return -1;
    }
    Box box{};
    // Nearly parallel neighbours give no corner, and so no cell.
    if (!cornerBox(l, box))
        return -1;
    StageTimer cornersDone("ONM 1");
    shrinkToMiddle(box.minX, box.maxX);
    shrinkToMiddle(box.minY, box.maxY);
    // The corners may lie partly off the image; there is nothing to vote
    // there.
    const int64_t x0 = box.minX > 0 ? box.minX : 0;
    const int64_t y0 = box.minY > 0 ? box.minY : 0;
    const int64_t x1 = box.maxX < int64_t{width} - 1 ? box.maxX : int64_t{width} - 1;
    const int64_t y1 = box.maxY < int64_t{height} - 1 ? box.maxY : int64_t{height} - 1;
    Votes votes{0, 0};
    if (x0 <= x1 && y0 <= y1) {
        const int nx = static_cast<int>(x1 - x0 + 1);
        const int ny = static_cast<int>(y1 - y0 + 1);
        const int left = static_cast<int>(x0);
        const int top = static_cast<int>(y0);
        PixelMask mask = bandMask(l1, l3, left, nx, top, ny);
        if (mask != 0)
            mask &= bandMask(l2, l4, left, nx, top, ny);
        size_t at = static_cast<size_t>(top) * static_cast<size_t>(stride) + 3u * static_cast<size_t>(left);
#if defined(__SSE2__)
        // Rows whose loads would pass the last pixel of the image go one
        // pixel at a time.
        const size_t end = static_cast<size_t>(height - 1) * static_cast<size_t>(stride) +
                           3u * static_cast<size_t>(width);
        const bool sixPixels = nx > 5;
        const size_t loadBytes = sixPixels ? 18 : 16;
        uint32_t whiteFields = 0;
        uint32_t votingFields = 0;
#endif
        for (int r = 0; r < ny; ++r, at += static_cast<size_t>(stride)) {
            const unsigned bits = static_cast<unsigned>(mask >> (8 * r)) & 0x3Fu;
            if (bits == 0)
                continue;
            const uint8_t* p = pixels + at;
#if defined(__SSE2__)
            if (end - at >= loadBytes) {
                uint32_t ones = 0, zeros = 0;
                byteMasks(p, sixPixels, ones, zeros);
                const uint32_t column = kColumnBits.of[bits];
                const uint32_t third = ones >> 2;
                whiteFields += ones & (ones >> 1) & third & column;
                votingFields += column & ~(zeros & (zeros >> 1) & third);
                continue;
            }
#endif
            countPixels(p, bits, votes);
        }
#if defined(__SSE2__)
        votes.voting += fieldSum(votingFields);
        votes.white += fieldSum(whiteFields);
#endif
    }
    StageTimer countDone("ONM Emd");
    const int nonWhite = votes.voting - votes.white;
    const double lightVotes = 1.2 * votes.white;
    if (nonWhite < lightVotes)
        return 0;
    return nonWhite > lightVotes ? 1 : -1;
}
