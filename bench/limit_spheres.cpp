// The limit build's spheres: how fast the program could be if the field
// cost nothing. The positions of every frame of one period are computed
// once, before main, so neither the frame-rate clock nor the passes pay for
// them; the passes then draw exactly the frames the program draws, looked
// up. One fixed frame would measure another workload: the cloud of phase 0
// lights four times the pixels of the spiral. It takes the place of
// render/spheres.cpp.
#include "field/field.h"
#include "platform/gl.h"
#include "render/clock.h"
#include "render/pass.h"
#include "render/scene.h"

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

void drawSpheres(float) {
    (void)framePositionsReady;
    // Both passes of a frame draw at its phase; the left eye's advances it,
    // so after pass n it has advanced n / 2 times.
    for (const Vec3& p : framePositions[(passCount / 2) % LIMIT_FRAMES]) {
        glPushMatrix();
        glTranslatef(p.x, p.y, p.z);
        glCallList(SPHERE_LIST);
        glPopMatrix();
    }
}
