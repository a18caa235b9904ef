// Threshold choice, binarisation and boundary marking: the first phase of
// detection. One global threshold, chosen from a grey histogram or from the
// mean brightness, turns every pixel pure light or pure dark.
#include "detect/recognizer.h"

#include <array>
#include <cstring>

#include "detect/image_access.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int kBins = 256;
// Valley depth and zigzag limit, as fractions of the tallest bin.
constexpr double kPeakFraction = 0.3;
constexpr int kDarkerOffset = 30;
constexpr int kLoweredAbove = 60;
constexpr int kLoweredBy = 40;
constexpr int kRaisedBelow = 230;
constexpr int kRaisedBy = 10;

bool usesHistogram(DetectFlags flags)
{
    return (flags & (DETECT_HIST_VALLEY | DETECT_HIST_VALLEY_DARKER)) != 0;
}

// Luma-like weighting of the camera's blue-green-red bytes,
// 0.707 green + 0.222 blue + 0.071 red. The products come from tables made
// at compile time and are added in that order, so every pixel gets exactly
// the double the formula gives, for a fraction of its cost.
struct GreyWeights {
    double green[kBins];
    double blue[kBins];
    double red[kBins];
};

constexpr GreyWeights makeGreyWeights()
{
    GreyWeights w{};
    for (int v = 0; v < kBins; ++v) {
        w.green[v] = 0.707 * v;
        w.blue[v] = 0.222 * v;
        w.red[v] = 0.071 * v;
    }
    return w;
}

constexpr GreyWeights kGreyWeights = makeGreyWeights();

inline double greyValue(const uint8_t* pixel)
{
    return kGreyWeights.green[pixel[1]] + kGreyWeights.blue[pixel[0]] +
           kGreyWeights.red[pixel[2]];
}

// Black's grey value is exactly 0; white's falls a hair short of 255, so
// every grey value lies in [0, 255) and no bin needs clamping.
static_assert(kGreyWeights.green[kBins - 1] + kGreyWeights.blue[kBins - 1] +
                      kGreyWeights.red[kBins - 1] < kBins - 1,
              "white's grey value is below 255");

// The smallest whole number not below a grey value; below 255 for every
// colour.
constexpr uint8_t greyLevel(double grey)
{
    const int whole = static_cast<int>(grey);
    return static_cast<uint8_t>(whole < grey ? whole + 1 : whole);
}

// Whether a grey value is its level itself, a whole number above 0 (black's
// bin comes from the count of level 0).
constexpr bool wholeGrey(double grey, uint8_t level)
{
    return level > 0 && grey == level;
}

// A pixel of three equal bytes v has its level and whether its grey value
// is a whole number k > 0 from v alone.
struct GreyShades {
    uint8_t level[kBins];
    bool whole[kBins];
};

constexpr GreyShades makeGreyShades()
{
    GreyShades t{};
    for (int v = 0; v < kBins; ++v) {
        const double grey = kGreyWeights.green[v] + kGreyWeights.blue[v] + kGreyWeights.red[v];
        t.level[v] = greyLevel(grey);
        t.whole[v] = wholeGrey(grey, t.level[v]);
    }
    return t;
}

constexpr GreyShades kGreyShades = makeGreyShades();

inline uint8_t brightest(const uint8_t* p)
{
    const uint8_t m = p[0] > p[1] ? p[0] : p[1];
    return m > p[2] ? m : p[2];
}

inline void setClass(uint8_t* pixel, bool light)
{
    const uint8_t value = light ? 255 : 0;
    pixel[0] = value;
    pixel[1] = value;
    pixel[2] = value;
}

inline bool brighterThan(const uint8_t* pixel, int threshold)
{
    return pixel[0] > threshold || pixel[1] > threshold || pixel[2] > threshold;
}

inline void markPixel(uint8_t* pixel)
{
    pixel[0] = EDGE_MARK;
    pixel[1] = 0;
    pixel[2] = 0;
}

// A dark pixel with a light 4-neighbour inside the image; `above` and
// `below` are the neighbouring rows' pixels at the same x, or null.
inline bool onBoundary(const uint8_t* p, const uint8_t* above, const uint8_t* below, int x,
                       int width)
{
    return p[0] != 255 && ((above != nullptr && above[0] == 255) ||
                           (below != nullptr && below[0] == 255) ||
                           (x > 0 && p[-3] == 255) || (x + 1 < width && p[3] == 255));
}

