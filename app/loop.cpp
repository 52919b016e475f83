#include "app/loop.h"

#include "app/driver.h"
#include "app/end.h"
#include "app/keys.h"
#include "app/results.h"
#include "app/window.h"
#include "check/check.h"
#include "platform/gl.h"
#include "platform/platform.h"
#include "render/clock.h"
#include "render/image.h"
#include "render/pass.h"
#include "render/rate.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

static RunKind kind = PLAIN_RUN;

// Whether GLUT last reported the outer window visible. Hidden, a plain run
// requests no redisplays and its animation stands still; GLUT then sleeps
// until the next event.
static bool visible = true;

// The last frame of a run of frames, read back for --save-images: one
// picture, or the left and the right buffer of quad-buffered stereo.
static Image lastFrame[2];

RunKind runKind(const Options& o) {
    return o.check ? CHECK_RUN : o.frames > 0 ? FRAMES_RUN : PLAIN_RUN;
}

// Writes the last frame into the --save-images folder as
// frame-<N>-<mode>.png (-left and -right for quad-buffered stereo).
static bool saveLastFrame() {
    const std::string name = "frame-" + std::to_string(options.frames) + "-" + STEREO_MODE_TABLE[options.stereo.mode].name;
    if (!quadBuffered(options.stereo.mode))
        return keepPicture(options.saveImages, name + ".png", lastFrame[0]);
    return keepPicture(options.saveImages, name + "-left.png", lastFrame[0]) &&
           keepPicture(options.saveImages, name + "-right.png", lastFrame[1]);
}

// The result of a run of frames, timed from the first pass to the last
// swap: "<frames> frames in <s.sss>s (<rate>fps)" on standard output, after
// ending the line of records on standard error. Whole milliseconds, so that
// the rate printed is exactly the frames over the seconds printed. Then the
// results file and the last frame, where asked for.
[[noreturn]] static void endFramesRun() {
    const int64_t ms = millisecondsSinceFirstPass();
    char line[96];
    std::snprintf(line, sizeof line, "%" PRId64 " frames in %" PRId64 ".%03" PRId64 "s (%.4ffps)\n", options.frames,
                  ms / 1000, ms % 1000, static_cast<double>(options.frames) * 1000.0 / static_cast<double>(ms));
    endErrorLine();
    bool delivered = writeOutput(line);
    noteFrames(options.frames, ms);
    delivered = (options.saveImages.empty() || saveLastFrame()) && delivered;
    endRun(delivered ? DONE : UNDELIVERED, delivered ? "" : "a result could not be written");
}

[[noreturn]] static void endCheck(Outcome outcome) {
    endRun(outcome, outcome == UNDELIVERED ? "a result could not be written" : lastCheck().reason);
}

void display() {
    // A run of frames begins with its first frame's left eye: its first call
    // has no frame to complete (render/clock.h).
    if (eyeForPass(passCount + 1).completesFrame && drawPass(viewing, winWidth, winHeight, winX, winY)) {
        const bool last = kind != PLAIN_RUN && runComplete(passCount, options.frames);
        if (last && !options.saveImages.empty()) {
            // Finished within the timing, read back outside it.
            glFinish();
            beginUntimed();
            readFrame(options.stereo.mode, winWidth, winHeight, lastFrame);
            endUntimed();
        }
        swapBuffers();
        if (kind != PLAIN_RUN)
            frameShown();
        if (last)
            endFramesRun();
    }
    adoptWindowSize();
    adoptDepth();
    drawPass(viewing, winWidth, winHeight, winX, winY);
}

bool checkMayStart(bool sized, bool viewable, bool iconic, double secondsWaited) {
    return (sized && (viewable || iconic)) || secondsWaited > 10;
}

Deadline runDeadline(const Options& o, bool windowShown) {
    const bool waiting = !o.offscreen && !windowShown;
    if (o.check && waiting)
        return {30, "its window was not shown within 30 seconds"};
    if (o.check)
        return {windowShown ? 90u : 120u, "it did not end within two minutes"};
    if (o.frames > 0 && waiting)
        return {30, "the window was not shown within 30 seconds"};
    return {0, nullptr};
}

// The mode asked for, or every mode in turn, quad where the drawable has
// its buffers.
static Outcome check(const CheckRun& run) {
    GLboolean quad = GL_FALSE;
    glGetBooleanv(GL_STEREO, &quad);
    return options.allModes ? runEveryMode(run, options.stereo, quad) : runCheck(run, options.stereo);
}

// A check judges its frames at its own size, and on the screen.
static void checkWhenReady() {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now();
    adoptWindowSize();
    FrameSize frames;
    heldDrawableSize(&frames.width, &frames.height);
    if (checkMayStart(winWidth == frames.width && winHeight == frames.height, windowViewable(), options.iconic,
                      std::chrono::duration<double>(Clock::now() - start).count()))
        endCheck(check({winWidth, winHeight, frames, options.iconic ? SCREEN_MINIMISED : SCREEN_SHOWS_FRAMES, winX, winY,
                        options.saveImages, drawableSamples()}));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// A run of frames or the check is work a script waits for: it draws whether
// the window is seen or not. A plain run rests while hidden.
static bool drawing() { return visible || kind != PLAIN_RUN; }

static void key(unsigned char, int, int) { endRun(DONE); }

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
    // The first whole frame at the phase asked for; where no frame's advance
    // lands on it exactly (some phases below 0.015), a rounding beside it.
    if (options.phase >= 0)
        nextFrameAt(static_cast<float>(options.phase));
    if (options.frames > 0)
        countWholeFrames();  // its frames whole, from the first
    startDepth(kind == PLAIN_RUN);  // the depth keys, in a plain run
    if (options.offscreen)
        return;  // no window, no handlers: runLoop draws
    glutSetWindow(topWindow);
    glutVisibilityFunc(visibility);
    glutKeyboardFunc(key);
    glutSetWindow(drawWindow);
    glutKeyboardFunc(key);
    glutDisplayFunc(kind == CHECK_RUN ? checkWhenReady : display);
    glutIdleFunc(idle);
}

void runLoop() {
    if (!options.offscreen) {
        glutMainLoop();
        endRun(DONE);
    }
    // Off-screen nothing waits on events: the frames, or the check, as fast
    // as they are drawn.
    if (kind == CHECK_RUN)
        endCheck(check({winWidth, winHeight, {winWidth, winHeight}, NO_SCREEN, 0, 0, options.saveImages, drawableSamples()}));
    for (;;)
        display();
}
