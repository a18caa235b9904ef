// The detector's debug artefacts: the time-stamped log "r.log", the text
// dump of the module grid and the BMP dump of the working image.
#include "detect/recognizer.h"

#include <cstdio>
#include <cstring>

#include "frame/packed_frame.h"

namespace {

// The whole line, stamp and line break included, stays below this.
constexpr size_t kLogLineLimit = 10000;

constexpr int kMsPerHour = 3600 * 1000;
constexpr int kMsPerDay = 24 * kMsPerHour;

// Milliseconds since midnight.
int dayMs(const LocalTime& t)
{
    return ((static_cast<int>(t.hour) * 60 + static_cast<int>(t.minute)) * 60 +
            static_cast<int>(t.second)) * 1000 +
           static_cast<int>(t.milliseconds);
}

}  // namespace

const char* Recognizer::debugPath(const char* name, char* room, size_t roomSize) const
{
    if (debugFolder == nullptr || debugFolder[0] == '\0') {
        return name;
    }
    const int length = std::snprintf(room, roomSize, "%s/%s", debugFolder, name);
    return length >= 0 && static_cast<size_t>(length) < roomSize ? room : nullptr;
}

int Recognizer::appendLogLine(const char* text)
{
    logStamp = platformLocalTime();
    if (logEnabled != 1) {
        return 0;
    }
    char line[kLogLineLimit];
    const LocalTime& t = logStamp;
    int length = std::snprintf(line, sizeof line, "%u.%u.%u %u:%u:%u:%u %s", t.year, t.month,
                               t.day, t.hour, t.minute, t.second, t.milliseconds,
                               text != nullptr ? text : "");
    if (length < 0) {
        return 1;
    }
    // An over-long text is cut so that the line break still fits.
    size_t used = static_cast<size_t>(length);
    if (used > sizeof line - 2) {
        used = sizeof line - 2;
    }
    line[used++] = '\n';
    char room[kDebugPathCapacity];
    const char* path = debugPath(kLogFileName, room, sizeof room);
    logFile = path != nullptr ? std::fopen(path, "a") : nullptr;
    if (logFile == nullptr) {
        return 1;
    }
    const bool written = std::fwrite(line, 1, used, logFile) == used;
    const bool closed = std::fclose(logFile) == 0;
    logFile = nullptr;
    return written && closed ? 0 : 1;
}

void Recognizer::logElapsedTime()
{
    // Measured on the time of day, so that an interval across an hour (or
    // midnight) boundary is still reported right.
    int ms = dayMs(endTime) - dayMs(startTime);
    if (ms < 0) {
        ms += kMsPerDay;
    }
    std::snprintf(logLine, sizeof logLine, "%7.5f", ms / 1000.0);
    appendLogLine(logLine);
}

int Recognizer::writeGridText(const char* fileName) const
{
    char room[kDebugPathCapacity];
    const char* path = debugPath(fileName, room, sizeof room);
    std::FILE* file = path != nullptr ? std::fopen(path, "w") : nullptr;
    if (file == nullptr) {
        return -1;
    }
    const int rows = gridRows < kGridCapacity ? gridRows : kGridCapacity;
    const int cols = gridCols < kGridCapacity ? gridCols : kGridCapacity;
    // Every value, the last of a row included, is followed by a comma.
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            std::fprintf(file, "%d,", static_cast<int>(grid[r][c]));
        }
        std::fputc('\n', file);
    }
    return std::fclose(file) == 0 ? 0 : -1;
}

int Recognizer::writeImageBmp(const char* fileName) const
{
    char room[kDebugPathCapacity];
    const char* path = debugPath(fileName, room, sizeof room);
    return path != nullptr && writeBmpFile(path, pixels, width, height, stride) ? 0 : 1;
}
