// Start-up and the GLUT handlers: one window, the fixed GL state every pass
// relies on, the sphere model, and the handlers that keep the passes coming.
#include "app/startup.h"

#include "app/platform.h"
#include "render/gl.h"
#include "render/pass.h"
#include "render/report.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef GL_DISTANCE_ATTENUATION_EXT
#define GL_DISTANCE_ATTENUATION_EXT 0x8129
#endif

#ifndef APIENTRY
#define APIENTRY
#endif
typedef void(APIENTRY* PointParameterfv)(GLenum pname, const GLfloat* params);

void display() {
    drawPass();
    drawPass();
}

static void idle() { glutPostRedisplay(); }

// Hidden, the program requests no redisplays and the animation stands still;
// GLUT then sleeps until the next event.
static void visible(int state) { glutIdleFunc(state == GLUT_VISIBLE ? idle : nullptr); }

static void key(unsigned char, int, int) { std::exit(0); }

static void reshape(int width, int height) {
    winWidth = width;
    winHeight = height;
    glViewport(0, 0, width, height);
}

static void setPointAttenuation() {
    // The program draws no points; this only exercises the extension entry.
    static const GLfloat attenuation[3] = {0.25f, 0.0f, 1.0f / 60.0f};
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!hasExtension(extensions, "GL_EXT_point_parameters"))
        return;
    auto pointParameterfv = reinterpret_cast<PointParameterfv>(extensionEntry("glPointParameterfvEXT"));
    if (pointParameterfv)
        pointParameterfv(GL_DISTANCE_ATTENUATION_EXT, attenuation);
}

static void reportExtensions() {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!extensions)
        extensions = "";
    size_t size = std::strlen(extensions) + 2;  // line feed and terminator
    char* line = static_cast<char*>(std::malloc(size));
    if (!line)
        return;
    std::snprintf(line, size, "%s\n", extensions);
    writeError(line, size - 1);
    std::free(line);
}

void init(int argc, char** argv) {
    prepareProcess();
    tuneAllocator();

    platformGlutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(winWidth, winHeight);
    glutCreateWindow("Quendrix");
    watchDisplayConnection();

    glutDisplayFunc(display);
    glutIdleFunc(idle);
    glutVisibilityFunc(visible);
    glutKeyboardFunc(key);
    glutReshapeFunc(reshape);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(50.0, aspectRatio(winWidth, winHeight), 1.0, 100000.0);
    glMatrixMode(GL_MODELVIEW);

    glEnable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    // w = 0: a directional light from the upper left, on the viewer's side;
    // cheaper per vertex than a point light and the same look on this field.
    static const GLfloat lightPosition[4] = {-15.0f, 15.0f, 15.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);

    glNewList(SPHERE_LIST, GL_COMPILE);
    glutSolidSphere(0.25, 10, 6);
    glEndList();

    setPointAttenuation();
    reportExtensions();

    // The first pass is a blue pass that clears only depth: give it a black
    // back buffer rather than whatever the memory held.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

