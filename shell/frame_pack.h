// The renderer's still picture brought to the frame the recognition side
// reads: a 40-byte bitmap header, then 24-bit blue-green-red rows, bottom
// row first, each padded to 4 bytes. Portable, so that it is tested natively.
#pragma once

#include <cstddef>
#include <cstdint>

// Converts the packed device-independent bitmap image[0, imageSize) - a
// bitmap header, colour masks or table if any, then the rows - into a
// 24-bit bottom-up packed frame in frame[0, frameCapacity). Reads 16-bit
// (5-5-5 or masked), 24-bit and 32-bit (plain or masked) uncompressed
// images, bottom-up or top-down (negative height). Returns false, with the
// frame untouched, for any other image, one whose rows run past imageSize,
// or one that does not fit frameCapacity; otherwise sets width and height.
bool packFrame24(const uint8_t* image, size_t imageSize, uint8_t* frame, size_t frameCapacity,
                 int32_t* width, int32_t* height);
