#include "render/pass.h"

#include "field/field.h"
#include "platform/gl.h"
#include "render/report.h"

#include <cmath>
#include <cstdlib>

int winWidth = 480;
int winHeight = 480;
int64_t passCount = 0;
float animPhase = 0.0f;
int64_t frameLimit = 0;

Eye eyeForPass(int64_t count) {
    if (count & 1)
        return {true, false, false, {false, false, true, true}, -0.5, {0.0f, 0.0f, 1.0f, 1.0f}, true};
    return {false, true, true, {true, false, false, true}, +0.5, {1.0f, 0.0f, 0.0f, 1.0f}, false};
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

void drawPass() {
    if (drawPassUnswapped()) {
        glutSwapBuffers();
        if (runComplete(passCount, frameLimit))
            std::exit(writeRunResult(frameLimit) ? 0 : 1);
    }
}

bool drawPassUnswapped() {
    const Eye eye = beginPass();
    glLoadIdentity();
    if (eye.clearsColour)
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    // The blue pass keeps the red image: it clears depth only.
    glClear(eye.clearsColour ? GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT : GL_DEPTH_BUFFER_BIT);
    glColorMask(eye.mask[0], eye.mask[1], eye.mask[2], eye.mask[3]);

    // The shift multiplies onto the perspective, moving the scene sideways in
    // eye space: parallel, symmetric frusta one unit apart.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(50.0, aspectRatio(winWidth, winHeight), 1.0, 100000.0);
    glTranslated(eye.shift, 0.0, 0.0);
    glMatrixMode(GL_MODELVIEW);

    glLightfv(GL_LIGHT0, GL_DIFFUSE, eye.diffuse);
    glTranslatef(0.0f, 0.0f, -15.0f);

    drawSpheres(animPhase);
    return eye.swapsAfter;
}