// Row y of the frame's colours: the source when the attempt has one,
// else the working image before binarisation.
inline const uint8_t* colourRow(const Recognizer& r, int y)
{
    return r.sourcePixels != nullptr
               ? r.sourcePixels + static_cast<size_t>(y) * static_cast<size_t>(r.sourceStride)
               : pixelAt(r, 0, y);
}

// Copies row y's colours into the working image, where the plain passes
// classify them in place.
void takeColours(Recognizer& r, int y)
{
    if (r.sourcePixels != nullptr) {
        std::memcpy(pixelAt(r, 0, y), colourRow(r, y), 3 * static_cast<size_t>(r.width));
    }
}

constexpr int kQuad = 4;

// Bit x of a row is 1 when pixel x is light. Classes are decided into
// such rows first and written into the image afterwards, which lets a row
// be marked from its neighbour rows' bits. Wider images take the plain
// passes.
constexpr int kBitWords = 128;
constexpr int kBitRowCapacity = 64 * kBitWords;

struct LightBits {
    // One more word than needed, so that the right neighbour of the last
    // pixel reads 0.
    uint64_t word[kBitWords + 1];
};

inline void setLight(LightBits& row, int x, uint64_t bits)
{
    row.word[x >> 6] |= bits << (x & 63);
}

#if defined(__SSE2__)

// Four pixels at a time in exact integers: S = 707 green + 222 blue + 71 red
// is the grey value times 1000 without rounding. Wherever S is not a
// multiple of 1000, the double of greyValue lies strictly between the same
// two integers as S / 1000 (its rounding error is below 1e-12, while S / 1000
// is at least 0.001 away from an integer); the test over all 2^24 colours
// holds the code to that. Where S is a multiple of 1000 the double may land
// on either side of the integer, so those pixels are decided by greyValue
// itself (classes) or by a table made from it (levels), and black
// and white, whose grey values are known, need neither.
uint32_t load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

uint16_t load16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// For each blue and green byte there is at most one red byte that makes S a
// multiple of 1000, k * 1000 (71 has the inverse 831 modulo 1000). side[]
// at blue + 256 * green tells where that colour's grey value lies: 1 below
// k (it truncates to k - 1), 2 above k (its level is k + 1), 0 on k.
constexpr uint8_t kBelowWhole = 1;
constexpr uint8_t kAboveWhole = 2;

struct WholeGreySide {
    uint8_t side[kBins * kBins];
};

constexpr WholeGreySide makeWholeGreySide()
{
    WholeGreySide t{};
    for (int green = 0; green < kBins; ++green) {
        for (int blue = 0; blue < kBins; ++blue) {
            const int partial = 707 * green + 222 * blue;
            const int red = (1000 - partial % 1000) % 1000 * 831 % 1000;
            if (red < kBins) {
                const int k = (partial + 71 * red) / 1000;
                const double grey =
                    kGreyWeights.green[green] + kGreyWeights.blue[blue] + kGreyWeights.red[red];
                t.side[blue + kBins * green] = grey < k ? kBelowWhole : grey > k ? kAboveWhole : 0;
            }
        }
    }
    return t;
}

constexpr WholeGreySide kWholeGreySide = makeWholeGreySide();

// Reads the 12 bytes of pixels 0 to 3 and nothing beyond them.
inline __m128i greyTimes1000(const uint8_t* p)
{
    const __m128i pixels = _mm_unpacklo_epi64(
        _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(load32(p))),
                           _mm_cvtsi32_si128(static_cast<int>(load32(p + 3)))),
        _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(load32(p + 6))),
                           _mm_cvtsi32_si128(static_cast<int>(load32(p + 8) >> 8))));
    // Byte 3 of each 32-bit lane (the next pixel's blue) weighs 0.
    const __m128i weights = _mm_setr_epi16(222, 707, 71, 0, 222, 707, 71, 0);
    const __m128i zero = _mm_setzero_si128();
    const __m128 low = _mm_castsi128_ps(_mm_madd_epi16(_mm_unpacklo_epi8(pixels, zero), weights));
    const __m128 high = _mm_castsi128_ps(_mm_madd_epi16(_mm_unpackhi_epi8(pixels, zero), weights));
    return _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0))),
                         _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1))));
}

constexpr int kOctet = 8;

// S / 8, truncated, of the eight pixels whose S are `first` and `second`, as
// eight 16-bit lanes (at most 31875).
inline __m128i greyEighths(__m128i first, __m128i second)
{
    return _mm_packs_epi32(_mm_srli_epi32(first, 3), _mm_srli_epi32(second, 3));
}

