// Contour trace and finder-corner test. A dark blob's outline is walked
// depth first and reduced to 8 extreme points; four of them span a
// quadrilateral whose sides are rated for straightness. A Data Matrix
// outline shows exactly two adjacent straight sides, the solid L of the
// finder pattern (ISO/IEC 16022, 5.1.1), and two ragged clock-track sides.
#include "detect/recognizer.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "detect/image_access.h"

namespace {

// A side whose measure is below this is straight; above it, ragged.
constexpr double kStraightLimit = 4.5;
constexpr double kDiscounted = 5.5;
// A straight side this many times shorter than the others is a corner
// nick, not a side of the symbol.
constexpr double kNickRatio = 20.0;

// Neighbour order of the trace: right, then clockwise in buffer
// coordinates (y grows with the row index).
constexpr int kNeighbourCount = 8;
constexpr int kStepX[kNeighbourCount] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kStepY[kNeighbourCount] = {0, 1, 1, 1, 0, -1, -1, -1};

constexpr char kCandidateFormat[] =
    "%d:x=%d:y=%d,%d:x=%d:y=%d,%d:x=%d:y=%d,ll=%d:a1=%5.3f:a2=%5.3f";

int64_t squaredDistance(int x1, int y1, int x2, int y2)
{
    const int64_t dx = static_cast<int64_t>(x2) - x1;
    const int64_t dy = static_cast<int64_t>(y2) - y1;
    return dx * dx + dy * dy;
}

double distance(int x1, int y1, int x2, int y2)
{
    return std::sqrt(static_cast<double>(squaredDistance(x1, y1, x2, y2)));
}

bool edgeAt(const Recognizer& r, int x, int y)
{
    return insideImage(r, x, y) && pixelAt(r, x, y)[0] == EDGE_MARK;
}

// What the walk needs of the image at every step, worked out once per
// trace: the neighbours' byte offsets and the image corners' terms.
struct TraceFrame {
    ptrdiff_t offsets[kNeighbourCount];
    int64_t twiceWidth;
    int64_t twiceHeight;
    int64_t widthSquared;
    int64_t heightSquared;
};

TraceFrame traceFrame(const Recognizer& r)
{
    const ptrdiff_t row = r.stride;
    TraceFrame f{{3, row + 3, row, row - 3, -3, -row - 3, -row, -row + 3}, 0, 0, 0, 0};
    f.twiceWidth = 2 * static_cast<int64_t>(r.width);
    f.twiceHeight = 2 * static_cast<int64_t>(r.height);
    f.widthSquared = static_cast<int64_t>(r.width) * r.width;
    f.heightSquared = static_cast<int64_t>(r.height) * r.height;
    return f;
}

// Bit k set when neighbour k holds a boundary mark; p is an interior pixel.
// Single bytes, so that each read of a pixel the walk has just marked is
// served from that one-byte write.
inline unsigned markedNeighbours(const uint8_t* p, const TraceFrame& f)
{
    const ptrdiff_t* o = f.offsets;
    return (p[o[0]] == EDGE_MARK ? 0x01u : 0u) | (p[o[1]] == EDGE_MARK ? 0x02u : 0u) |
           (p[o[2]] == EDGE_MARK ? 0x04u : 0u) | (p[o[3]] == EDGE_MARK ? 0x08u : 0u) |
           (p[o[4]] == EDGE_MARK ? 0x10u : 0u) | (p[o[5]] == EDGE_MARK ? 0x20u : 0u) |
           (p[o[6]] == EDGE_MARK ? 0x40u : 0u) | (p[o[7]] == EDGE_MARK ? 0x80u : 0u);
}

// Index of the first untraced boundary neighbour, or -1; branch tells
// whether a later neighbour is one too; p is pixel (x, y).
int nextNeighbour(const Recognizer& r, const TraceFrame& f, const uint8_t* p, int x, int y,
                  bool& branch)
{
    int next = -1;
    branch = false;
    // Away from the image's edges every neighbour is inside, and the
    // neighbours are fixed byte offsets from the pixel.
    if (x > 0 && y > 0 && x + 1 < r.width && y + 1 < r.height) {
        const unsigned marked = markedNeighbours(p, f);
        if (marked == 0) {
            return -1;
        }
        branch = (marked & (marked - 1)) != 0;
        return __builtin_ctz(marked);
    }
    for (int k = 0; k < kNeighbourCount; ++k) {
        if (edgeAt(r, x + kStepX[k], y + kStepY[k])) {
            if (next >= 0) {
                branch = true;
                break;
            }
            next = k;
        }
    }
    return next;
}

// The 8 extreme points: smallest and largest x, smallest and largest y,
// and the points nearest to the image corners (0, 0), (0, height),
// (width, 0), (width, height). Only a strictly better pixel replaces one,
// so on ties the pixel reached first stays. The trace keeps the squared
// distance of each corner point beside it.
struct CornerDistances {
    int64_t squared[4];
};

// Squared distances from (x, y) to the four image corners, in exact
// integers: (w - x)^2 = w^2 - 2wx + x^2, and likewise for y.
void cornerDistances(const TraceFrame& f, int x, int y, int64_t (&d)[4])
{
    const int64_t nearOrigin = static_cast<int64_t>(x) * x + static_cast<int64_t>(y) * y;
    const int64_t toHeight = f.heightSquared - f.twiceHeight * y;
    const int64_t toWidth = f.widthSquared - f.twiceWidth * x;
    d[0] = nearOrigin;
    d[1] = nearOrigin + toHeight;
    d[2] = nearOrigin + toWidth;
    d[3] = nearOrigin + toWidth + toHeight;
}

void startExtremes(Recognizer& r, const TraceFrame& f, int x, int y, CornerDistances& nearest)
{
    for (int k = 0; k < kExtremeCount; ++k) {
        r.extremeX[k] = x;
        r.extremeY[k] = y;
    }
    cornerDistances(f, x, y, nearest.squared);
}

void updateExtremes(Recognizer& r, const TraceFrame& f, int x, int y, CornerDistances& nearest)
{
    int* ex = r.extremeX;
    int* ey = r.extremeY;
    const auto take = [&](int k) {
        ex[k] = x;
        ey[k] = y;
    };
    if (x < ex[0]) take(0);
    if (x > ex[1]) take(1);
    if (y < ey[2]) take(2);
    if (y > ey[3]) take(3);
    int64_t squared[4];
    cornerDistances(f, x, y, squared);
    const auto nearer = [&](int k) {
        if (squared[k] < nearest.squared[k]) {
            nearest.squared[k] = squared[k];
            take(4 + k);
        }
    };
    nearer(0);
    nearer(1);
    nearer(2);
    nearer(3);
}

// Depth-first walk over the 8-connected boundary pixels from (x, y). Branch
// points wait on a bounded stack; when it is full they are forgotten, and
// what only they lead to starts a trace of its own later.
void traceContour(Recognizer& r, int x, int y)
{
    const TraceFrame f = traceFrame(r);
    // The walk's pixel, moved by the neighbour's offset at each step.
    uint8_t* at = pixelAt(r, x, y);
    at[0] = TRACED_MARK;
    CornerDistances nearest;
    startExtremes(r, f, x, y, nearest);
    r.contourLength = 0;
    r.branchCount = 0;
    for (;;) {
        bool branch = false;
        const int next = nextNeighbour(r, f, at, x, y, branch);
        if (next >= 0) {
            if (branch && r.branchCount < kBranchCapacity) {
                r.branchX[r.branchCount] = x;
                r.branchY[r.branchCount] = y;
                r.branchCount += 1;
            }
            x += kStepX[next];
            y += kStepY[next];
            at += f.offsets[next];
            r.contourLength += 1;
            at[0] = TRACED_MARK;
            updateExtremes(r, f, x, y, nearest);
        } else if (r.branchCount > 0) {
            r.branchCount -= 1;
            x = r.branchX[r.branchCount];
            y = r.branchY[r.branchCount];
            at = pixelAt(r, x, y);
        } else {
            return;
        }
    }
}

// The finder corner and the far ends of the two solid sides, by which two
// adjacent sides are straight while the other two are ragged.
struct CornerPattern {
    int straight1, straight2;  // side indices that must be straight
    int ragged1, ragged2;      // side indices that must be ragged
    int cornerL, cornerA, cornerB;  // 0..3 for P, Q, R, S
};

enum { CORNER_P, CORNER_Q, CORNER_R, CORNER_S };

// Sides: 0 = P-R, 1 = P-S, 2 = Q-S, 3 = Q-R.
constexpr CornerPattern kCornerPatterns[] = {
    // clang-format off
    {0, 1,  2, 3,  CORNER_P, CORNER_R, CORNER_S},
    {1, 2,  0, 3,  CORNER_S, CORNER_P, CORNER_Q},
    {2, 3,  0, 1,  CORNER_Q, CORNER_S, CORNER_R},
    {0, 3,  1, 2,  CORNER_R, CORNER_Q, CORNER_P},
    // clang-format on
};

struct Quad {
    int p, q, r, s;
};

// The four corners of the contour's quadrilateral: the farthest pair of
// extreme points, then on each side of the line through them the point
// with the greatest sum of distances to both. False when the extremes do
// not span an area.
bool chooseCorners(const Recognizer& rec, Quad& quad)
{
    const int* ex = rec.extremeX;
    const int* ey = rec.extremeY;
    int64_t best = 0;
    quad.p = -1;
    for (int i = 0; i < kExtremeCount - 1; ++i) {
        for (int j = i + 1; j < kExtremeCount; ++j) {
            const int64_t d = squaredDistance(ex[i], ey[i], ex[j], ey[j]);
            if (d > best) {
                best = d;
                quad.p = i;
                quad.q = j;
            }
        }
    }
    if (quad.p < 0) {
        return false;
    }
    const int p = quad.p;
    const int q = quad.q;
    const Line divider = lineThroughPoints(ex[p], ey[p], ex[q], ey[q]);
    double bestOne = 0;
    double bestTwo = 0;
    quad.r = -1;
    quad.s = -1;
    for (int m = 0; m < kExtremeCount; ++m) {
        if (m == p || m == q) {
            continue;
        }
        const double s = distance(ex[p], ey[p], ex[m], ey[m]) + distance(ex[q], ey[q], ex[m], ey[m]);
        const double v = divider.form == LINE_Y_OF_X ? ey[m] - divider.slope * ex[m]
                                                     : ex[m] - divider.slope * ey[m];
        if (v > divider.intercept && s > bestOne) {
            bestOne = s;
            quad.r = m;
        } else if (v < divider.intercept && s > bestTwo) {
            bestTwo = s;
            quad.s = m;
        }
    }
    return quad.r >= 0 && quad.s >= 0;
}

bool straight(double measure)
{
    return measure < kStraightLimit;
}

// A measure of exactly the limit is neither straight nor ragged.
bool ragged(double measure)
{
    return measure > kStraightLimit;
}

bool identifyCorners(Recognizer& rec, const Quad& quad, const double (&measure)[4])
{
    const int corner[4] = {quad.p, quad.q, quad.r, quad.s};
    for (const CornerPattern& pattern : kCornerPatterns) {
        if (straight(measure[pattern.straight1]) && straight(measure[pattern.straight2]) &&
            ragged(measure[pattern.ragged1]) && ragged(measure[pattern.ragged2])) {
            rec.cornerL = corner[pattern.cornerL];
            rec.cornerA = corner[pattern.cornerA];
            rec.cornerB = corner[pattern.cornerB];
            return true;
        }
    }
    return false;
}

// With exactly three straight sides, a much shorter one is discounted so
// that the two long ones decide.
void discountNick(const Recognizer& rec, const int (&ends)[4][2], double (&measure)[4])
{
    int straightCount = 0;
    for (double m : measure) {
        straightCount += straight(m) ? 1 : 0;
    }
    if (straightCount != 3) {
        return;
    }
    double length[4] = {};
    int shortest = -1;
    for (int k = 0; k < 4; ++k) {
        if (!straight(measure[k])) {
            continue;
        }
        const int a = ends[k][0];
        const int b = ends[k][1];
        length[k] = distance(rec.extremeX[a], rec.extremeY[a], rec.extremeX[b], rec.extremeY[b]);
        if (shortest < 0 || length[k] < length[shortest]) {
            shortest = k;
        }
    }
    for (int k = 0; k < 4; ++k) {
        if (k != shortest && straight(measure[k]) && length[k] < kNickRatio * length[shortest]) {
            return;
        }
    }
    measure[shortest] = kDiscounted;
}

void logCandidate(Recognizer& rec, const Quad& quad, const double (&measure)[4])
{
    // Without the log nothing would be written; spare the formatting.
    if (rec.logEnabled == 1) {
        std::snprintf(rec.logLine, sizeof rec.logLine, kCandidateFormat, quad.p,
                      rec.extremeX[quad.p], rec.extremeY[quad.p], quad.q, rec.extremeX[quad.q],
                      rec.extremeY[quad.q], quad.r, rec.extremeX[quad.r], rec.extremeY[quad.r],
                      rec.contourLength, measure[1], measure[2]);
    }
    rec.appendLogLine(rec.logLine);
}

}  // namespace

bool Recognizer::traceCandidate(int x, int y)
{
    if (!imageUsable(*this) || !insideImage(*this, x, y)) {
        return false;
    }
    traceContour(*this, x, y);
    Quad quad{};
    if (!chooseCorners(*this, quad)) {
        return false;
    }
    // Sides in the order P-R, P-S, Q-S, Q-R.
    const int ends[4][2] = {{quad.p, quad.r}, {quad.p, quad.s}, {quad.q, quad.s}, {quad.q, quad.r}};
    double measure[4];
    for (int k = 0; k < 4; ++k) {
        measure[k] = edgeDeviation(ends[k][0], ends[k][1]);
    }
    logCandidate(*this, quad, measure);
    discountNick(*this, ends, measure);
    if (!identifyCorners(*this, quad, measure)) {
        return false;
    }
    logCandidate(*this, quad, measure);
    return true;
}
