// The detector: finds a Data Matrix symbol in a 24-bit frame and samples
// its module grid. One Recognizer serves one detection run; every array
// it needs has its capacity inside the object, so detecting allocates
// nothing.
#pragma once

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

// DetectFlags bits.
enum : unsigned {
    DETECT_MEAN_LOWERED = 0x01,
    DETECT_LOG = 0x02,
    DETECT_WRITE_IMAGE = 0x04,
    DETECT_PAINT_LINES = 0x08,
    DETECT_WRITE_GRID = 0x10,
    DETECT_MEAN_RAISED = 0x40,
    DETECT_HIST_VALLEY = 0x80,
    DETECT_HIST_VALLEY_DARKER = 0x100,
    // The clock-side sweep takes a probe line with 8 runs as a candidate
    // (the short side of an 8-row rectangle shows no more). The attempt
    // kinds never set it: with it, a ragged outline passes more often.
    DETECT_EIGHT_RUNS = 0x200,
};
using DetectFlags = unsigned;

// Pixel classes after binarisation, told by the first (blue) byte.
constexpr uint8_t EDGE_MARK = 128;    // dark, 4-adjacent to light, not traced
constexpr uint8_t TRACED_MARK = 235;  // boundary pixel visited by a trace

enum LineForm : int {
    LINE_Y_OF_X = 1,  // y = slope * x + intercept (closer to horizontal)
    LINE_X_OF_Y = 2,  // x = slope * y + intercept (closer to vertical)
};

constexpr int LINE_TAG_MISSING = -10;  // no clock side was found

struct Line {
    int tag;
    int form;
    double slope;
    double intercept;
};

// The detector's rounding rule: nearest for x >= 0 with halves going down,
// truncation toward zero for negative x.
inline int roundToInt(double x)
{
    // Far-away intersections can produce values no int holds; saturate
    // rather than convert out of range.
    if (x != x) {
        return 0;
    }
    if (x >= 2147483647.0) {
        return INT_MAX;
    }
    if (x <= -2147483648.0) {
        return INT_MIN;
    }
    int t = static_cast<int>(x);
    // Halves go down for x >= 0; negative values simply truncate.
    if (x + 0.5 > t + 1) {
        return static_cast<int>(x + 1);
    }
    return t;
}

inline double absValue(double x)
{
    return x < 0 ? -x : x;
}

Line lineThroughPoints(double x1, double y1, double x2, double y2);

// Whether two pixels of an image lie farther apart than a limit,
// sqrt(dx^2 + dy^2) > limit, without a root at every step of a walk: in an
// image of less than kSquaredLimitSide pixels a side the squared offset is
// a whole number below 2^51, and then the root exceeds the limit exactly
// when that number reaches `first` (sqrt rounds correctly and never
// decreases). Larger images take the root.
constexpr int kSquaredLimitSide = 1 << 25;
struct SquaredLimit {
    double limit;
    int64_t first;  // the smallest whole square whose root exceeds the limit
    bool whole;     // the image is small enough for `first`
    static SquaredLimit of(double limit, int width, int height);
    bool beyond(int dx, int dy) const
    {
        return whole ? int64_t{dx} * dx + int64_t{dy} * dy >= first
                     : std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy) > limit;
    }
};

// 0 with the crossing point written, 1 when the lines are nearly parallel.
inline int intersectLines(Line first, Line second, double& x, double& y)
{
    constexpr double kParallel = 0.0001;
    const double s1 = first.slope;
    const double c1 = first.intercept;
    const double s2 = second.slope;
    const double c2 = second.intercept;
    if (first.form == second.form) {
        if (absValue(s1 - s2) < kParallel) {
            return 1;
        }
        const double along = (c2 - c1) / (s1 - s2);
        const double across = s1 * along + c1;
        if (first.form == LINE_Y_OF_X) {
            x = along;
            y = across;
        } else {
            y = along;
            x = across;
        }
        return 0;
    }
    if (absValue(1 - s1 * s2) < kParallel) {
        return 1;
    }
    // The first line's own variable is found first, the second line then
    // gives the other coordinate.
    const double own = (s1 * c2 + c1) / (1 - s1 * s2);
    if (first.form == LINE_Y_OF_X) {
        y = own;
        x = s2 * y + c2;
    } else {
        x = own;
        y = s2 * x + c2;
    }
    return 0;
}

