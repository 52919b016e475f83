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

// One whole frame at phase T, both eyes, as the display handler draws it:
// the left eye's pass that begins it and the right eye's that completes it,
// left in the back buffer unshown. A frame begun before is completed and
// shown first.
// False when no phase advances onto T exactly.
bool drawFrameAt(float T, const Stereo& stereo, int width, int height, int screenX, int screenY);

// The 361 spheres at phase T, each drawn as the sweep yields it
// (render/spheres.cpp; the benchmark's limit build brings its own).
void drawSpheres(float T);