// Each pixel's level, the smallest whole number not below its grey value,
// eight pixels at a time in 16-bit lanes. With e = S / 8 truncated,
// floor(S / 1000) = floor(e / 125) = (e * 33555) >> 22 for every e up to
// 31875, and the level is one more, except where S is a multiple of 1000:
// black (e = 0) and white (e = 31875) have the level floor(S / 1000), and
// every other such pixel is among those with e = 125 * floor(e / 125),
// which are looked at one by one. `wholeGreys[k]` counts the pixels whose
// grey value is exactly k > 0. Returns how many pixels were done.
int levelRowQuick(const uint8_t* p, int width, uint8_t* levels, int* wholeGreys)
{
    const __m128i reciprocal = _mm_set1_epi16(static_cast<short>(33555));
    const __m128i wholeStep = _mm_set1_epi16(125);
    const __m128i whiteEighth = _mm_set1_epi16(31875);
    const __m128i one = _mm_set1_epi16(1);
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    for (; x + kOctet <= width; x += kOctet, p += 3 * kOctet) {
        // Reads the octet's 24 bytes and nothing beyond them.
        alignas(16) int32_t sums[kOctet];
        const __m128i first = greyTimes1000(p);
        const __m128i second = greyTimes1000(p + 3 * kQuad);
        const __m128i eighth = greyEighths(first, second);
        const __m128i whole = _mm_srli_epi16(_mm_mulhi_epu16(eighth, reciprocal), 6);
        const __m128i blackOrWhite =
            _mm_or_si128(_mm_cmpeq_epi16(eighth, zero), _mm_cmpeq_epi16(eighth, whiteEighth));
        const __m128i level = _mm_add_epi16(_mm_add_epi16(whole, one), blackOrWhite);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(levels + x), _mm_packus_epi16(level, level));
        const __m128i nearWhole = _mm_cmpeq_epi16(_mm_mullo_epi16(whole, wholeStep), eighth);
        const unsigned check =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(blackOrWhite, nearWhole)));
        if (check == 0) {
            continue;
        }
        _mm_store_si128(reinterpret_cast<__m128i*>(sums), first);
        _mm_store_si128(reinterpret_cast<__m128i*>(sums + kQuad), second);
        for (unsigned left = check & 0x5555u; left != 0; left &= left - 1) {
            const int k = __builtin_ctz(left) / 2;
            // With S / 8 a multiple of 125, S is one of 1000 when it is one of 8.
            if ((sums[k] & 7) != 0) {
                continue;
            }
            const uint8_t side = kWholeGreySide.side[load16(p + 3 * k)];
            uint8_t& pixelLevel = levels[x + k];
            pixelLevel = static_cast<uint8_t>(pixelLevel - ((side & kAboveWhole) == 0 ? 1 : 0));
            wholeGreys[pixelLevel] += side == 0 ? 1 : 0;
        }
    }
    return x;
}

// Light bits of the row's first pixels by grey value; returns how many.
inline int greyLightQuick(const uint8_t* p, int width, int threshold, LightBits& row)
{
    // 1000 * threshold must fit; other thresholds take the plain loop.
    if (threshold < 0 || threshold > kBins - 1) {
        return 0;
    }
    const __m128i limit = _mm_set1_epi32(1000 * threshold);
    // Only black gives 0 and only white 255000, and their grey values are
    // not above 0 and 255: at those two thresholds no pixel needs the
    // double.
    const bool exactIsDark = threshold == 0 || threshold == kBins - 1;
    int x = 0;
    for (; x + kQuad <= width; x += kQuad, p += 3 * kQuad) {
        const __m128i s = greyTimes1000(p);
        unsigned bits = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(s, limit))));
        const int exact =
            exactIsDark ? 0 : _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(s, limit)));
        for (int k = 0; exact != 0 && k < kQuad; ++k) {
            if (((exact >> k) & 1) != 0 && greyValue(p + 3 * k) > threshold) {
                bits |= 1u << k;
            }
        }
        setLight(row, x, bits);
    }
    return x;
}

inline __m128i loadBytes(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

constexpr int kFive = 5;

// The largest byte of each of five pixels, in their blue lanes (0, 3, 6, 9
// and 12); reads bytes 0 to 17, up to the red byte of the pixel after them.
inline __m128i brightestOfFive(const uint8_t* p)
{
    const __m128i blueLanes =
        _mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, 0);
    return _mm_and_si128(
        _mm_max_epu8(_mm_max_epu8(loadBytes(p), loadBytes(p + 1)), loadBytes(p + 2)), blueLanes);
}

