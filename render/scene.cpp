#include "render/scene.h"

#include "platform/gl.h"

void prepareScene(double aspect) {
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
    glutSolidSphere(SPHERE_RADIUS, SPHERE_SLICES, SPHERE_STACKS);
    glEndList();
}
