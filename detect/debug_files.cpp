// The detector's debug artefacts: the time-stamped log "r.log", the text
// dump of the module grid and the BMP dump of the working image.
#include "detect/recognizer.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kLogFileName = "r.log";
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

constexpr size_t kBmpHeaderSize = 54;
constexpr uint32_t kBmpInfoSize = 40;

// Little-endian, byte by byte, whatever the host's byte order and packing.
void put16(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void put32(uint8_t* at, uint32_t value)
{
    put16(at, value);
    put16(at + 2, value >> 16);
}

}  // namespace

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
    logFile = std::fopen(kLogFileName, "a");
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
    std::FILE* file = std::fopen(fileName, "w");
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
    std::FILE* file = std::fopen(fileName, "wb");
    if (file == nullptr) {
        return 1;
    }
    const bool hasPixels = pixels != nullptr && stride > 0 && height > 0;
    const uint32_t imageSize =
        hasPixels ? static_cast<uint32_t>(stride) * static_cast<uint32_t>(height) : 0;
    uint8_t header[kBmpHeaderSize] = {};
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, imageSize + static_cast<uint32_t>(kBmpHeaderSize));
    put32(header + 10, static_cast<uint32_t>(kBmpHeaderSize));
    put32(header + 14, kBmpInfoSize);
    put32(header + 18, static_cast<uint32_t>(width));
    // Positive height: rows bottom-up, which is buffer order.
    put32(header + 22, static_cast<uint32_t>(height));
    put16(header + 26, 1);
    put16(header + 28, 24);
    put32(header + 34, imageSize);
    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
    if (ok && imageSize > 0) {
        ok = std::fwrite(pixels, 1, imageSize, file) == imageSize;
    }
    ok = std::fclose(file) == 0 && ok;
    return ok ? 0 : 1;
}
