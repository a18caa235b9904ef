// Module cell sampler: votes the pixels near the middle of one module cell
// into dark, light or undecided.
#include <cstdint>

#include "detect/recognizer.h"
#include "recognition/stage_timer.h"

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
    const auto known = [](int form) { return form == LINE_Y_OF_X || form == LINE_X_OF_Y; };
    if (!known(p.form) || !known(q.form))
        return ((PixelMask{1} << (8 * ny)) - 1) & (kFirstColumn * ((1u << nx) - 1));
    const bool sameForm = q.form == p.form;
    PixelMask mask = 0;
    if (p.form == LINE_Y_OF_X) {
        for (int c = 0; c < nx; ++c) {
            const double t = x0 + c;
            const double u = p.slope * t + p.intercept;
            const double v = sameForm ? q.slope * t + q.intercept : (t - q.intercept) / q.slope;
            const Span rows = between(u, v, y0, ny);
            mask |= ((PixelMask{1} << (8 * rows.end)) - (PixelMask{1} << (8 * rows.begin))) &
                    (kFirstColumn << c);
        }
    } else {
        for (int r = 0; r < ny; ++r) {
            const double t = y0 + r;
            const double u = p.slope * t + p.intercept;
            const double v = sameForm ? q.slope * t + q.intercept : (t - q.intercept) / q.slope;
            const Span columns = between(u, v, x0, nx);
            mask |= static_cast<PixelMask>((1u << columns.end) - (1u << columns.begin)) << (8 * r);
        }
    }
    return mask;
}

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
    int white = 0;
    int voting = 0;  // all but the painted (pure red) pixels
    if (x0 <= x1 && y0 <= y1) {
        const int nx = static_cast<int>(x1 - x0 + 1);
        const int ny = static_cast<int>(y1 - y0 + 1);
        const int left = static_cast<int>(x0);
        const int top = static_cast<int>(y0);
        PixelMask mask = bandMask(l1, l3, left, nx, top, ny);
        if (mask != 0)
            mask &= bandMask(l2, l4, left, nx, top, ny);
        for (int r = 0; r < ny; ++r) {
            unsigned bits = static_cast<unsigned>(mask >> (8 * r)) & 0xFFu;
            if (bits == 0)
                continue;
            const unsigned skip = static_cast<unsigned>(__builtin_ctz(bits));
            const uint8_t* p = pixels + static_cast<size_t>(top + r) * static_cast<size_t>(stride) +
                               3u * (static_cast<size_t>(left) + skip);
            for (bits >>= skip; bits != 0; bits >>= 1, p += 3) {
                if ((bits & 1u) == 0)
                    continue;
                const uint32_t colour = p[0] | p[1] << 8 | static_cast<uint32_t>(p[2]) << 16;
                voting += colour != 0xFF0000u ? 1 : 0;
                white += colour == 0xFFFFFFu ? 1 : 0;
            }
        }
    }
    StageTimer countDone("ONM Emd");
    const int nonWhite = voting - white;
    const double lightVotes = 1.2 * white;
    if (nonWhite < lightVotes)
        return 0;
    return nonWhite > lightVotes ? 1 : -1;
}
