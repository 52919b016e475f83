// The start-up sequence, in its order: the display, the window and its
// drawable, what the driver offers, the run's handlers, the scene; or
// off-screen, the surface, what the driver offers, the run, the scene.
#include "app/start.h"

#include "app/driver.h"
#include "app/end.h"
#include "app/loop.h"
#include "app/options.h"
#include "app/results.h"
#include "app/window.h"
#include "check/check.h"
#include "platform/gl.h"
#include "platform/platform.h"
#include "render/scene.h"
#include "render/stereo.h"

#include <algorithm>
#include <cstdlib>
#include <string>

// In the drawable's context: the scene, and what start-up reports.
static void prepareDrawing(bool glutMadeContext) {
    prepareScene(aspectRatio(winWidth, winHeight), glutMadeContext);
    setPointAttenuation();
    reportExtensions();
    applySwapInterval();
    if (options.info) {
        // The depth a person gets at this size (the screen's, full screen).
        const bool screen = options.fullscreen && !drawableHeld();
        reportInfo(screen ? glutGet(GLUT_SCREEN_WIDTH) : winWidth, screen ? glutGet(GLUT_SCREEN_HEIGHT) : winHeight);
    }

    // The first pass is a right eye's pass that clears only depth: give it
    // a black back buffer rather than whatever the memory held.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// A run that ends must end even where the window system stalls it: armed
// before the window is made, and again once it is shown.
// It says what skipRun says, and writes the document of a skipped run.
static void armRunDeadline(bool windowShown) {
    const Deadline d = runDeadline(options, windowShown);
    if (d.seconds == 0)
        return disarmDeadline();
    static std::string line;  // kept for the deadline, which does not copy it
    line = (options.check ? "check not judged: " : "quendrix: ") + std::string(d.why) + "\n";
    const bool toOutput = options.check && options.results != "-";
    deadlineDocument(options.results, options.results.empty() ? "" : resultsDocument(SKIPPED, d.why));
    armDeadline(d.seconds, exitStatus(SKIPPED), toOutput ? line.c_str() : nullptr, toOutput ? nullptr : line.c_str());
}

// No display server and no GLUT: an EGL surface of the frame size.
static void initOffscreen() {
    if (quadBuffered(options.stereo.mode))
        skipRun("an off-screen surface has no quad-buffered stereo; try another --stereo mode");
    armRunDeadline(false);
    openOffscreenDrawable();
    requireWorkingContext();
    noteDriver();
    std::atexit(endErrorLine);
    startRun(runKind(options));
    prepareDrawing(false);
    runUnderWay();
}

void init(int argc, char** argv) {
    if (options.offscreen)
        return initOffscreen();
    onWindowSystemFailure(endOnWindowSystemFailure);
    armRunDeadline(false);
    const std::string unreachable = openDisplay(argc, argv);
    if (!unreachable.empty())
        skipRun(unreachable);
    platformGlutInit(&argc, argv);
    chooseDisplayMode();
    openWindow();
    requireWorkingContext();
    if (options.check) {
        const Geometry& g = options.geometry;
        const FrameSize f = checkSize(g.sized ? g.width : 0, g.sized ? g.height : 0, glutGet(GLUT_SCREEN_WIDTH),
                                      glutGet(GLUT_SCREEN_HEIGHT), std::min(largestViewport(0), largestViewport(1)));
        if (g.sized && f.width == 0)
            skipRun("--check judges frames of the size asked for, " + std::to_string(g.width) + " x " +
                    std::to_string(g.height) + ", more than this screen shows or the driver draws");
        if (f.width < MIN_CHECK_SIDE)
            skipRun("--check judges frames of at least " + std::to_string(MIN_CHECK_SIDE) + " x " +
                    std::to_string(MIN_CHECK_SIDE) + " pixels, more than this screen shows");
        holdDrawableSize(f.width, f.height);
    }
    std::atexit(endErrorLine);
    openDrawable();
    noteDriver();
    armRunDeadline(true);
    startRun(runKind(options));
    prepareDrawing(true);
    runUnderWay();
}