// The debug log's file name; the grid and image dumps are named by the
// caller of detect.
constexpr const char* kLogFileName = "r.log";
// Room for a debug file's path, folder included.
constexpr size_t kDebugPathCapacity = 4096;

constexpr int kExtremeCount = 8;
constexpr int kBranchCapacity = 100;
constexpr int kProbeCapacity = 1000;
constexpr int kLineCapacity = 1000;
constexpr int kGridCapacity = 144;

// One family of module boundary lines: start and end points and the Line
// through them.
struct BoundaryLines {
    int startX[kLineCapacity];
    int startY[kLineCapacity];
    int endX[kLineCapacity];
    int endY[kLineCapacity];
    Line line[kLineCapacity];
};

// How a side walk ended.
enum WalkEnd {
    WALK_OUTSIDE,  // a point fell outside the image
    WALK_REACHED,  // a point lay beyond the reach limit
    WALK_FULL,     // the probe or run arrays are full
};

// Statistics of the runs of the last walk.
struct RunStats {
    int total;         // T: sum of all run lengths
    int darkSum;       // dark runs among runs 0 .. k-1
    int lightSum;      // light runs among runs 0 .. k-1
    double irregularity;  // Q
};

// The four sides of an accepted candidate and its fourth corner, handed
// from the boundary-line phase to grid sampling.
struct SymbolOutline {
    Line sideA;   // solid side L-A
    Line sideB;   // solid side L-B
    Line clock1;  // clock side B-D
    Line clock2;  // clock side A-D
    double xD;
    double yD;
};

// Finder candidates that passed the corner test, in the order the walk met
// them: corner L and the ends A and B of the finder's two sides, in buffer
// coordinates. Kept only when a caller asks for them; keeping them changes
// nothing of the detection.
constexpr int kCandidateLogCapacity = 32;
struct CandidateLog {
    int count = 0;  // candidates kept, at most kCandidateLogCapacity
    int x[kCandidateLogCapacity][3];
    int y[kCandidateLogCapacity][3];
};

// What the threshold choice learns from a frame whatever the attempt's
// settings: the grey histogram and the mean brightness. The attempts of
// one cycle work on the same frame and share them, so the second attempt
// does not count the pixels again.
struct FrameStatistics {
    int histogramKnown = 0;
    int histogram[256];
    int meanKnown = 0;
    int meanBrightness = 0;
    // Room for a byte a pixel (width x height, row after row) that the
    // caller may lend. The pass that counts the histogram or the mean then
    // keeps each pixel's level there, the smallest whole number not below
    // its grey value (FRAME_LEVELS_GREY) or its largest byte
    // (FRAME_LEVELS_BRIGHTEST): a pixel is light exactly when its level is
    // above the threshold, whichever the threshold.
    uint8_t* levels = nullptr;
    size_t levelCapacity = 0;
    int levelKind = 0;
};
enum : int { FRAME_LEVELS_NONE = 0, FRAME_LEVELS_GREY = 1, FRAME_LEVELS_BRIGHTEST = 2 };

