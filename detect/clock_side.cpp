// Clock side search: finds the straight line through one end of the
// finder pattern that runs along the opposite clock track. A probe line is
// turned about the anchor within a fan around the solid side's direction;
// along each probe the pixels are cut into dark and light runs. A line
// inside the clock track shows many short, even runs; a line that leaves
// the symbol ends in one long light run.
#include "detect/clock_side.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "detect/recognizer.h"
#include "recognition/stage_timer.h"

namespace {

constexpr int kMaxCandidates = 3;
// Runs a sweep line needs to be a candidate; the fallback's count.
constexpr int kCandidateRuns = 9;
constexpr int kFallbackCandidateRuns = 8;
// The sweep gives up this many steps after it has passed the bisection's
// last good angle.
constexpr int kPastLimit = 10;
// Room left in a log line for the time stamp and the line break.
constexpr size_t kLogStampRoom = 64;

struct Candidate {
    Line line;
    double irregularity;
    double lastRatio;
    double balance;
};

// Working state of one search.
struct ClockSearch {
    Line base;        // the solid side's direction through the anchor
    double reach;     // R
    double angle;     // X
    double step;      // V
    double lastGood;  // H
    double bound;     // inward end of the fan
    int sense;        // sigma: +1 or -1
    bool sweeping;
    int pass;
    int pastCount;
    int candidateRuns;
    Candidate candidates[kMaxCandidates];
    int candidateCount;
};

bool validExtreme(int i)
{
    return i >= 0 && i < kExtremeCount;
}

bool isDarkClass(uint8_t blue)
{
    return blue == 0 || blue == EDGE_MARK || blue == TRACED_MARK;
}

Line throughPoint(Line line, double x, double y)
{
    line.intercept = line.form == LINE_X_OF_Y ? x - line.slope * y : y - line.slope * x;
    return line;
}

double distance(double x1, double y1, double x2, double y2)
{
    return std::sqrt((x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2));
}

// Appends formatted text to the pending log line, never past its end.
void logAppend(Recognizer& r, const char* text)
{
    const size_t used = std::strlen(r.logLine);
    const size_t room = sizeof r.logLine - kLogStampRoom;
    if (used >= room)
        return;
    std::snprintf(r.logLine + used, room - used, "%s", text);
}

void logRuns(Recognizer& r)
{
    for (int k = 0; k < r.runCount; ++k) {
        std::snprintf(r.logPiece, sizeof r.logPiece, "%d(%d),", r.runLength[k], r.runDark[k]);
        logAppend(r, r.logPiece);
    }
}

// The reach point of the line at `angle` through the anchor: R along the
// line from the anchor, on the side the target lies from the corner.
void reachPoint(const Recognizer& r, const ClockSearch& s, int anchor, int target,
                double angle, double& major, double& minor)
{
    const bool alongY = s.base.form == LINE_X_OF_Y;
    const int c = r.cornerL;
    const double majorA = alongY ? r.extremeY[anchor] : r.extremeX[anchor];
    const double minorA = alongY ? r.extremeX[anchor] : r.extremeY[anchor];
    const int majorT = alongY ? r.extremeY[target] : r.extremeX[target];
    const int majorC = alongY ? r.extremeY[c] : r.extremeX[c];
    const double side = majorT < majorC ? -1.0 : 1.0;
    const double slope = std::tan(angle);
    const double intercept = minorA - slope * majorA;
    major = majorA + side * s.reach * std::cos(std::atan(slope));
    minor = slope * major + intercept;
}

// Outward is the turn towards the reach point farther from the target.
int outwardSense(const Recognizer& r, const ClockSearch& s, int anchor, int target,
                 double theta0)
{
    const bool alongY = s.base.form == LINE_X_OF_Y;
    const double majorT = alongY ? r.extremeY[target] : r.extremeX[target];
    const double minorT = alongY ? r.extremeX[target] : r.extremeY[target];
    double major, minor;
    reachPoint(r, s, anchor, target, theta0 + kClockFan, major, minor);
    const double dPlus = distance(majorT, minorT, major, minor);
    reachPoint(r, s, anchor, target, theta0 - kClockFan, major, minor);
    const double dMinus = distance(majorT, minorT, major, minor);
    return dMinus > dPlus ? -1 : 1;
}

ClockSearch startSearch(const Recognizer& r, Line base, int anchor, int target)
{
    ClockSearch s{};
    const int c = r.cornerL;
    s.base = throughPoint(base, r.extremeX[anchor], r.extremeY[anchor]);
    const double theta0 = std::atan(s.base.slope);
    s.reach = distance(r.extremeX[target], r.extremeY[target], r.extremeX[c], r.extremeY[c]);
    s.sense = outwardSense(r, s, anchor, target, theta0);
    s.angle = theta0;
    s.step = kClockFan;
    s.lastGood = theta0 - s.sense * kClockFan;
    s.bound = s.lastGood;
    return s;
}

// The probe line at the current angle, expressed in the form that keeps
// its slope within [-1, 1].
Line probeLine(Recognizer& r, const ClockSearch& s, int anchor)
{
    Line probe = s.base;
    probe.slope = std::tan(s.angle);
    probe = throughPoint(probe, r.extremeX[anchor], r.extremeY[anchor]);
    if (r.logEnabled == 1) {
        std::snprintf(r.logLine, sizeof r.logLine, "%5.3f--%d", probe.slope, probe.form);
        r.appendLogLine(r.logLine);
    }
    if (probe.slope > 1 || probe.slope < -1) {
        if (probe.form == LINE_Y_OF_X)
            probe.form = LINE_X_OF_Y;
        else if (probe.form == LINE_X_OF_Y)
            probe.form = LINE_Y_OF_X;
        probe.intercept = -probe.intercept / probe.slope;
        probe.slope = 1 / probe.slope;
    }
    return probe;
}

void logWalkHeader(Recognizer& r, int anchor)
{
    const int c = r.cornerL;
    std::snprintf(r.logLine, sizeof r.logLine, "%d--%d--%d--%d--%d--%d:", c, anchor,
                  r.extremeY[c], r.extremeY[anchor], r.extremeX[c], r.extremeX[anchor]);
    r.appendLogLine(r.logLine);
}

void logPass(Recognizer& r, const ClockSearch& s, const RunStats& st)
{
    std::snprintf(r.logLine, sizeof r.logLine, "%5.3f--%d--%d--%5.3f--%d--%d:",
                  s.angle * 180 / kDetectorPi, s.pass, r.runCount, st.irregularity,
                  st.lightSum, st.darkSum);
    logRuns(r);
    r.appendLogLine(r.logLine);
}

int lastRun(const Recognizer& r)
{
    return r.runCount > 0 ? r.runLength[r.runCount - 1] : 0;
}

void bisect(const Recognizer& r, ClockSearch& s, const RunStats& st)
{
    const bool good = r.runCount > 6 && lastRun(r) < 0.5 * st.total;
    if (good)
        s.lastGood = s.angle;
    if (s.step >= kBisectionFloor) {
        s.step /= 2;
        s.angle += (good ? s.sense : -s.sense) * s.step;
        return;
    }
    if (good)
        s.angle += s.sense * s.step;
    s.sweeping = true;
}

void addCandidate(const Recognizer& r, ClockSearch& s, Line probe, const RunStats& st)
{
    Candidate& c = s.candidates[s.candidateCount++];
    c.line = probe;
    c.irregularity = st.irregularity;
    c.lastRatio = static_cast<double>(lastRun(r)) / st.total;
    c.balance = std::fabs(static_cast<double>(st.lightSum - st.darkSum)) /
                (st.lightSum + st.darkSum);
}

// One step of the sweep; false when the search is over.
bool sweep(const Recognizer& r, ClockSearch& s, Line probe, const RunStats& st)
{
    if (st.irregularity < 0.6 && r.runCount >= s.candidateRuns && lastRun(r) < 0.35 * st.total) {
        addCandidate(r, s, probe, st);
        if (s.candidateCount == kMaxCandidates)
            return false;
    }
    if (s.pastCount > 0 && ++s.pastCount == kPastLimit)
        return false;
    s.angle -= s.sense * kSweepStep;
    const bool beyondBound = s.sense > 0 ? s.angle < s.bound : s.angle > s.bound;
    if (beyondBound)
        return false;
    const bool pastGood = s.sense > 0 ? s.angle < s.lastGood : s.angle > s.lastGood;
    if (pastGood && s.pastCount == 0)
        s.pastCount = 1;
    return true;
}

// A later candidate wins only by a clear margin: more regular and better
// balanced at once, or with a clearly shorter last run.
Line chooseCandidate(const ClockSearch& s)
{
    const Candidate* best = &s.candidates[0];
    for (int i = 0; i < s.candidateCount; ++i) {
        const Candidate& c = s.candidates[i];
        if ((c.irregularity * 1.01 < best->irregularity && c.balance * 1.1 < best->balance) ||
            c.lastRatio * 1.1 < best->lastRatio)
            best = &c;
    }
    return best->line;
}

}  // namespace

