#include "app/loop.h"

#include "app/window.h"
#include "check/check.h"
#include "platform/gl.h"
#include "platform/platform.h"
#include "render/clock.h"
#include "render/pass.h"
#include "render/rate.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <thread>

static RunKind kind = PLAIN_RUN;

// Whether GLUT last reported the outer window visible. Hidden, a plain run
// requests no redisplays and its animation stands still; GLUT then sleeps
// until the next event.
static bool visible = true;

RunKind runKind(const Options& o) { return o.check ? CHECK_RUN : o.frames > 0 ? FRAMES_RUN : PLAIN_RUN; }

// The result of a run of frames, timed from the first pass to the last
// swap: "<frames> frames in <s.sss>s (<rate>fps)" on standard output, after
// ending the line of records on standard error. Whole milliseconds, so that
// the rate printed is exactly the frames over the seconds printed.
[[noreturn]] static void endFramesRun() {
    const int64_t ms = millisecondsSinceFirstPass();
    char line[96];
    std::snprintf(line, sizeof line, "%" PRId64 " frames in %" PRId64 ".%03" PRId64 "s (%.4ffps)\n", options.frames,
                  ms / 1000, ms % 1000, static_cast<double>(options.frames) * 1000.0 / static_cast<double>(ms));
    endErrorLine();
    std::exit(writeOutput(line) ? 0 : 1);
}

void display() {
    if (drawPass(options.stereo, winWidth, winHeight, winX, winY)) {
        swapBuffers();
        if (kind == FRAMES_RUN && runComplete(passCount, options.frames))
            endFramesRun();
    }
    adoptWindowSize();
    drawPass(options.stereo, winWidth, winHeight, winX, winY);
}

bool checkMayStart(bool sized, bool viewable, bool iconic, double secondsWaited) {
    return (sized && (viewable || iconic)) || secondsWaited > 10;
}

// A check judges its frames at its own size, and on the screen.
static void checkWhenReady() {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now();
    adoptWindowSize();
    const int side = heldDrawableSide();
    if (checkMayStart(winWidth == side && winHeight == side, windowViewable(), options.iconic,
                      std::chrono::duration<double>(Clock::now() - start).count()))
        std::exit(runCheck(winWidth, winHeight, side, !options.iconic, options.stereo, winX, winY));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// A run of frames or the check is work a script waits for: it draws whether
// the window is seen or not. A plain run rests while hidden.
static bool drawing() { return visible || kind != PLAIN_RUN; }

static void key(unsigned char, int, int) { std::exit(0); }

static void idle() {
    if (characterKeyPressed())
        key(0, 0, 0);
    if (kind == PLAIN_RUN) {
        glutPostWindowRedisplay(drawWindow);
        return;
    }
    // GLUT redraws only a window it believes visible; draw directly.
    glutSetWindow(drawWindow);
    kind == CHECK_RUN ? checkWhenReady() : display();
}

// While nothing is drawn, no X request would fail if another client
// destroyed the window, and GLUT ignores the notice; so look four times a
// second, and listen for the keys GLUT does not hand on.
static bool timerArmed = false;
static void whileResting(int);

static void armTimer() {
    if (!timerArmed)
        glutTimerFunc(250, whileResting, 0);
    timerArmed = true;
}

static void whileResting(int) {
    timerArmed = false;
    if (drawing())
        return;
    windowStillThere();  // ends the program if it is not
    if (characterKeyPressed())
        key(0, 0, 0);
    armTimer();
}

static void visibility(int state) {
    visible = state == GLUT_VISIBLE;
    glutIdleFunc(drawing() ? idle : nullptr);
    if (!drawing())
        armTimer();
}

void startRun(RunKind runKind) {
    kind = runKind;
    glutSetWindow(topWindow);
    glutVisibilityFunc(visibility);
    glutKeyboardFunc(key);
    glutSetWindow(drawWindow);
    glutKeyboardFunc(key);
    glutDisplayFunc(kind == CHECK_RUN ? checkWhenReady : display);
    glutIdleFunc(idle);
}
