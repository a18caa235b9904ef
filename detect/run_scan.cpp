// Run scan along a clock side: the same side walk as the clock-side
// search, with the line already known and the reach set by the far corner.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "detect/recognizer.h"
#include "recognition/stage_timer.h"

namespace {

// Room left in a log line for the time stamp and the line break.
constexpr size_t kLogStampRoom = 64;

void logScannedRuns(Recognizer& r)
{
    std::snprintf(r.logLine, sizeof r.logLine, "NEWW-%d:", r.runCount);
    const size_t room = sizeof r.logLine - kLogStampRoom;
    size_t used = std::strlen(r.logLine);
    for (int k = 0; k < r.runCount && used < room; ++k) {
        std::snprintf(r.logPiece, sizeof r.logPiece, "%d(%d),", r.runLength[k], r.runDark[k]);
        std::snprintf(r.logLine + used, room - used, "%s", r.logPiece);
        used += std::strlen(r.logLine + used);
    }
    r.appendLogLine(r.logLine);
}

}  // namespace

void Recognizer::scanRuns(Line line, int anchor, int direction, double endX, double endY)
{
    StageTimer timer("FMP");
    if (anchor < 0 || anchor >= kExtremeCount) {
        probeCount = 0;
        runCount = 0;
        return;
    }
    const double dx = extremeX[anchor] - endX;
    const double dy = extremeY[anchor] - endY;
    const double reach = std::sqrt(dy * dy + dx * dx);
    // A walk that left the image, or filled its arrays, keeps the runs it
    // met; only a walk that got to the far corner is logged.
    if (walkSide(line, anchor, direction, reach) != WALK_REACHED)
        return;
    if (logEnabled == 1)
        logScannedRuns(*this);
    StageTimer endMarker("FMP End");
}
