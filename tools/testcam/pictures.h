// The picture side of the test camera, free of any platform call: reading
// 24-bit BMP files, choosing which files of a folder to play, which one is
// on show at a given time, and writing a picture into a video sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "frame/packed_frame.h"

namespace testcam {

// Largest picture side accepted; larger files are skipped.
constexpr int32_t kMaxPictureSide = 4096;
// The picture size when there is no good file at all: plain grey frames.
constexpr int32_t kGreyWidth = 320;
constexpr int32_t kGreyHeight = 240;
constexpr uint8_t kGreyLevel = 0x80;
// Bytes of a BMP file header plus its 40-byte bitmap header.
constexpr size_t kBmpHeaderBytes = kBmpFileHeaderSize + kFrameHeaderSize;
// How long each picture is shown when nothing else is asked for.
constexpr int64_t kDefaultMillisecondsPerPicture = 2000;

using ::BmpLayout;
using ::readBmpRows;

// The headers of a picture file the camera can play: an uncompressed
// 24-bit BMP of at most kMaxPictureSide pixels a side.
inline bool readBmpLayout(const uint8_t* head, size_t headSize, uint64_t fileSize,
                          BmpLayout& layout) {
    return ::readBmpLayout(head, headSize, fileSize, kMaxPictureSide, layout);
}

// Which files of a folder (already in name order) are played: every good
// file of the size of the first good one. A file that is not a good BMP
// has no layout (nullptr).
struct PictureChoice {
    int32_t width = kGreyWidth;
    int32_t height = kGreyHeight;
    std::vector<size_t> played;   // indices into the folder's list
    std::vector<size_t> skipped;  // bad or of another size
};
PictureChoice choosePictures(const std::vector<const BmpLayout*>& files);

// The picture on show `elapsed` milliseconds after playing began, when
// each of `count` pictures is shown for `perPicture` milliseconds in
// turn, looping.
size_t pictureAt(int64_t elapsed, int64_t perPicture, size_t count);

// "2", "0.5", "1.25": seconds as a decimal number, as milliseconds. Text
// that is no such number, or a time under 100 ms or over a day, gives
// the default.
int64_t parseSecondsAsMilliseconds(const char* text);

// Bytes of one video sample: bitsPerPixel 24 or 32, rows padded to a
// multiple of 4 bytes. 0 for anything else.
uint32_t sampleBytes(int32_t width, int32_t height, int bitsPerPixel);

// Writes a picture into a sample of sampleBytes(width, height, bits)
// bytes, bottom row first: from `rows` (24-bit rows as readBmpRows gives
// them) when it holds the whole picture, otherwise plain grey. Returns
// the bytes written, 0 when the sample is too small.
uint32_t writeSample(const std::vector<uint8_t>& rows, int32_t width, int32_t height,
                     int bitsPerPixel, uint8_t* sample, size_t sampleSize);

}  // namespace testcam
