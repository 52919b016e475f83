// The animation clock: which eye each pass draws, when the phase advances,
// and when a run of frames is complete. No GL and no output: the passes
// (render/pass.h) draw what it says, and report the frame rate around it.
#pragma once

#include <cstdint>

// Passes drawn so far (less one in a run of whole frames, which counts from
// -1); odd means the right eye, even the left. 64 bits wide so that it never
// overflows, however long the program runs.
extern int64_t passCount;

// Animation phase T, advanced by PHASE_STEP once per displayed frame.
extern float animPhase;

constexpr float PHASE_STEP = 0.015f;

// The whole picture (morph, shape epoch and tumble) repeats every 40 pi of
// phase; the phase is kept within one period so that it never stops moving.
constexpr double PHASE_PERIOD = 125.66370614359172;  // 40 pi

// What one pass does for its eye, decided from passCount after its increment.
// A frame spans two calls of the display handler: the left eye's pass ends
// one call, and the right eye's pass begins the next and completes it.
struct Eye {
    bool right;          // the right eye; otherwise the left
    bool advancesPhase;  // the left eye's pass begins a frame: phase += step
    bool clearsColour;   // it clears colour and depth, the right eye's depth only
    bool completesFrame; // the right eye's pass completes the frame, which is then shown
};
Eye eyeForPass(int64_t count);

// animPhase after one frame's advance: the sum is rounded to single
// precision, and one period is taken off once the phase passes 40 pi.
float advancePhase(float phase);

// The phase whose one-frame advance lands exactly on P, so that a frame is
// drawn at P itself and not one rounding away.
float phaseBefore(float P);

// Whether pass number count completed the last frame of a run of limit
// frames. The n-th frame is completed by pass 2n - 1.
bool runComplete(int64_t count, int64_t limit);

// Before the first pass of a run of frames: the count starts at -1, so that
// the first pass (0) is a left eye's, and every frame shown, the first too,
// has both eyes. (A plain run's first pass is a right eye's, completing a
// frame whose left eye was never drawn: it shows the right eye alone.) The
// n-th frame is still completed by pass 2n - 1, and the frame-rate records
// count as in a plain run. Once a pass has begun, it does nothing.
void countWholeFrames();

// The passes begun so far in this run: 0 before its first.
int64_t passesBegun();

// The part of a pass that needs no GL: the count's increment, the eye for
// the new count, and the phase advance of a left eye's pass.
Eye beginPass();

// Sets the clock so that the next frame begun is drawn at phase T; false if
// no phase advances onto T exactly.
bool nextFrameAt(float T);