// Returns the sum of the row's first pixels and how many it summed; with
// `levels`, keeps each one's largest byte there.
unsigned long long brightnessSumQuick(const uint8_t* p, int width, int& done, uint8_t* levels)
{
    __m128i sum = _mm_setzero_si128();
    int x = 0;
    for (; x + kFive + 1 <= width; x += kFive, p += 3 * kFive) {
        const __m128i five = brightestOfFive(p);
        sum = _mm_add_epi64(sum, _mm_sad_epu8(five, _mm_setzero_si128()));
        if (levels != nullptr) {
            alignas(16) uint8_t lanes[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(lanes), five);
            for (int k = 0; k < kFive; ++k) {
                levels[x + k] = lanes[3 * k];
            }
        }
    }
    done = x;
    alignas(16) unsigned long long halves[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(halves), sum);
    return halves[0] + halves[1];
}

// Light bits of the row's first pixels by their largest byte; returns how
// many.
inline int bytesLightQuick(const uint8_t* p, int width, int threshold, LightBits& row)
{
    if (threshold < 0 || threshold > kBins - 1) {
        return 0;
    }
    const __m128i limit = _mm_set1_epi8(static_cast<char>(threshold));
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    for (; x + kFive + 1 <= width; x += kFive, p += 3 * kFive) {
        // Saturated subtraction leaves non-zero exactly where a byte is above
        // the threshold; the dark lanes and those outside the blue ones
        // compare equal to 0.
        const unsigned dark = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(brightestOfFive(p), limit), zero)));
        const unsigned light = ~dark;
        const uint64_t bits = (light & 1u) | ((light >> 2) & 2u) | ((light >> 4) & 4u) |
                              ((light >> 6) & 8u) | ((light >> 8) & 16u);
        setLight(row, x, bits);
        if ((x & 63) > 64 - kFive) {
            row.word[(x >> 6) + 1] |= bits >> (64 - (x & 63));
        }
    }
    return x;
}

// How many of the row's first pixels, five at a time, have three equal
// bytes (scanned and camera pictures of grey labels are mostly such).
// Their levels go to `levels` and the pixels are counted by their byte in
// `shades`, four lanes of them. Reads whole 16-byte pieces of the row only.
int greyRunLevels(const uint8_t* p, int width, uint8_t* levels, int (*shades)[kBins])
{
    // Bytes 0 and 1, 3 and 4, ... 12 and 13 of five pixels.
    constexpr unsigned kFiveGrey = 0x36DBu;
    int x = 0;
    for (; x + kFive + 1 <= width; x += kFive, p += 3 * kFive) {
        const __m128i bytes = loadBytes(p);
        const unsigned equal = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_srli_si128(bytes, 1))));
        if ((equal & kFiveGrey) != kFiveGrey) {
            break;
        }
        const uint8_t v[kFive] = {p[0], p[3], p[6], p[9], p[12]};
        levels[x] = kGreyShades.level[v[0]];
        levels[x + 1] = kGreyShades.level[v[1]];
        levels[x + 2] = kGreyShades.level[v[2]];
        levels[x + 3] = kGreyShades.level[v[3]];
        levels[x + 4] = kGreyShades.level[v[4]];
        shades[0][v[0]] += 1;
        shades[1][v[1]] += 1;
        shades[2][v[2]] += 1;
        shades[3][v[3]] += 1;
        shades[0][v[4]] += 1;
    }
    return x;
}

#else

int greyRunLevels(const uint8_t*, int, uint8_t*, int (*)[kBins])
{
    return 0;
}

int levelRowQuick(const uint8_t*, int, uint8_t*, int*)
{
    return 0;
}

int greyLightQuick(const uint8_t*, int, int, LightBits&)
{
    return 0;
}

int bytesLightQuick(const uint8_t*, int, int, LightBits&)
{
    return 0;
}

unsigned long long brightnessSumQuick(const uint8_t*, int, int& done, uint8_t*)
{
    done = 0;
    return 0;
}

#endif

// Row pieces of this many pixels have their levels counted in one go.
constexpr int kLevelChunk = 1024;

