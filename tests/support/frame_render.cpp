#include "tests/support/frame_render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "detect/recognizer.h"

namespace frame_render {

namespace {

struct SizeVersion {
    int rows;
    int cols;
};

// zint numbers the ECC200 sizes in this order with --vers.
constexpr SizeVersion kZintVersions[] = {
    {10, 10},   {12, 12},   {14, 14},   {16, 16},   {18, 18},   {20, 20},
    {22, 22},   {24, 24},   {26, 26},   {32, 32},   {36, 36},   {40, 40},
    {44, 44},   {48, 48},   {52, 52},   {64, 64},   {72, 72},   {80, 80},
    {88, 88},   {96, 96},   {104, 104}, {120, 120}, {132, 132}, {144, 144},
    {8, 18},    {8, 32},    {12, 26},   {12, 36},   {16, 36},   {16, 48},
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// One dump row: hex digits, most significant bit first, grouped in bytes
// separated by blanks; the last group may be a single digit.
bool parseDumpRow(const std::string& line, int cols, std::vector<uint8_t>& out)
{
    std::vector<uint8_t> bits;
    for (char c : line) {
        if (c == ' ' || c == '\n' || c == '\r')
            continue;
        const int v = hexValue(c);
        if (v < 0)
            return false;
        for (int b = 3; b >= 0; --b)
            bits.push_back(uint8_t((v >> b) & 1));
    }
    if (int(bits.size()) < cols || int(bits.size()) >= cols + 4)
        return false;
    out.insert(out.end(), bits.begin(), bits.begin() + cols);
    return true;
}

uint8_t& pixelAt(Frame& f, int pictureX, int pictureY, int channel)
{
    const int row = f.height - 1 - pictureY;  // picture top is the last buffer row
    return f.pixels[size_t(row) * size_t(f.stride) + size_t(pictureX) * 3 + size_t(channel)];
}

}  // namespace

int zintVersion(int rows, int cols)
{
    int version = 1;
    for (const SizeVersion& s : kZintVersions) {
        if (s.rows == rows && s.cols == cols)
            return version;
        ++version;
    }
    return 0;
}

bool encodeWithZint(int rows, int cols, const std::string& text, ModuleGrid& grid)
{
    const int version = zintVersion(rows, cols);
    if (version == 0)
        return false;
    const std::string command = "zint -b 71 --dump --vers=" + std::to_string(version) +
                                " -d '" + text + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return false;
    grid = ModuleGrid{rows, cols, {}};
    char line[512];
    int rowCount = 0;
    bool ok = true;
    while (std::fgets(line, sizeof line, pipe)) {
        ok = ok && parseDumpRow(line, cols, grid.dark);
        ++rowCount;
    }
    const int status = pclose(pipe);
    return ok && status == 0 && rowCount == rows;
}

Frame uniformFrame(int width, int height, uint8_t grey)
{
    Frame f;
    f.width = width;
    f.height = height;
    f.stride = int(frameStride(width));
    f.pixels.assign(size_t(f.stride) * size_t(height), grey);
    return f;
}

Frame noiseFrame(int width, int height, uint32_t seed)
{
    Frame f = uniformFrame(width, height, 0);
    uint32_t state = seed * 2654435761u + 1;
    for (uint8_t& byte : f.pixels) {
        state = state * 1664525u + 1013904223u;
        byte = uint8_t(state >> 24);
    }
    return f;
}

Frame renderFrame(int width, int height, const ModuleGrid& grid, const Placement& at)
{
    constexpr uint8_t kLight = 240;
    constexpr uint8_t kDark = 16;
    Frame f = uniformFrame(width, height, kLight);
    const double turn = at.angleDegrees * 3.14159265358979323846 / 180.0;
    const double c = std::cos(turn);
    const double s = std::sin(turn);
    const double halfW = grid.cols * at.moduleSize / 2;
    const double halfH = grid.rows * at.moduleSize / 2;
    // Only the symbol's bounding box needs a look.
    const double reach = std::sqrt(halfW * halfW + halfH * halfH) + 2;
    const int xFirst = std::max(0, int(at.centerX - reach));
    const int xLast = std::min(width, int(at.centerX + reach) + 1);
    const int yFirst = std::max(0, int(at.centerY - reach));
    const int yLast = std::min(height, int(at.centerY + reach) + 1);
    for (int y = yFirst; y < yLast; ++y) {
        for (int x = xFirst; x < xLast; ++x) {
            const double dx = x + 0.5 - at.centerX;
            const double dy = y + 0.5 - at.centerY;
            // Symbol axes: columns along (cos, -sin), rows along (sin, cos).
            const double u = dx * c - dy * s + halfW;
            const double v = dx * s + dy * c + halfH;
            if (u < 0 || v < 0)
                continue;
            const int col = int(u / at.moduleSize);
            const int row = int(v / at.moduleSize);
            if (col >= grid.cols || row >= grid.rows || !grid.at(row, col))
                continue;
            for (int ch = 0; ch < 3; ++ch)
                pixelAt(f, x, y, ch) = kDark;
        }
    }
    return f;
}

bool fitsInFrame(int width, int height, const ModuleGrid& grid, const Placement& at,
                 double quietModules)
{
    const double turn = at.angleDegrees * 3.14159265358979323846 / 180.0;
    const double c = std::cos(turn);
    const double s = std::sin(turn);
    const double halfW = (grid.cols / 2.0 + quietModules) * at.moduleSize;
    const double halfH = (grid.rows / 2.0 + quietModules) * at.moduleSize;
    for (int corner = 0; corner < 4; ++corner) {
        const double u = (corner & 1) ? halfW : -halfW;
        const double v = (corner & 2) ? halfH : -halfH;
        const double x = at.centerX + u * c + v * s;
        const double y = at.centerY - u * s + v * c;
        if (x < 0 || y < 0 || x > width || y > height)
            return false;
    }
    return true;
}

namespace {

// detect on a fresh copy of the frame; true when it yielded a grid, which
// is then decoded into `outcome`.
bool detectAndDecode(const Frame& frame, unsigned flags, ReadOutcome& outcome)
{
    auto r = std::make_unique<Recognizer>();
    std::vector<uint8_t> copy = frame.pixels;
    r->width = frame.width;
    r->height = frame.height;
    r->stride = frame.stride;
    r->pixels = copy.data();
    r->ownsPixels = 0;
    if (r->detect(210, "out0.bmp", "outt.txt", flags) != 1)
        return false;
    outcome.found = true;
    outcome.flags = flags;
    outcome.gridRows = r->gridRows;
    outcome.gridCols = r->gridCols;
    std::vector<uint8_t> symbol(size_t(r->gridRows) * size_t(r->gridCols));
    for (int i = 0; i < r->gridRows; ++i)
        for (int j = 0; j < r->gridCols; ++j)
            symbol[size_t(i) * size_t(r->gridCols) + size_t(j)] = uint8_t(r->grid[i][j] & 0xFF);
    int32_t correctedFlag = 0, correctedCount = 0, mode = 0;
    const DecodeResult result = DecodeSymbol(r->gridCols, r->gridRows, symbol.data(),
                                             correctedFlag, correctedCount, mode);
    outcome.status = result.status;
    outcome.text = result.status == DecodeStatus::Ok ? result.text : "";
    return true;
}

}  // namespace

ReadOutcome readFrame(const Frame& frame)
{
    ReadOutcome outcome;
    int next = 0;
    while (next < 4 && !detectAndDecode(frame, kAttemptFlags[next], outcome))
        ++next;
    if (!outcome.found || outcome.status == DecodeStatus::Ok)
        return outcome;
    for (++next; next < 4; ++next) {
        ReadOutcome later;
        if (detectAndDecode(frame, kAttemptFlags[next], later) &&
            later.status == DecodeStatus::Ok) {
            outcome.laterText = later.text;
            break;
        }
    }
    return outcome;
}

}  // namespace frame_render
