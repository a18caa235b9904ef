// The readers behind decodeImageFrame, one per library, and what they
// share: the size check made from a file's header before any pixel is
// decoded, and the layout of the frame they fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/imageio/image_frame.h"

// False, with the reason, when a picture of this size is not to be
// decoded at all.
bool pictureSizeAllowed(int64_t width, int64_t height, int64_t maxPixels, std::string& error);

// Rows of 8-bit samples, top row first, 1 to 4 channels (grey, grey and
// alpha, RGB, RGBA), into the frame started for their size: grey is
// widened and alpha dropped.
void fillFrame(const uint8_t* rows, int channels, ImageFrame& frame);

// PNG through libspng.
bool readPng(const uint8_t* data, size_t size, int64_t maxPixels, ImageFrame& frame, std::string& error);

// JPEG through libjpeg-turbo (its TurboJPEG interface).
bool readJpeg(const uint8_t* data, size_t size, int64_t maxPixels, ImageFrame& frame, std::string& error);
