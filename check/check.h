// The self-check of the GL stack (--check): whole frames drawn by the
// program's own passes at fixed phases, read back, and held pixel by pixel
// against what the field, the projection and the fixed lighting say each
// eye must show there; then the frame on the screen against the frame
// drawn. A frame rate from a stack that draws wrongly means nothing.
//
// check/picture.cpp works out the expected picture, check/judge.cpp judges
// a frame against it, check/run.cpp draws, reads back and reports.
#pragma once

#include "field/field.h"
#include "render/image.h"
#include "render/stereo.h"

#include <vector>

// What one eye's pass must put into each pixel of the window, worked out
// without GL (check/picture.cpp): every sphere's polygons (the sphere
// model's slices and stacks) projected and lit by the fixed light, the
// nearest one kept.
enum PixelKind : unsigned char {
    NOTHING,  // no sphere: the pixel stays black
    SURFACE,  // a sphere's surface, lit between low and high
    EDGE,     // next to an outline, where rounding decides: not judged
};
struct EyePicture {
    std::vector<unsigned char> kind;
    std::vector<float> low, high;  // lit value, 0 ... 1: a quad's two diagonals bound it
};
EyePicture expectedPicture(float T, const EyeView& view, int width, int height, bool multisampled);

// A frame drawn at phase T held against what it must show.
struct FrameVerdict {
    long judged = 0;  // pixel channels on a sphere's surface
    long off = 0;     // of them, not lit as the light and the surface say
    long stray = 0;   // pixel channels lit where nothing may be drawn
    double disparity = 0, expectedDisparity = 0;  // left view's image right of the right view's, px
    bool ok = false;
};

// planes: the frame as drawn, one image, or for quad-buffered stereo the
// left and the right back buffer. channelBits: bits of red, green and blue
// in the window, which set how closely a value can match. judged: the
// pixels to judge (those on the screen), or null for all. multisampled: a
// pixel's samples lie a little apart, and it may show its neighbours' values.
FrameVerdict judgeFrame(const Image* planes, float T, const Stereo& stereo, const int channelBits[3],
                        const std::vector<unsigned char>* judged, bool multisampled);

// Pixels that the screen shows otherwise than the frame drawn, among those
// on the screen (onScreen[i] != 0); *compared counts those.
long screenDifferences(const Image& drawn, const Image& screen, const std::vector<unsigned char>& onScreen,
                       const int channelBits[3], long* compared);

// The side of the square frames the check judges on a screen of this size:
// 480, or less on a smaller screen or driver; below MIN_CHECK_SIDE it cannot
// judge.
constexpr int CHECK_SIDE = 480;
constexpr int MIN_CHECK_SIDE = 64;
int checkSide(int screenWidth, int screenHeight, int largestViewport);

// Where the frames go after the swap: to the screen, which is judged too; to
// a window started minimised, which shows nothing (so the check cannot say
// that they reach the screen); or nowhere, off-screen, where the frames
// drawn are all there is to judge.
enum Screen { SCREEN_SHOWS_FRAMES, SCREEN_MINIMISED, NO_SCREEN };

// Draws the fixed phases in the current drawable of width x height pixels,
// which must be side x side, reads each frame back before it is shown and
// judges it, and where the screen shows frames judges what it shows after
// the swap (check/run.cpp); one line each and a verdict on standard output.
// Returns the exit status: 0 all right, 1 wrong, 2 not judged (the drawable
// was not the check's size, or not on the screen).
int runCheck(int width, int height, int side, Screen screen, const Stereo& stereo);
