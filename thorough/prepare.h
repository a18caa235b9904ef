// The preparation steps of thorough reading: each makes a new picture from
// one picture (see picture.h for the layout and the size cap).
#pragma once

#include "thorough/picture.h"

// Bilinear scaling by numerator / denominator (2/1, 3/1, 4/1, 1/2, 3/4, ...)
// in one pass, pixel centres mapped onto pixel centres, exact integer
// weights.
bool scalePicture(const PixelRows& in, int numerator, int denominator, Picture& out);

// A border of `percent` of the longer side on every side, in the light tone.
bool padPicture(const PixelRows& in, int percent, Picture& out);

// Local-mean binarisation: a pixel is dark (0) when its grey level is more
// than `offsetPercent` below the mean grey of the square window around it,
// the window being a `windowDivisor`-th of the shorter side; else light
// (255). The window sums come from an integral image.
bool binariseLocalMean(const PixelRows& in, int windowDivisor, int offsetPercent, Picture& out);

// Blur (optional), scaling, local-mean binarisation and a light border of
// padPercent of the longer side in one go, on the picture's grey levels
// (taken once, before the scaling): a third of the work of the colour
// steps one after the other.
struct LocalMeanRecipe {
    bool blur;
    int numerator;
    int denominator;
    int windowDivisor;
    int offsetPercent;
    int padPercent;
};
bool prepareLocalMean(const PixelRows& in, const LocalMeanRecipe& recipe, Picture& out);

// Separable Gaussian blur with sigma about 0.8 (kernel 6 58 128 58 6 / 256),
// edges repeated.
bool blurPicture(const PixelRows& in, Picture& out);

// Pixel (x, y) of the result is pixel (y, x) of the input: a mirrored symbol
// comes out readable.
bool transposePicture(const PixelRows& in, Picture& out);

// Every byte v becomes 255 - v: light-on-dark symbols become dark-on-light.
bool invertPicture(const PixelRows& in, Picture& out);

// A finder candidate's parallelogram: corners L, A, B (buffer coordinates),
// the fourth being A + B - L.
struct Parallelogram {
    double x[3];
    double y[3];  // [0] L, [1] A, [2] B
};

// The bounding box of the parallelogram grown by `growPercent` about its
// centre, with every pixel outside the grown parallelogram (or outside the
// input) set to the input's light tone.
bool cropParallelogram(const PixelRows& in, const Parallelogram& shape, int growPercent,
                       Picture& out);
