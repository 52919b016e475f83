// Where each sphere of a pass goes, and drawing it there.
#include "field/field.h"
#include "platform/gl.h"
#include "render/pass.h"
#include "render/scene.h"

static void drawSphereAt(Vec3 p) {
    glPushMatrix();
    glTranslatef(p.x, p.y, p.z);
    glCallList(SPHERE_LIST);
    glPopMatrix();
}

void drawSpheres(float T) {
    // Drawn in sweep order as the sweep yields them; no position outlives it.
    forEachSphere(T, drawSphereAt);
}