// Counts the levels of n pixels into `lanes` (one histogram per lane, so
// that neighbouring pixels of one level do not wait on each other's
// increments).
void countLevels(const uint8_t* levels, int n, int (*lanes)[kBins])
{
    int x = 0;
    for (; x + 2 * kQuad <= n; x += 2 * kQuad) {
        lanes[0][levels[x]] += 1;
        lanes[1][levels[x + 1]] += 1;
        lanes[2][levels[x + 2]] += 1;
        lanes[3][levels[x + 3]] += 1;
        lanes[0][levels[x + 4]] += 1;
        lanes[1][levels[x + 5]] += 1;
        lanes[2][levels[x + 6]] += 1;
        lanes[3][levels[x + 7]] += 1;
    }
    for (; x < n; ++x) {
        lanes[0][levels[x]] += 1;
    }
}

// What the level pass counts: the levels, in lanes (one histogram per
// lane, so that neighbouring pixels of one level do not wait on each
// other's increments); the pixels whose grey value is a whole number k > 0;
// and, apart from both, the pixels of three equal bytes by that byte.
struct LevelCounts {
    int lanes[kQuad][kBins];
    int wholeGreys[kBins];
    int shades[kQuad][kBins];
};

// Pixels that are not grey are taken in stretches of this many (a
// multiple of eight) before the greys' own path is tried again, in a row
// that began with greys; other rows take the general path throughout.
constexpr int kOtherStretch = 32;

// The levels of a row piece, counted; `levels` receives them.
void levelRow(const uint8_t* p, int width, uint8_t* levels, LevelCounts& counts)
{
    const int greys = greyRunLevels(p, width, levels, counts.shades);
    const bool beganGrey = greys > 0;
    for (int x = greys; x < width;) {
        const int end = beganGrey && width - x > kOtherStretch ? x + kOtherStretch : width;
        int k = x + levelRowQuick(p + 3 * static_cast<size_t>(x), end - x, levels + x,
                                  counts.wholeGreys);
        for (const uint8_t* q = p + 3 * static_cast<size_t>(k); k < end; ++k, q += 3) {
            const double grey = greyValue(q);
            levels[k] = greyLevel(grey);
            counts.wholeGreys[levels[k]] += wholeGrey(grey, levels[k]) ? 1 : 0;
        }
        countLevels(levels + x, end - x, counts.lanes);
        x = end;
        if (x < width) {
            x += greyRunLevels(p + 3 * static_cast<size_t>(x), width - x, levels + x, counts.shades);
        }
    }
}

void lightBitsRow(const uint8_t* p, int width, int threshold, bool byGrey, LightBits& row)
{
    std::memset(row.word, 0, sizeof(uint64_t) * static_cast<size_t>((width + 63) / 64 + 1));
    int x = byGrey ? greyLightQuick(p, width, threshold, row)
                   : bytesLightQuick(p, width, threshold, row);
    for (p += 3 * x; x < width; ++x, p += 3) {
        if (byGrey ? greyValue(p) > threshold : brighterThan(p, threshold)) {
            setLight(row, x, 1);
        }
    }
}

// Light bits from the levels kept by the counting pass: a pixel is light
// when its level is above the threshold.
void lightBitsFromLevels(const uint8_t* levels, int width, int threshold, LightBits& row)
{
    std::memset(row.word, 0, sizeof(uint64_t) * static_cast<size_t>((width + 63) / 64 + 1));
    int x = 0;
#if defined(__SSE2__)
    if (threshold >= 0) {
        // Saturated subtraction leaves non-zero exactly where a level is
        // above the threshold (none above 255).
        const __m128i limit = _mm_set1_epi8(static_cast<char>(threshold > kBins - 1 ? kBins - 1 : threshold));
        const auto lightOf16 = [&](int at) {
            const __m128i dark = _mm_cmpeq_epi8(_mm_subs_epu8(loadBytes(levels + at), limit),
                                                _mm_setzero_si128());
            return static_cast<uint64_t>(~static_cast<unsigned>(_mm_movemask_epi8(dark)) & 0xFFFFu);
        };
        // A whole word is put together in a register and stored once.
        for (; x + 64 <= width; x += 64) {
            row.word[x >> 6] = lightOf16(x) | lightOf16(x + 16) << 16 | lightOf16(x + 32) << 32 |
                               lightOf16(x + 48) << 48;
        }
        for (; x + 16 <= width; x += 16) {
            setLight(row, x, lightOf16(x));
        }
    }
#endif
    for (; x < width; ++x) {
        if (levels[x] > threshold) {
            setLight(row, x, 1);
        }
    }
}

// The 24 bytes of eight pixels from their light bits.
struct PixelOctet {
    uint8_t bytes[24];
};

