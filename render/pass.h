// The stereo passes: every displayed frame is drawn twice, once per eye,
// with the projection shifted sideways by half the eye separation. In the
// default red/blue anaglyph both passes draw into one back buffer, each
// limited to one colour channel and lit by a light of that colour; the other
// stereo modes (render/stereo.h) give each eye other channels, a part of the
// window, its own pixels or its own buffer. Which eye a pass draws and at
// which phase is the clock's to say (render/clock.h).
#pragma once

#include "render/stereo.h"

// Draws one pass into a drawable of width x height pixels whose top left
// pixel is at (screenX, screenY) on the screen, where the interleaved modes
// count their rows and columns from. True when it completed a frame (the
// right eye's pass), which the caller then shows.
bool drawPass(const Stereo& stereo, int width, int height, int screenX, int screenY);

// A frame at a phase of the caller's choosing, drawn in three steps as the
// display handler draws one, so that the caller can look in between:

// Completes and shows the frame begun before, if one was. A driver that
// finds a new size for the drawable finds it here, not between the two eyes
// of the next frame.
void showBegunFrame(const Stereo& stereo, int width, int height, int screenX, int screenY);

// Begins the frame at phase T: the left eye's pass. False when no phase
// advances onto T exactly.
bool beginFrameAt(float T, const Stereo& stereo, int width, int height, int screenX, int screenY);

// Completes it: the right eye's pass, left in the back buffer unshown.
void completeFrame(const Stereo& stereo, int width, int height, int screenX, int screenY);

// The 361 spheres at phase T, each drawn as the sweep yields it
// (render/spheres.cpp; the benchmark's limit build brings its own).
void drawSpheres(float T);
