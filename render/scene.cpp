#include "render/scene.h"

#include "field/field.h"
#include "platform/gl.h"

#include <cmath>
#include <initializer_list>

void sphereVertex(int stack, int slice, float normal[3]) {
    const float pi = static_cast<float>(PI);
    const float sliceAngle = 2 * pi / static_cast<float>(-SPHERE_SLICES);
    const float stackAngle = pi / static_cast<float>(SPHERE_STACKS);
    const bool pole = stack == 0 || stack == SPHERE_STACKS;
    const float sinStack = pole ? 0.0f : static_cast<float>(std::sin(double{stackAngle * stack}));
    const float cosStack = stack == SPHERE_STACKS ? -1.0f : static_cast<float>(std::cos(double{stackAngle * stack}));
    const int j = slice % SPHERE_SLICES;
    const float sinSlice = j == 0 ? 0.0f : static_cast<float>(std::sin(double{sliceAngle * j}));
    const float cosSlice = j == 0 ? 1.0f : static_cast<float>(std::cos(double{sliceAngle * j}));
    normal[0] = pole ? 0.0f : cosSlice * sinStack;
    normal[1] = pole ? 0.0f : sinSlice * sinStack;
    normal[2] = stack == 0 ? 1.0f : cosStack;
}

// The sphere glutSolidSphere draws, for a context GLUT has no part in: the
// same vertices and normals in the same triangle strips, wound the same way.
static void solidSphere(float radius) {
    for (int stack = 0; stack < SPHERE_STACKS; ++stack) {
        glBegin(GL_TRIANGLE_STRIP);
        for (int slice = 0; slice <= SPHERE_SLICES; ++slice)
            for (int s : {stack + 1, stack}) {
                float n[3];
                sphereVertex(s, slice, n);
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
        solidSphere(static_cast<float>(SPHERE_RADIUS));
    glEndList();
}
