// The loop: the kind of run, chosen once at start, and the GLUT handlers
// (off-screen, the loop) that keep its frames coming. Where the frames are
// drawn, a window or an off-screen surface (--offscreen), is another
// matter: a run of frames and the check go to either.
#pragma once

#include "app/options.h"

enum RunKind {
    PLAIN_RUN,   // runs until a key ends it; rests while the window is hidden
    FRAMES_RUN,  // --frames: always draws, then writes its result and ends
    CHECK_RUN,   // --check: draws and judges fixed frames, then ends
};
RunKind runKind(const Options& options);

// Whether the check may judge now: its drawable has its size and is on the
// screen, or it was minimised on purpose (then nothing on the screen is
// waited for), or it has waited ten seconds and is to say what it could not
// judge.
bool checkMayStart(bool sized, bool viewable, bool iconic, double secondsWaited);

// How long a run may go on before it is ended from outside its loop, for
// a window that never appears (freeglut waits inside glutCreateWindow until
// it is shown) or a check that never ends; seconds 0 when it may go on for
// ever. A check ends within two minutes, its window shown within the first
// 30 seconds; a run of frames waits 30 seconds for its window, then draws
// as long as its frames take. Such a run is skipped: it could not be done
// in its time, and why is said as for any run that could not be done.
struct Deadline {
    unsigned seconds;
    const char* why;
};
Deadline runDeadline(const Options& options, bool windowShown);

// Registers the handlers of the run kind on the outer window and the
// drawable (off-screen there are none: runLoop draws), and begins the animation at
// --phase's phase.
void startRun(RunKind kind);

// Runs until the run ends: GLUT's loop, or off-screen the program's own.
[[noreturn]] void runLoop();

// The display handler, where a frame happens: the right eye's pass
// completes the frame the call before began and shows it, then the left
// eye's pass begins the next. A run of frames draws its first frame's left
// eye too, in its first call, which has no frame to complete.
void display();