struct Recognizer {
    int threshold = 0;
    FILE* logFile = nullptr;
    int logEnabled = 0;
    LocalTime logStamp{};
    LocalTime startTime{};
    LocalTime endTime{};
    int extremeX[kExtremeCount]{};
    int extremeY[kExtremeCount]{};
    int contourLength = 0;
    char logLine[10000]{};
    char logPiece[256]{};
    int cornerA = 0;
    int cornerL = 0;
    int cornerB = 0;
    int probeX[kProbeCapacity];
    int probeY[kProbeCapacity];
    int probeCount = 0;
    int runLength[kProbeCapacity];
    int runDark[kProbeCapacity];
    int runCount = 0;
    BoundaryLines columnLines;
    BoundaryLines rowLines;
    int columnLineCount = 0;
    int rowLineCount = 0;
    int branchX[kBranchCapacity];
    int branchY[kBranchCapacity];
    int branchCount = 0;
    int width = 0;
    int stride = 0;
    int height = 0;
    uint8_t* pixels = nullptr;
    int ownsPixels = 0;  // nonzero: pixels came from new[]; the destructor deletes them
    // The frame's colours when they are not in `pixels`: rows of the same
    // size and order, `sourceStride` bytes apart. The threshold choice then
    // reads them here and the binarisation writes every pixel of `pixels`,
    // whose earlier content does not matter (its row padding is left as it
    // is). nullptr: the colours are in `pixels`.
    const uint8_t* sourcePixels = nullptr;
    int sourceStride = 0;
    int gridCols = 0;
    int gridRows = 0;
    int32_t grid[kGridCapacity][kGridCapacity];
    // The folder the debug files go into; nullptr: the current directory.
    const char* debugFolder = nullptr;
    // Where accepted finder candidates are recorded, if anywhere.
    CandidateLog* candidateLog = nullptr;
    // Statistics of this frame shared with other attempts on it, if any.
    FrameStatistics* frameStatistics = nullptr;

    Recognizer() = default;
    ~Recognizer();
    Recognizer(const Recognizer&) = delete;
    Recognizer& operator=(const Recognizer&) = delete;

    // 1: symbol found and grid filled; 0: none found; -1: DETECT_LOG set
    // and "r.log" cannot be created.
    int detect(int fixedThreshold, const char* imageFileName,
               const char* gridFileName, DetectFlags flags);

    // Threshold choice and binarisation (threshold.cpp).
    void chooseThreshold(int fixedThreshold, DetectFlags flags);
    // Bin g counts the pixels whose grey value truncates to g (256 bins).
    void greyHistogram(int* bins) const;
    void classifyPixels(DetectFlags flags);
    void markBoundaries();
    // Both of the above in one pass, as detect runs them.
    void binarise(DetectFlags flags);

    // Contour trace and finder-corner test from one EDGE_MARK pixel
    // (contour.cpp). True when the contour shows the finder pattern;
    // cornerL, cornerA and cornerB are then set.
    bool traceCandidate(int x, int y);
    Line lineThroughExtremes(int a, int b) const;

    // Mean distance of the traced outline from the segment between two
    // extreme points; 5.5 when it cannot be measured (straightness.cpp).
    double edgeDeviation(int i, int j) const;

    // Clock side search and the side walk it shares with the run scan
    // (clock_side.cpp).
    Line findClockSide(Line base, int anchor, int target, DetectFlags flags = 0);
    WalkEnd walkSide(Line w, int anchor, int directionPoint, double reach);
    RunStats runStatistics() const;

    // Runs along a clock side from next to the anchor (run_scan.cpp).
    void scanRuns(Line line, int anchor, int direction, double endX, double endY);

    // Paints a line red into the working image (line_painter.cpp).
    void paintLine(Line line, double startX, double startY, double endX, double endY);

    // 1 dark, 0 light, -1 undecided (cell_sampler.cpp).
    int sampleCell(Line l1, Line l2, Line l3, Line l4) const;

    // Handedness, clock sides, fourth corner and both families of module
    // boundary lines (boundary_lines.cpp). False rejects the candidate.
    bool buildBoundaryLines(SymbolOutline& outline, DetectFlags flags = 0);

    // Painting, sampling into the grid and the optional dumps
    // (grid_sampling.cpp).
    void sampleGrid(const SymbolOutline& outline, DetectFlags flags,
                    const char* imageFileName, const char* gridFileName);

    // Debug log and dump files (debug_files.cpp). A debug file's path: the
    // name itself, or the debug folder and the name; nullptr when it does
    // not fit `room`.
    const char* debugPath(const char* name, char* room, size_t roomSize) const;
    int appendLogLine(const char* text);
    void logElapsedTime();
    int writeGridText(const char* fileName) const;
    int writeImageBmp(const char* fileName) const;
};