constexpr std::array<PixelOctet, 256> makePixelOctets()
{
    std::array<PixelOctet, 256> octets{};
    for (int bits = 0; bits < 256; ++bits) {
        for (int k = 0; k < 24; ++k) {
            octets[bits].bytes[k] = ((bits >> (k / 3)) & 1) != 0 ? 255 : 0;
        }
    }
    return octets;
}

constexpr std::array<PixelOctet, 256> kPixelOctets = makePixelOctets();

// Writes a row's classes, and with `above` or `below` given, its marks: a
// dark pixel with a light 4-neighbour inside the image. Marks never make a
// pixel light, so deciding them all from the classes is the same as the
// pass that marks one pixel after the other. Runs of 64 pixels of one class
// without marks are plain fills.
void writeClasses(uint8_t* p, int width, const LightBits* above, const LightBits& here,
                  const LightBits* below, bool markEdges)
{
    const int words = (width + 63) / 64;
    for (int w = 0; w < words; ++w) {
        const uint64_t light = here.word[w];
        uint64_t marks = 0;
        if (markEdges) {
            uint64_t touches = (light << 1) | (light >> 1) | (here.word[w + 1] << 63);
            if (w > 0) {
                touches |= here.word[w - 1] >> 63;
            }
            if (above != nullptr) {
                touches |= above->word[w];
            }
            if (below != nullptr) {
                touches |= below->word[w];
            }
            marks = touches & ~light;
        }
        const int first = 64 * w;
        const int count = width - first < 64 ? width - first : 64;
        uint8_t* const start = p + 3 * static_cast<size_t>(first);
        const uint64_t all = count == 64 ? ~0ull : (1ull << count) - 1;
        if ((marks & all) == 0 && (light == 0 || light == all)) {
            std::memset(start, light == 0 ? 0 : 255, 3 * static_cast<size_t>(count));
            continue;
        }
        // The classes eight pixels at a time, then the marks on their dark
        // pixels' blue bytes.
        uint64_t lightLeft = light;
        uint8_t* q = start;
        int k = 0;
        for (; k + 8 <= count; k += 8, q += 24, lightLeft >>= 8) {
            std::memcpy(q, kPixelOctets[lightLeft & 255].bytes, 24);
        }
        for (; k < count; ++k, q += 3, lightLeft >>= 1) {
            std::memcpy(q, kPixelOctets[lightLeft & 1].bytes, 3);
        }
        for (uint64_t left = marks & all; left != 0; left &= left - 1) {
            start[3 * __builtin_ctzll(left)] = EDGE_MARK;
        }
    }
}

bool lendsLevels(const Recognizer& r)
{
    const FrameStatistics* shared = r.frameStatistics;
    return shared != nullptr && shared->levels != nullptr && imageUsable(r) &&
           shared->levelCapacity / static_cast<size_t>(r.width) >= static_cast<size_t>(r.height);
}

// The grey histogram, by way of the levels: a pixel whose grey value is
// not a whole number falls in the bin one below its level, and one whose
// grey value is a whole number k in bin k, which is also its level. So bin k
// holds the pixels of level k + 1 less the whole greys among them, plus the
// whole greys k. Black is the only grey 0, and white (a hair below 255) has
// level 255 and bin 254. A pixel of three equal bytes is counted by that
// byte, which tells its level and whether its grey value is whole. With
// `levels`, the levels are kept there.
void buildHistogram(const Recognizer& r, int* histogram, uint8_t* levels)
{
    LevelCounts counts{};
    uint8_t chunk[kLevelChunk];
    for (int y = 0; y < r.height; ++y) {
        const uint8_t* row = colourRow(r, y);
        if (levels != nullptr) {
            levelRow(row, r.width, levels + static_cast<size_t>(y) * r.width, counts);
            continue;
        }
        for (int x = 0; x < r.width; x += kLevelChunk) {
            const int n = r.width - x < kLevelChunk ? r.width - x : kLevelChunk;
            levelRow(row + 3 * static_cast<size_t>(x), n, chunk, counts);
        }
    }
    int levelCount[kBins];
    for (int level = 0; level < kBins; ++level) {
        levelCount[level] = counts.lanes[0][level] + counts.lanes[1][level] +
                            counts.lanes[2][level] + counts.lanes[3][level];
    }
    int* const wholeGreys = counts.wholeGreys;
    for (int v = 0; v < kBins; ++v) {
        const int n = counts.shades[0][v] + counts.shades[1][v] + counts.shades[2][v] +
                      counts.shades[3][v];
        levelCount[kGreyShades.level[v]] += n;
        wholeGreys[kGreyShades.level[v]] += kGreyShades.whole[v] ? n : 0;
    }
    wholeGreys[0] = levelCount[0];
    for (int bin = 0; bin < kBins - 1; ++bin) {
        histogram[bin] = levelCount[bin + 1] - wholeGreys[bin + 1] + wholeGreys[bin];
    }
    histogram[kBins - 1] = wholeGreys[kBins - 1];
}

