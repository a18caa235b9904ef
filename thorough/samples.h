// The preparation steps' arithmetic on planes of samples: one channel (a
// grey plane) or three (a picture in the frame layout). The thorough
// reader's local-mean steps run on a grey plane, which is a third of the
// work of a colour picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "thorough/picture.h"

struct SampleRows {
    const uint8_t* data;
    int width;
    int height;
    size_t stride;  // bytes per row
    int channels;   // 1 or 3

    const uint8_t* row(int y) const { return data + static_cast<size_t>(y) * stride; }
};

struct SampleOut {
    uint8_t* data;
    int width;
    int height;
    size_t stride;
    int channels;

    uint8_t* row(int y) const { return data + static_cast<size_t>(y) * stride; }
};

inline SampleRows samplesOf(const PixelRows& in)
{
    return {in.rows, in.width, in.height, static_cast<size_t>(in.stride), 3};
}

inline SampleOut samplesOf(Picture& out)
{
    return {out.pixels.data(), out.width, out.height, static_cast<size_t>(out.stride), 3};
}

// The grey level of every pixel (pictureGrey), one byte each, rows packed.
std::vector<uint8_t> greyPlane(const PixelRows& in);

// Bilinear, out.width x out.height being in's size times n / d.
void scaleSamples(const SampleRows& in, const SampleOut& out, int numerator, int denominator);

// The 5-tap blur, out of in's size.
void blurSamples(const SampleRows& in, const SampleOut& out);

// grey: one channel. out: three channels, grey's size, written 0 or 255.
void binariseSamples(const SampleRows& grey, int windowDivisor, int offsetPercent, const SampleOut& out);
