// The self-check of the GL stack (--check): whole frames drawn by the
// program's own passes at fixed phases, read back, and held against where
// the field and the projection say every sphere must appear. A frame rate
// from a stack that draws wrongly means nothing.
#pragma once

#include "field/field.h"

#include <vector>

// An RGB picture, one byte a channel, the top row first.
struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
};

// Where a sphere at field position p appears for the eye whose projection is
// shifted by shift, in a window of width x height pixels: its centre, in
// pixels from the window's top left corner, and a radius beyond which no
// point of its image lies.
struct Disc {
    double x, y, radius;
};
Disc projectSphere(Vec3 p, double shift, int width, int height);

// What a frame drawn at phase T shows, against what it must show.
struct FrameVerdict {
    int centres = 0;   // sphere centres inside the window, both eyes
    int lit = 0;       // of them, lit in their eye's channel
    long green = 0;    // pixels with any green
    long stray = 0;    // red or blue pixels away from every sphere of that eye
    double disparity = 0, expectedDisparity = 0;  // red image's centroid right of the blue one's
    double misplaced = 0;  // the farther eye's centroid from where it is expected
    bool ok = false;
};
FrameVerdict judgeFrame(const Image& frame, float T);

// The GL part (render/checkdraw.cpp).

// The back buffer, as GL holds it.
Image readBack();

// One whole anaglyph frame at phase T, drawn as the display handler draws
// it: the red pass that begins it, the blue pass that completes it. Read
// back before the swap, then shown. Empty when it could not be drawn at T.
Image drawFrame(float T);

// Draws and judges the fixed phases, one line each and a verdict on
// standard output. Returns the exit status: 0 when all is right, else 1.
int runCheck();
