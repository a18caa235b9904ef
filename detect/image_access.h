// Pixel addressing of the working image, shared by the detector's sources.
#pragma once

#include <cstddef>
#include <cstdint>

#include "detect/recognizer.h"

// True when the image fields describe a buffer that can be walked: a
// positive size and rows long enough for their pixels.
inline bool imageUsable(const Recognizer& r)
{
    return r.pixels != nullptr && r.width > 0 && r.height > 0 && r.width <= r.stride / 3;
}

// First (blue) byte of pixel (x, y); the caller keeps x and y in the image.
inline const uint8_t* pixelAt(const Recognizer& r, int x, int y)
{
    return r.pixels + static_cast<size_t>(y) * static_cast<size_t>(r.stride) +
           3 * static_cast<size_t>(x);
}

inline uint8_t* pixelAt(Recognizer& r, int x, int y)
{
    return r.pixels + static_cast<size_t>(y) * static_cast<size_t>(r.stride) +
           3 * static_cast<size_t>(x);
}

inline bool insideImage(const Recognizer& r, int x, int y)
{
    return x >= 0 && y >= 0 && x < r.width && y < r.height;
}
