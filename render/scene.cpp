#include "render/scene.h"

#include "platform/gl.h"

#include <cmath>
#include <initializer_list>

// The sphere glutSolidSphere draws, for a context GLUT has no part in: the
// same vertices and normals, rounded the same way (single-precision angles,
// double-precision sines), in the same triangle strips, wound the same way. Slices run clockwise about the z axis seen
// from +z, stacks from the pole at +z to the one at -z.
static void solidSphere(float radius, int slices, int stacks) {
    const float pi = static_cast<float>(3.14159265358979323846);
    const float sliceAngle = 2 * pi / static_cast<float>(-slices);
    const float stackAngle = pi / static_cast<float>(stacks);
    auto ring = [&](int stack, int slice, float* normal) {
        const float sinStack = stack == stacks ? 0.0f : static_cast<float>(std::sin(double{stackAngle * stack}));
        const float cosStack = stack == stacks ? -1.0f : static_cast<float>(std::cos(double{stackAngle * stack}));
        const int j = slice % slices;
        const float sinSlice = j == 0 ? 0.0f : static_cast<float>(std::sin(double{sliceAngle * j}));
        const float cosSlice = j == 0 ? 1.0f : static_cast<float>(std::cos(double{sliceAngle * j}));
        normal[0] = stack == 0 || stack == stacks ? 0.0f : cosSlice * sinStack;
        normal[1] = stack == 0 || stack == stacks ? 0.0f : sinSlice * sinStack;
        normal[2] = stack == 0 ? 1.0f : cosStack;
    };
    for (int stack = 0; stack < stacks; ++stack) {
        glBegin(GL_TRIANGLE_STRIP);
        for (int slice = 0; slice <= slices; ++slice)
            for (int s : {stack + 1, stack}) {
                float n[3];
                ring(s, slice, n);
                glNormal3fv(n);
                glVertex3f(n[0] * radius, n[1] * radius, n[2] * radius);
            }
        glEnd();
    }
}

void prepareScene(double aspect, bool glutSphere) {
    // Every pass sets its own projection; this one only leaves the matrix
    // mode the passes expect, GL_MODELVIEW, with a projection that matches
    // the window until the first pass.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(FIELD_OF_VIEW, aspect, NEAR_PLANE, FAR_PLANE);
    glMatrixMode(GL_MODELVIEW);

    glEnable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_POSITION, LIGHT_POSITION);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);

    glNewList(SPHERE_LIST, GL_COMPILE);
    if (glutSphere)
        glutSolidSphere(SPHERE_RADIUS, SPHERE_SLICES, SPHERE_STACKS);
    else
        solidSphere(static_cast<float>(SPHERE_RADIUS), SPHERE_SLICES, SPHERE_STACKS);
    glEndList();
}
