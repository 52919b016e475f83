// The stereo passes: every displayed frame is drawn twice, once per eye,
// with the projection shifted sideways by half the eye separation. In the
// default red/blue anaglyph both passes draw into one back buffer, each
// limited to one colour channel and lit by a light of that colour; the other
// stereo modes (render/stereo.h) give each eye other channels, a part of the
// window, its own pixels or its own buffer. The pass also owns the animation
// clock.
#pragma once

#include "render/stereo.h"

#include <cstdint>

// Display list holding the sphere model; compiled once at start-up.
constexpr unsigned SPHERE_LIST = 1;
constexpr double SPHERE_RADIUS = 0.25;

// Window size in pixels, 480 x 480 at start; kept by the reshape handler and
// read by every pass for the aspect ratio.
extern int winWidth;
extern int winHeight;

// Passes drawn so far; odd means the blue (right) eye, even the red (left).
// 64 bits wide so that it never overflows, however long the program runs.
extern int64_t passCount;

// Animation phase T, advanced by 0.015 once per displayed frame.
extern float animPhase;

constexpr float PHASE_STEP = 0.015f;

// The whole picture (morph, shape epoch and tumble) repeats every 40 pi of
// phase; the phase is kept within one period so that it never stops moving.
constexpr double PHASE_PERIOD = 125.66370614359172;  // 40 pi

// How the two eyes are shown, and whether each eye's place shows the other
// viewpoint; set at start-up.
extern StereoMode stereoMode;
extern bool swapEyes;

// What one pass does for its eye, decided from passCount after its increment.
struct Eye {
    bool right;          // the right eye (blue in the anaglyph); otherwise the left (red)
    bool advancesPhase;  // the left eye's pass begins a frame: phase += step
    bool clearsColour;   // it clears colour and depth, the right eye's depth only
    bool swapsAfter;     // the right eye's pass completes the frame
};
Eye eyeForPass(int64_t count);

// animPhase after one frame's advance: the sum is rounded to single
// precision, and one period is taken off once the phase passes 40 pi.
float advancePhase(float phase);

// The phase whose one-frame advance lands exactly on P, so that a frame is
// drawn at P itself and not one rounding away.
float phaseBefore(float P);

// Aspect ratio for the projection; a zero-sized window counts as one pixel.
double aspectRatio(int width, int height);

// Frames to draw before the program ends with a timed result; 0 for no end.
extern int64_t frameLimit;

// Whether pass number count swapped the last frame of a run of limit frames.
// The n-th frame is shown by the swap of pass 2n - 1.
bool runComplete(int64_t count, int64_t limit);

// The part of a pass that needs no GL: the report checks around the count's
// increment, the eye for the new count, and the phase advance of a red pass.
Eye beginPass();

// Draws one pass; display runs two per call.
void drawPass();

// One pass without the swap: true when it was drawn and completed a frame
// (a blue pass), which the caller then shows with glutSwapBuffers.
bool drawPassUnswapped();
