#include "render/pass.h"

#include "field/field.h"
#include "platform/gl.h"
#include "render/report.h"
#include "render/stereo.h"

#include <cmath>
#include <cstdlib>

int winWidth = 480;
int winHeight = 480;
int64_t passCount = 0;
float animPhase = 0.0f;
int64_t frameLimit = 0;
StereoMode stereoMode = RED_BLUE;
bool swapEyes = false;

Eye eyeForPass(int64_t count) {
    if (count & 1)
        return {true, false, false, true};
    return {false, true, true, false};
}

float advancePhase(float phase) {
    float next = phase + PHASE_STEP;
    if (next > PHASE_PERIOD)
        next = static_cast<float>(static_cast<double>(next) - PHASE_PERIOD);
    return next;
}

float phaseBefore(float P) {
    float before = P - PHASE_STEP;
    for (int i = 0; i < 8 && advancePhase(before) != P; ++i)
        before = std::nextafter(before, advancePhase(before) < P ? INFINITY : -INFINITY);
    return before;
}

double aspectRatio(int width, int height) {
    return static_cast<double>(width < 1 ? 1 : width) / static_cast<double>(height < 1 ? 1 : height);
}

bool runComplete(int64_t count, int64_t limit) { return limit > 0 && count == 2 * limit - 1; }

Eye beginPass() {
    reportStartCheck(passCount);
    ++passCount;
    reportCheck(passCount);
    const Eye eye = eyeForPass(passCount);
    if (eye.advancesPhase)
        animPhase = advancePhase(animPhase);
    return eye;
}

static void drawSphereAt(Vec3 p) {
    glPushMatrix();
    glTranslatef(p.x, p.y, p.z);
    glCallList(SPHERE_LIST);
    glPopMatrix();
}

#if defined(QUENDRIX_LIMIT_BUILD)
// Benchmark build only: how fast the program could be if the field cost
// nothing. The positions of every frame of one period are computed once,
// before main, so neither the frame-rate clock nor the passes pay for them;
// the passes then draw exactly the frames the program draws, looked up. One
// fixed frame would measure another workload: the cloud of phase 0 lights
// four times the pixels of the spiral.
constexpr int LIMIT_FRAMES = static_cast<int>(PHASE_PERIOD / PHASE_STEP) + 1;
static Vec3 framePositions[LIMIT_FRAMES][SWEEP_SAMPLES];  // 36 MB

static bool computeFramePositions() {
    float phase = animPhase;
    for (auto& frame : framePositions) {
        int i = 0;
        forEachSphere(phase, [&](Vec3 p) { frame[i++] = p; });
        phase = advancePhase(phase);
    }
    return true;
}
static const bool framePositionsReady = computeFramePositions();

static void drawSpheres(float) {
    (void)framePositionsReady;
    // Both passes of a frame draw at its phase; the red pass advances it, so
    // after pass n it has advanced n / 2 times.
    for (const Vec3& p : framePositions[(passCount / 2) % LIMIT_FRAMES])
        drawSphereAt(p);
}
#else
static void drawSpheres(float phase) {
    // Drawn in sweep order as the sweep yields them; no position outlives it.
    forEachSphere(phase, drawSphereAt);
}
#endif

// The interleaved modes keep each eye to its pixels with the stencil buffer.
// A polygon stipple in every pass costs Mesa's software renderer half as
// much again as the whole anaglyph frame: it sends each triangle down its
// slow per-primitive path and samples the pattern as a texture in each
// fragment (docs/benchmarks.md). So the first pass of a frame marks its own
// pixels with 1 through the stipple, one rectangle, and each pass then tests
// the stencil: 1 in the first pass, 0 in the second. The mark is made anew
// every frame, as a stencil buffer need not keep what was hidden or swapped.
// A window with no stencil buffer takes the stipple in every pass.
static void keepToPixels(PixelPattern pixels, bool firstPass) {
    static GLint stencilBits = -1;
    if (stencilBits < 0)
        glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
    // The stipple follows the window's pixels, so moving the window on the
    // screen keeps each eye on its rows, columns or squares.
    GLubyte stipple[128];
    if (stencilBits == 0 || firstPass) {
        stipplePattern(pixels, winHeight, stipple);
        glPolygonStipple(stipple);
        glEnable(GL_POLYGON_STIPPLE);
    }
    if (stencilBits == 0)
        return;
    glEnable(GL_STENCIL_TEST);
    if (firstPass) {
        // The stencil was cleared with the frame.
        glStencilFunc(GL_ALWAYS, 1, 1);
        glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
        glDisable(GL_DEPTH_TEST);
        glViewport(0, 0, winWidth, winHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glRectf(-1.0f, -1.0f, 1.0f, 1.0f);  // every pixel's centre; the modelview is the identity
        glEnable(GL_DEPTH_TEST);
        glDisable(GL_POLYGON_STIPPLE);
        glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    }
    glStencilFunc(GL_EQUAL, firstPass ? 1 : 0, 1);
}

void drawPass() {
    if (drawPassUnswapped()) {
        glutSwapBuffers();
        if (runComplete(passCount, frameLimit))
            std::exit(writeRunResult(frameLimit) ? 0 : 1);
    }
}

bool drawPassUnswapped() {
    const Eye eye = beginPass();
    const EyeView view = eyeView(stereoMode, swapEyes, eye.right, winWidth, winHeight);
    glLoadIdentity();
    if (eye.clearsColour) {
        // A frame begins: the whole window, in every channel and buffer.
        if (view.buffer != BACK)
            glDrawBuffer(GL_BACK);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | (view.pixels != ALL_PIXELS ? GL_STENCIL_BUFFER_BIT : 0));
    } else {
        // The right eye keeps the left eye's image: it clears depth only.
        glClear(GL_DEPTH_BUFFER_BIT);
    }
    if (!view.drawn)
        return eye.swapsAfter;
    if (view.buffer != BACK)
        glDrawBuffer(view.buffer == BACK_LEFT ? GL_BACK_LEFT : GL_BACK_RIGHT);
    if (view.pixels != ALL_PIXELS)
        keepToPixels(view.pixels, eye.clearsColour);
    glViewport(view.viewport[0], view.viewport[1], view.viewport[2], view.viewport[3]);
    glColorMask(view.channels[0], view.channels[1], view.channels[2], GL_TRUE);

    // The shift multiplies onto the perspective, moving the scene sideways in
    // eye space: parallel, symmetric frusta one unit apart.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(50.0, view.aspect, 1.0, 100000.0);
    glTranslated(view.shift, 0.0, 0.0);
    glMatrixMode(GL_MODELVIEW);

    // A light of the eye's colours: red or blue in the anaglyph, white where
    // the eye sees every channel.
    const GLfloat diffuse[4] = {view.channels[0] ? 1.0f : 0.0f, view.channels[1] ? 1.0f : 0.0f,
                                view.channels[2] ? 1.0f : 0.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glTranslatef(0.0f, 0.0f, -15.0f);

    drawSpheres(animPhase);
    if (view.pixels != ALL_PIXELS) {
        glDisable(GL_STENCIL_TEST);
        glDisable(GL_POLYGON_STIPPLE);
    }
    return eye.swapsAfter;
}
