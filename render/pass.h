// The anaglyph pass: every displayed frame is drawn twice into one back
// buffer, once per eye, each pass limited to one colour channel and lit by a
// light of that colour, with the projection shifted sideways by half the eye
// separation. The pass also owns the animation clock.
#pragma once

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

// What one pass does for its eye, decided from passCount after its increment.
struct Eye {
    bool blue;             // right eye; otherwise red, left eye
    bool advancesPhase;    // red pass begins a frame: phase += step
    bool clearsColour;     // red pass clears colour and depth, blue depth only
    bool mask[4];          // colour mask while drawing: red, green, blue, alpha
    double shift;          // projection shift along x in eye space
    float diffuse[4];      // diffuse colour of the light
    bool swapsAfter;       // blue pass completes the frame
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
