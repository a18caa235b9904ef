// The detector's entry: binarise, walk the image for a finder pattern and
// sample the first candidate that holds up.
#include "detect/recognizer.h"

#include <cstdio>
#include <cstring>

#include "detect/image_access.h"
#include "recognition/stage_timer.h"

namespace {

// Empties the log for this run; false when it cannot be created.
bool startLog(const Recognizer& r)
{
    char room[kDebugPathCapacity];
    const char* path = r.debugPath(kLogFileName, room, sizeof room);
    std::FILE* file = path != nullptr ? std::fopen(path, "w") : nullptr;
    if (file == nullptr) {
        return false;
    }
    std::fclose(file);
    return true;
}

// The first x >= from whose pixel holds EDGE_MARK, or width. After
// binarisation only blue bytes hold anything but 0 and 255, so the byte
// search finds blue bytes only; the check keeps it exact regardless.
int nextEdgeMark(const uint8_t* row, int from, int width)
{
    const uint8_t* end = row + 3 * static_cast<size_t>(width);
    const uint8_t* p = row + 3 * static_cast<size_t>(from);
    while (p < end) {
        const void* hit = std::memchr(p, EDGE_MARK, static_cast<size_t>(end - p));
        if (hit == nullptr) {
            return width;
        }
        const size_t offset = static_cast<size_t>(static_cast<const uint8_t*>(hit) - row);
        if (offset % 3 == 0) {
            return static_cast<int>(offset / 3);
        }
        p = row + (offset / 3 + 1) * 3;
    }
    return width;
}

void recordCandidate(Recognizer& r)
{
    CandidateLog* log = r.candidateLog;
    if (log == nullptr || log->count >= kCandidateLogCapacity) {
        return;
    }
    const int corners[3] = {r.cornerL, r.cornerA, r.cornerB};
    for (int i = 0; i < 3; ++i) {
        log->x[log->count][i] = r.extremeX[corners[i]];
        log->y[log->count][i] = r.extremeY[corners[i]];
    }
    ++log->count;
}

// Raster walk: every boundary pixel not yet traced starts a candidate; the
// first one that passes the corner test and yields module boundary lines
// is sampled and ends the search.
bool searchSymbol(Recognizer& r, DetectFlags flags, const char* imageFileName,
                  const char* gridFileName)
{
    if (!imageUsable(r)) {
        return false;
    }
    for (int y = 0; y < r.height; ++y) {
        const uint8_t* row = pixelAt(r, 0, y);
        for (int x = nextEdgeMark(row, 0, r.width); x < r.width;
             x = nextEdgeMark(row, x + 1, r.width)) {
            if (!r.traceCandidate(x, y)) {
                continue;
            }
            recordCandidate(r);
            SymbolOutline outline{};
            if (r.buildBoundaryLines(outline, flags)) {
                r.sampleGrid(outline, flags, imageFileName, gridFileName);
                return true;
            }
        }
    }
    return false;
}

void finishTiming(Recognizer& r)
{
    r.endTime = platformLocalTime();
    r.logElapsedTime();
}

}  // namespace

Recognizer::~Recognizer()
{
    if (ownsPixels != 0) {
        delete[] pixels;
    }
}

int Recognizer::detect(int fixedThreshold, const char* imageFileName, const char* gridFileName,
                       DetectFlags flags)
{
    StageTimer wholeRun("P  1");
    chooseThreshold(fixedThreshold, flags);
    logEnabled = (flags & DETECT_LOG) != 0 ? 1 : 0;
    if (logEnabled == 1 && !startLog(*this)) {
        return -1;
    }
    startTime = platformLocalTime();
    binarise(flags);

    StageTimer search("P  2");
    if (searchSymbol(*this, flags, imageFileName, gridFileName)) {
        finishTiming(*this);
        return 1;
    }
    StageTimer exhausted("P  3");
    finishTiming(*this);
    return 0;
}