Line Recognizer::findClockSide(Line base, int anchor, int target, DetectFlags flags)
{
    StageTimer timer("RPL");
    Line result = base;
    result.tag = LINE_TAG_MISSING;
    if (!validExtreme(anchor) || !validExtreme(target) || !validExtreme(cornerL))
        return result;
    ClockSearch s = startSearch(*this, base, anchor, target);
    s.candidateRuns = (flags & DETECT_EIGHT_RUNS) != 0 ? kFallbackCandidateRuns : kCandidateRuns;
    for (bool more = true; more;) {
        Line probe = probeLine(*this, s, anchor);
        if (logEnabled == 1 && probe.form == LINE_Y_OF_X)
            logWalkHeader(*this, anchor);
        walkSide(probe, anchor, target, s.reach);
        const RunStats st = runStatistics();
        if (logEnabled == 1)
            logPass(*this, s, st);
        ++s.pass;
        if (!s.sweeping)
            bisect(*this, s, st);
        else
            more = sweep(*this, s, probe, st);
        result = probe;
    }
    if (s.candidateCount > 0)
        result = chooseCandidate(s);
    else
        result.tag = LINE_TAG_MISSING;
    { StageTimer endMarker("RPL end"); }
    return result;
}

WalkEnd Recognizer::walkSide(Line w, int anchor, int directionPoint, double reach)
{
    probeCount = 0;
    runCount = 0;
    if (!validExtreme(anchor) || !validExtreme(directionPoint) || !validExtreme(cornerL))
        return WALK_OUTSIDE;
    const bool alongY = w.form == LINE_X_OF_Y;
    const int xa = extremeX[anchor], ya = extremeY[anchor];
    const int xc = extremeX[cornerL], yc = extremeY[cornerL];
    // Start one pixel from the anchor towards the corner on the minor axis;
    // the major coordinate moves by the corner's offset ratio, added
    // whichever way the one-pixel step went.
    int startMajor, startMinor;
    if (!alongY) {
        startMinor = yc > ya ? ya + 1 : ya - 1;
        startMajor = yc == ya ? xa : static_cast<int>(xa + static_cast<double>(xc - xa) / (yc - ya));
        w = throughPoint(w, startMajor, startMinor);
    } else {
        startMinor = xc > xa ? xa + 1 : xa - 1;
        startMajor = xc == xa ? ya : static_cast<int>(ya + static_cast<double>(yc - ya) / (xc - xa));
        w = throughPoint(w, startMinor, startMajor);
    }
    const int majorD = alongY ? extremeY[directionPoint] : extremeX[directionPoint];
    const int step = majorD > (alongY ? yc : xc) ? 1 : -1;
    int x0 = 0, y0 = 0;
    const SquaredLimit limit = SquaredLimit::of(reach, width, height);
    // The image's fields and the counts in locals (the probes and runs
    // cannot change them); the counts are stored when the walk ends, after
    // n probes.
    const int imageWidth = width;
    const int imageHeight = height;
    const size_t rowBytes = static_cast<size_t>(stride);
    const uint8_t* const image = pixels;
    int runs = 0;
    const auto end = [&](WalkEnd how, int n) {
        probeCount = n;
        runCount = runs;
        return how;
    };
    for (int n = 0, t = startMajor;; ++n, t += step) {
        const int minor = roundToInt(w.slope * t + w.intercept);
        const int x = alongY ? minor : t;
        const int y = alongY ? t : minor;
        if (n < kProbeCapacity) {
            probeX[n] = x;
            probeY[n] = y;
        }
        if (x < 0 || y < 0 || y >= imageHeight || x >= imageWidth)
            return end(WALK_OUTSIDE, n);
        if (n == 0) {
            x0 = x;
            y0 = y;
        }
        // Both points lie in the image.
        if (limit.beyond(x - x0, y - y0))
            return end(WALK_REACHED, n);
        if (n == kProbeCapacity)
            return end(WALK_FULL, n);
        const size_t at = static_cast<size_t>(y) * rowBytes + 3u * static_cast<size_t>(x);
        const int dark = isDarkClass(image[at]) ? 1 : 0;
        if (runs > 0 && runDark[runs - 1] == dark) {
            ++runLength[runs - 1];
        } else {
            runLength[runs] = 1;
            runDark[runs] = dark;
            ++runs;
        }
    }
}

// The first two runs and the last one are cut by the walk's ends and the
// finder's corner, so only the runs between them judge the regularity.
RunStats Recognizer::runStatistics() const
{
    RunStats st{};
    const int n = runCount;
    for (int i = 0; i < n; ++i)
        st.total += runLength[i];
    const int k = (n - 1) / 2 * 2;
    for (int i = 0; i < k; ++i)
        (runDark[i] ? st.darkSum : st.lightSum) += runLength[i];
    if (n <= 2)
        return st;
    int lo = runLength[2], hi = runLength[2];
    for (int i = 3; i <= n - 2; ++i) {
        lo = runLength[i] < lo ? runLength[i] : lo;
        hi = runLength[i] > hi ? runLength[i] : hi;
    }
    st.irregularity = static_cast<double>(hi - lo) / hi;
    return st;
}