// One pass in place: a bin that zigzags against both neighbours' trends by
// less than a third of the peak is levelled, so that noise does not fake a
// valley.
void smoothHistogram(int* h, int peak)
{
    const double limit = kPeakFraction * peak;
    for (int m = 2; m <= kBins - 2; ++m) {
        const int d1 = h[m - 1] - h[m - 2];
        const int d2 = h[m] - h[m - 1];
        const int d3 = h[m + 1] - h[m];
        const bool zigzag = (d2 >= 0 && d1 < 0 && d3 < 0) || (d2 < 0 && d1 >= 0 && d3 >= 0);
        if (zigzag && absValue(d2) < limit) {
            h[m] = (h[m - 1] + h[m + 1]) / 2;
        }
    }
}

// From the bright end: reach the light peak, leave it, and stop at the
// first bin that rises again. -1 when there is no such bin.
int findValley(const int* h, int peak)
{
    const double level = kPeakFraction * peak;
    int phase = 0;
    for (int j = kBins - 1; j >= 0; --j) {
        if (phase == 0) {
            if (h[j] > level) {
                phase = 1;
            }
        } else if (phase == 1) {
            if (h[j] < level) {
                phase = 2;
            }
        } else if (h[j] > h[j + 1]) {
            return j;
        }
    }
    return -1;
}

int histogramThreshold(const Recognizer& r, DetectFlags flags)
{
    int histogram[kBins];
    FrameStatistics* shared = r.frameStatistics;
    if (shared != nullptr && shared->histogramKnown != 0) {
        std::memcpy(histogram, shared->histogram, sizeof histogram);
    } else if (shared != nullptr && lendsLevels(r)) {
        std::memset(histogram, 0, sizeof histogram);
        buildHistogram(r, histogram, shared->levels);
        shared->levelKind = FRAME_LEVELS_GREY;
        std::memcpy(shared->histogram, histogram, sizeof histogram);
        shared->histogramKnown = 1;
    } else {
        r.greyHistogram(histogram);
        if (shared != nullptr) {
            std::memcpy(shared->histogram, histogram, sizeof histogram);
            shared->histogramKnown = 1;
        }
    }
    int peak = 0;
    for (int bin : histogram) {
        peak = bin > peak ? bin : peak;
    }
    smoothHistogram(histogram, peak);
    int t = findValley(histogram, peak);
    if ((flags & DETECT_HIST_VALLEY_DARKER) != 0) {
        t -= kDarkerOffset;
    }
    return t < 0 ? 0 : t;
}

int countedMeanBrightness(const Recognizer& r, uint8_t* levels);

int meanBrightness(const Recognizer& r)
{
    FrameStatistics* shared = r.frameStatistics;
    if (shared == nullptr) {
        return countedMeanBrightness(r, nullptr);
    }
    if (shared->meanKnown == 0) {
        const bool keep = lendsLevels(r) && shared->levelKind == FRAME_LEVELS_NONE;
        shared->meanBrightness = countedMeanBrightness(r, keep ? shared->levels : nullptr);
        shared->meanKnown = 1;
        if (keep) {
            shared->levelKind = FRAME_LEVELS_BRIGHTEST;
        }
    }
    return shared->meanBrightness;
}

// Mean over all pixels of the largest of the three bytes, truncated.
int countedMeanBrightness(const Recognizer& r, uint8_t* levels)
{
    if (!imageUsable(r)) {
        return 0;
    }
    unsigned long long sum = 0;
    for (int y = 0; y < r.height; ++y) {
        const uint8_t* p = colourRow(r, y);
        uint8_t* rowLevels = levels != nullptr ? levels + static_cast<size_t>(y) * r.width : nullptr;
        int x = 0;
        sum += brightnessSumQuick(p, r.width, x, rowLevels);
        for (p += 3 * x; x < r.width; ++x, p += 3) {
            const uint8_t b = brightest(p);
            sum += b;
            if (rowLevels != nullptr) {
                rowLevels[x] = b;
            }
        }
    }
    const double count = static_cast<double>(r.width) * static_cast<double>(r.height);
    return static_cast<int>(static_cast<double>(sum) / count);
}


