// Pictures of frames: read back from the current GL drawable, and written
// as PNG files.
#pragma once

#include "render/stereo.h"

#include <string>
#include <vector>

// An RGB picture, one byte a channel, the top row first.
struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
};

// The back buffer (or one of the two of quad-buffered stereo), width x height
// pixels from the drawable's bottom left corner, as GL holds it.
Image readBack(DrawBuffer buffer, int width, int height);

// Writes the picture to path as an 8-bit RGB PNG file. False when it cannot
// be written whole; errno then says why.
bool writePng(const std::string& path, const Image& image);
