// Start-up and the GLUT handlers: one window, the fixed GL state every pass
// relies on, the sphere model, and the handlers that keep the passes coming.
#include "app/startup.h"

#include "app/options.h"
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

// The passes run while the window is shown and of a size the driver can
// draw; otherwise no redisplay is requested and the animation stands still.
static bool shown = true;
static bool fits = true;

void display() {
    if (!fits)
        return;  // an expose of a window too large to draw
    drawPass();
    drawPass();
}

static void idle() { glutPostRedisplay(); }

// While nothing is drawn, no X request would fail if another client
// destroyed the window, and GLUT ignores the notice; so look twice a second.
static bool checkArmed = false;
static void checkWindow(int);

static void armWindowCheck() {
    if (!checkArmed)
        glutTimerFunc(500, checkWindow, 0);
    checkArmed = true;
}

static void checkWindow(int) {
    checkArmed = false;
    if (shown && fits)
        return;
    windowStillThere();  // ends the program if it is not
    armWindowCheck();
}

static void updateDrawing() {
    glutIdleFunc(shown && fits ? idle : nullptr);
    if (!(shown && fits))
        armWindowCheck();
}

// Hidden, the program requests no redisplays and the animation stands still;
// GLUT then sleeps until the next event.
static void visible(int state) {
    shown = state == GLUT_VISIBLE;
    updateDrawing();
}

static void key(unsigned char, int, int) { std::exit(0); }

static void reshape(int width, int height) {
    winWidth = width;
    winHeight = height;
    fits = drawableFits(width, height, maxViewport);
    if (fits)
        glViewport(0, 0, width, height);
    updateDrawing();
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

static const char* glText(GLenum name) {
    const char* text = reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "";
}

static void reportExtensions() {
    const char* extensions = glText(GL_EXTENSIONS);
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
    prepareErrorStream();
    tuneAllocator();

    platformGlutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    // GLUT has read -geometry; a size given there replaces the default.
    if (options.geometrySize && glutGet(GLUT_INIT_WINDOW_WIDTH) > 0 && glutGet(GLUT_INIT_WINDOW_HEIGHT) > 0) {
        winWidth = glutGet(GLUT_INIT_WINDOW_WIDTH);
        winHeight = glutGet(GLUT_INIT_WINDOW_HEIGHT);
    }
    glutInitWindowSize(winWidth, winHeight);
    glutCreateWindow("Quendrix");
    nameWindowClass();
    watchWindow();
    std::atexit(endReportLine);

    glutDisplayFunc(display);
    glutIdleFunc(idle);
    glutVisibilityFunc(visible);
    glutKeyboardFunc(key);
    glutReshapeFunc(reshape);
    if (options.fullscreen) {
        glutFullScreen();
        glutSetCursor(GLUT_CURSOR_NONE);
    }

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(50.0, aspectRatio(winWidth, winHeight), 1.0, 100000.0);
    glMatrixMode(GL_MODELVIEW);

    glEnable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    // w = 0: a directional light, shining from the direction (-15, 15, 15):
    // the upper left, on the viewer's side. A point light at that position
    // would light the field's centre (15 units away) from about 20 degrees
    // nearer the line of sight; directional costs less per vertex.
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

    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
    frameLimit = options.frames;
    if (options.info) {
        std::printf("GL_RENDERER: %s\nGL_VERSION: %s\nGL_VENDOR: %s\n", glText(GL_RENDERER), glText(GL_VERSION),
                    glText(GL_VENDOR));
        std::fflush(stdout);
    }

    // The first pass is a blue pass that clears only depth: give it a black
    // back buffer rather than whatever the memory held.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
