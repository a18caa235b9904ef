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

// The test whether a pixel lies between the two opposite lines p and q (or
// on one of them), with the limits worked out once per column or row: for
// p of form 1 both limits depend on x alone and y is compared with them,
// for form 2 the other way round. A pair with a form other than 1 or 2
// does not restrict.
constexpr int kBoxSpan = 8;  // a shrunk box spans at most 6 pixels

struct Band {
    bool known;
    bool byX;
    double u[kBoxSpan];
    double v[kBoxSpan];
};

// Same expressions as the per-pixel form, evaluated for each coordinate
// from `lo` to `hi` of the axis the limits depend on.
void prepareBand(const Line& p, const Line& q, const Box& box, Band& band)
{
    band.known = (p.form == LINE_Y_OF_X || p.form == LINE_X_OF_Y) &&
                 (q.form == LINE_Y_OF_X || q.form == LINE_X_OF_Y);
    band.byX = p.form == LINE_Y_OF_X;
    if (!band.known)
        return;
    const int64_t lo = band.byX ? box.minX : box.minY;
    const int64_t hi = band.byX ? box.maxX : box.maxY;
    for (int64_t c = lo; c <= hi; ++c) {
        const double t = static_cast<double>(c);
        const size_t i = static_cast<size_t>(c - lo);
        band.u[i] = p.slope * t + p.intercept;
        band.v[i] = q.form == p.form ? q.slope * t + q.intercept : (t - q.intercept) / q.slope;
    }
}

bool inBand(const Band& band, const Box& box, int64_t x, int64_t y)
{
    if (!band.known)
        return true;
    const size_t i = static_cast<size_t>(band.byX ? x - box.minX : y - box.minY);
    const double w = static_cast<double>(band.byX ? y : x);
    const double u = band.u[i];
    const double v = band.v[i];
    return !((w > u && w > v) || (w < u && w < v));
}

// The rounded box around the four corners; false when neighbouring lines
// do not cross.
bool cornerBox(const Line (&l)[4], Box& box)
{
    for (int i = 0; i < 4; ++i) {
        double x = 0, y = 0;
        if (intersectLines(l[i], l[(i + 1) % 4], x, y) != 0)
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
    const Line l[4] = {l1, l2, l3, l4};
    for (const Line& line : l) {
        if (static_cast<unsigned>(line.form) > 100u)
            return -1;
    }
    Box box{};
    // Nearly parallel neighbours give no corner, and so no cell.
    if (!cornerBox(l, box))
        return -1;
    StageTimer cornersDone("ONM 1");
    shrinkToMiddle(box.minX, box.maxX);
    shrinkToMiddle(box.minY, box.maxY);
    Band across;
    Band along;
    prepareBand(l1, l3, box, across);
    prepareBand(l2, l4, box, along);
    int white = 0;
    int nonWhite = 0;
    for (int64_t y = box.minY; y <= box.maxY; ++y) {
        for (int64_t x = box.minX; x <= box.maxX; ++x) {
            if (!inBand(across, box, x, y) || !inBand(along, box, x, y))
                continue;
            // The corners may lie partly off the image; there is nothing to
            // vote there.
            if (x < 0 || y < 0 || x >= width || y >= height)
                continue;
            const uint8_t* p = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride) +
                               3u * static_cast<size_t>(x);
            if (p[0] == 0 && p[1] == 0 && p[2] == 255)
                continue;
            if (p[0] == 255 && p[1] == 255 && p[2] == 255)
                ++white;
            else
                ++nonWhite;
        }
    }
    StageTimer countDone("ONM Emd");
    const double lightVotes = 1.2 * white;
    if (nonWhite < lightVotes)
        return 0;
    return nonWhite > lightVotes ? 1 : -1;
}
