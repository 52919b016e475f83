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

// The frame in the back buffer: one picture, or for quad-buffered stereo
// the left and the right one. Returns how many.
int readFrame(StereoMode mode, int width, int height, Image planes[2]);

// Writes the picture to path as an 8-bit RGB PNG file. False when it cannot
// be written whole; errno then says why.
bool writePng(const std::string& path, const Image& image);

// Writes the picture as a PNG file named name in the folder, made if need
// be. False, once standard error says why, when it cannot be written whole.
bool keepPicture(const std::string& folder, const std::string& name, const Image& image);
