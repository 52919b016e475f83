// What a window shows, read with XGetImage, and the judgements the window
// tests make of it against the stereo modes as their manual states them.
#pragma once

#include "harness.h"
#include "modes.h"

#include <string>
#include <vector>

// What a window shows, by channel: red, green, blue.
struct Picture {
    int width = 0, height = 0;
    int left = 0, top = 0;          // its top left pixel on the screen
    long lit[3] = {};               // pixels with a nonzero value
    double cx[3] = {};              // their centroid across
    std::vector<unsigned char> rgb;     // 8 bits a channel, the top row first
    unsigned char at(int x, int y, int c) const { return rgb[(static_cast<size_t>(y) * width + x) * 3 + c]; }
};

Picture grab(const Program& p);

// The picture changes, again and again.
bool keepsDrawing(const Program& p);

// Drawn at the window's size: both images there, the field in the middle.
bool centred(const Picture& p);

// What a picture of stereo mode m shows, against the manual: each eye's
// image in the pixels and channels it owns, nothing lit anywhere else, and
// the left viewpoint's image right of the right one's by the disparity of
// the field's centre, times disparity (0: next to none). Returns that
// ratio, or 0 for one eye alone.
double expectEyes(const Picture& pic, const ModeStatement& m, bool swapped = false, int samples = 0,
                  double disparity = 1);