// The plain passes, for rows too wide for the bit rows.
void classifyRowPlainly(uint8_t* p, int width, int threshold, bool byGrey)
{
    for (int x = 0; x < width; ++x, p += 3) {
        setClass(p, byGrey ? greyValue(p) > threshold : brighterThan(p, threshold));
    }
}

// Marks the dark pixels of one row that have a light 4-neighbour inside
// the image; `above` and `below` are the neighbouring rows, or null at the
// image's edges. A mark made earlier in this pass holds 128, not 255, so it
// never marks a neighbour in turn.
void markRow(uint8_t* row, const uint8_t* above, const uint8_t* below, int width)
{
    for (int x = 0; x < width; ++x) {
        uint8_t* p = row + 3 * x;
        if (onBoundary(p, above != nullptr ? above + 3 * x : nullptr,
                       below != nullptr ? below + 3 * x : nullptr, x, width)) {
            markPixel(p);
        }
    }
}

void markImageRow(Recognizer& r, int y)
{
    const uint8_t* above = y > 0 ? pixelAt(r, 0, y - 1) : nullptr;
    const uint8_t* below = y + 1 < r.height ? pixelAt(r, 0, y + 1) : nullptr;
    markRow(pixelAt(r, 0, y), above, below, r.width);
}

}  // namespace

void Recognizer::chooseThreshold(int fixedThreshold, DetectFlags flags)
{
    if (usesHistogram(flags)) {
        threshold = histogramThreshold(*this, flags);
        return;
    }
    const bool lowered = (flags & DETECT_MEAN_LOWERED) != 0;
    const bool raised = (flags & DETECT_MEAN_RAISED) != 0;
    const int mean = (lowered || raised) ? meanBrightness(*this) : 0;
    threshold = fixedThreshold;
    if (lowered) {
        threshold = mean > kLoweredAbove ? mean - kLoweredBy : mean;
    }
    if (raised) {
        threshold = mean < kRaisedBelow ? mean + kRaisedBy : mean;
    }
}

void Recognizer::greyHistogram(int* bins) const
{
    for (int bin = 0; bin < kBins; ++bin) {
        bins[bin] = 0;
    }
    if (imageUsable(*this)) {
        buildHistogram(*this, bins, nullptr);
    }
}

void Recognizer::classifyPixels(DetectFlags flags)
{
    if (!imageUsable(*this)) {
        return;
    }
    const bool byGrey = usesHistogram(flags);
    LightBits bits;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pixelAt(*this, 0, y);
        if (width > kBitRowCapacity) {
            takeColours(*this, y);
            classifyRowPlainly(row, width, threshold, byGrey);
            continue;
        }
        lightBitsRow(colourRow(*this, y), width, threshold, byGrey, bits);
        writeClasses(row, width, nullptr, bits, nullptr, false);
    }
}

void Recognizer::markBoundaries()
{
    if (!imageUsable(*this)) {
        return;
    }
    for (int y = 0; y < height; ++y) {
        markImageRow(*this, y);
    }
}

// Each row's light bits are found one row ahead of writing it, so that its
// marks come from the bits of the rows on both sides.
void Recognizer::binarise(DetectFlags flags)
{
    if (!imageUsable(*this)) {
        return;
    }
    if (width > kBitRowCapacity) {
        classifyPixels(flags);
        markBoundaries();
        return;
    }
    const bool byGrey = usesHistogram(flags);
    const bool kept = lendsLevels(*this) &&
                      frameStatistics->levelKind == (byGrey ? FRAME_LEVELS_GREY : FRAME_LEVELS_BRIGHTEST);
    const auto rowBits = [&](int y, LightBits& row) {
        if (kept) {
            lightBitsFromLevels(frameStatistics->levels + static_cast<size_t>(y) * width, width,
                                threshold, row);
        } else {
            lightBitsRow(colourRow(*this, y), width, threshold, byGrey, row);
        }
    };
    LightBits bits[3];
    rowBits(0, bits[0]);
    for (int y = 0; y < height; ++y) {
        if (y + 1 < height) {
            rowBits(y + 1, bits[(y + 1) % 3]);
        }
        writeClasses(pixelAt(*this, 0, y), width, y > 0 ? &bits[(y + 2) % 3] : nullptr,
                     bits[y % 3], y + 1 < height ? &bits[(y + 1) % 3] : nullptr, true);
    }
}
