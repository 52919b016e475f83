// Start-up and the GLUT handlers: one window, the fixed GL state every pass
// relies on, the sphere model, and the handlers that keep the passes coming.
#include "app/startup.h"

#include "app/options.h"
#include "platform/gl.h"
#include "platform/platform.h"
#include "render/check.h"
#include "render/pass.h"
#include "render/report.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifndef GL_DISTANCE_ATTENUATION_EXT
#define GL_DISTANCE_ATTENUATION_EXT 0x8129
#endif

#ifndef APIENTRY
#define APIENTRY
#endif
typedef void(APIENTRY* PointParameterfv)(GLenum pname, const GLfloat* params);

int topWindow = 0;
int drawWindow = 0;

// The largest viewport the driver draws (GL_MAX_VIEWPORT_DIMS).
static int maxViewport[2] = {0, 0};

int drawableSide(int side, int largest, int screen) {
    int fitted = side < largest ? side : largest;
    fitted = fitted < screen ? fitted : screen;
    return fitted < 1 ? 1 : fitted;
}

// The size the window or the drawable was last given, taken by the next
// frame (adoptWindowSize).
static int newWidth = 480, newHeight = 480;
static void adoptWindowSize();

// The side of the square frames a check run judges, whatever the window.
static int checkFrameSide = 0;

// A check judges its frames at its own size, and on the screen: it waits
// until its drawable has that size and is shown, for ten seconds at most;
// then it says what it could not judge. A window started minimised
// (-iconic) shows nothing to judge on the screen.
static bool checkCanStart() {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now();
    if ((winWidth == checkFrameSide && winHeight == checkFrameSide && (windowShown() || options.iconic)) ||
        Clock::now() - start > std::chrono::seconds(10))
        return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return false;
}

void display() {
    if (options.check) {
        // The first frames are the check's, and the last.
        adoptWindowSize();
        if (checkCanStart())
            std::exit(runCheck(checkFrameSide, !options.iconic));
        return;
    }
    drawPass();  // completes the frame begun in the last call, and swaps
    adoptWindowSize();
    drawPass();  // begins the next
}

// The outer window is never drawn into: the drawable covers it.
static void showNothing() {}

static bool shown = true;

// A run of a fixed number of frames, or the check, is work a script waits
// for: it draws whether the window is seen or not. The plain run rests while
// hidden.
static bool scripted() { return frameLimit > 0 || options.check; }
static bool drawing() { return shown || scripted(); }

static void key(unsigned char, int, int) { std::exit(0); }

static void idle() {
    if (characterKeyPressed())
        key(0, 0, 0);
    if (scripted()) {
        // GLUT redraws only a window it believes visible; draw directly.
        glutSetWindow(drawWindow);
        display();
    } else {
        glutPostWindowRedisplay(drawWindow);
    }
}

// While nothing is drawn, no X request would fail if another client
// destroyed the window, and GLUT ignores the notice; so look four times a
// second, and listen for the keys GLUT does not hand on.
static bool timerArmed = false;
static void whileResting(int);

static void armTimer() {
    if (!timerArmed)
        glutTimerFunc(250, whileResting, 0);
    timerArmed = true;
}

static void whileResting(int) {
    timerArmed = false;
    if (drawing())
        return;
    windowStillThere();  // ends the program if it is not
    if (characterKeyPressed())
        key(0, 0, 0);
    armTimer();
}

// Hidden, the program requests no redisplays and the animation stands still;
// GLUT then sleeps until the next event.
static void visible(int state) {
    shown = state == GLUT_VISIBLE;
    glutIdleFunc(drawing() ? idle : nullptr);
    if (!drawing())
        armTimer();
}

// The outer window's size, as the user or the window manager set it, sizes
// the drawable: no larger than the driver draws or the screen shows. The
// driver reads the drawable's size from the server; as only the program sets
// it, no other client can make it one the driver cannot draw.
static void fitDrawable(int width, int height) {
    if (options.check)
        return;  // it keeps the size the check judges
    newWidth = drawableSide(width, maxViewport[0], glutGet(GLUT_SCREEN_WIDTH));
    newHeight = drawableSide(height, maxViewport[1], glutGet(GLUT_SCREEN_HEIGHT));
}

static void reshape(int width, int height) {
    if (drawInChildWindow())
        return;  // the program sized it, and knows
    newWidth = width;
    newHeight = height;
}

// A frame's red pass ends one call of display and its blue pass begins the
// next, and GLUT reports a new size in between. A new size is taken only
// between frames, so that both eyes of a frame are drawn at one size. The
// drawable the program sizes itself changes size only then too: the driver
// would otherwise find the new size at the blue pass and drop the red image.
static void adoptWindowSize() {
    if (newWidth == winWidth && newHeight == winHeight)
        return;
    winWidth = newWidth;
    winHeight = newHeight;
    if (drawInChildWindow())
        resizeDrawable(winWidth, winHeight);
    glViewport(0, 0, winWidth, winHeight);
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

// A context that names no renderer or draws no viewport is a broken GL
// stack (an indirect context the server cannot serve, for one): it would
// show a black window for ever.
static void requireWorkingContext() {
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
    if (*glText(GL_RENDERER) != '\0' && maxViewport[0] > 0 && maxViewport[1] > 0)
        return;
    static const char broken[] =
        "quendrix: the OpenGL context names no renderer or has no viewport to draw: the GL stack is broken\n";
    writeError(broken, sizeof broken - 1);
    std::exit(1);
}

// A --frames run never waits for the screen unless asked; otherwise the
// driver's default stands unless the user names an interval.
static void applySwapInterval() {
    const int wanted = options.swapInterval >= 0 ? options.swapInterval : frameLimit > 0 ? 0 : -1;
    if (wanted < 0 || setSwapInterval(wanted) || options.swapInterval < 0)
        return;
    char line[128];
    const int n = std::snprintf(line, sizeof line, "quendrix: the driver cannot set the swap interval to %d\n", wanted);
    writeError(line, static_cast<size_t>(n));
}

static void reportInfo() {
    const int interval = swapInterval();
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    std::string text = std::string("GL_RENDERER: ") + glText(GL_RENDERER) + "\nGL_VERSION: " + glText(GL_VERSION) +
                       "\nGL_VENDOR: " + glText(GL_VENDOR) + "\nswap interval: " +
                       (interval >= 0 ? std::to_string(interval) : std::string("unknown")) +
                       "\nsamples: " + std::to_string(samples) + "\n";
    if (!writeOutput(text.c_str()))
        std::exit(1);
}

[[noreturn]] static void refuse(const std::string& why, int status) {
    const std::string line = "quendrix: " + why + "\n";
    writeError(line.data(), line.size());
    std::exit(status);
}

[[noreturn]] static void refuseDisplayMode() {
    if (stereoMode == QUAD)
        refuse("the display offers no quad-buffered stereo visual; try another --stereo mode", 1);
    refuse("the display offers no visual with " + std::to_string(options.samples) +
               " samples a pixel; try fewer --samples", 1);
}

// RGB, double-buffered, with depth; for quad-buffered stereo a visual with
// left and right buffers, and with --samples one of at least that many
// samples. A display that has none is told before any window opens: GLUT
// would end the program with a message of its own, or give a window with
// fewer samples than asked. The interleaved modes want a stencil buffer
// (render/pass.cpp), but draw without one.
static void requireDisplayMode() {
    const bool interleaved = eyeView(stereoMode, false, false, 1, 1).pixels != ALL_PIXELS;
    if (stereoMode != QUAD && options.samples == 0 && !interleaved) {
        glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
        return;
    }
    std::string mode = "rgb double depth";
    if (stereoMode == QUAD)
        mode += " stereo";
    if (options.samples > 0)
        mode += " samples=" + std::to_string(options.samples);
    if (interleaved) {
        glutInitDisplayString((mode + " stencil").c_str());
        if (displayOffers(stereoMode == QUAD, options.samples, true))
            return;
    }
    glutInitDisplayString(mode.c_str());
    if (!displayOffers(stereoMode == QUAD, options.samples, false))
        refuseDisplayMode();
}

// Where the window system cannot tell before a window exists, the window's
// own buffers are the answer.
static void requireWindowMode() {
    GLint samples = 0;
    GLboolean stereo = GL_FALSE;
    glGetIntegerv(GL_SAMPLES, &samples);
    glGetBooleanv(GL_STEREO, &stereo);
    if ((stereoMode == QUAD && !stereo) || samples < options.samples)
        refuseDisplayMode();
}

void init(int argc, char** argv) {
    stereoMode = options.stereoMode;
    swapEyes = options.swapEyes;
    const std::string unreachable = unreachableDisplay(argc, argv);
    if (!unreachable.empty()) {
        std::fprintf(stderr, "quendrix: %s\n", unreachable.c_str());
        std::exit(1);
    }
    platformGlutInit(&argc, argv);
    requireDisplayMode();
    // GLUT has read -geometry; a size given there replaces the default.
    if (options.geometrySize && glutGet(GLUT_INIT_WINDOW_WIDTH) > 0 && glutGet(GLUT_INIT_WINDOW_HEIGHT) > 0) {
        winWidth = glutGet(GLUT_INIT_WINDOW_WIDTH);
        winHeight = glutGet(GLUT_INIT_WINDOW_HEIGHT);
    }
    // With no window manager a full-screen window stays where it was made.
    if (options.fullscreen)
        glutInitWindowPosition(0, 0);
    glutInitWindowSize(winWidth, winHeight);
    topWindow = glutCreateWindow("Quendrix");
    // Minimised once it is there: asked for at creation, a window manager
    // would withhold the window, and GLUT waits for it to be shown. Minimised,
    // it is hidden like any window the user minimises.
    if (options.iconic)
        glutIconifyWindow();
    nameWindowClass();
    requireWorkingContext();
    requireWindowMode();
    if (options.check) {
        checkFrameSide = checkSide(glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT),
                                   maxViewport[0] < maxViewport[1] ? maxViewport[0] : maxViewport[1]);
        if (checkFrameSide < MIN_CHECK_SIDE)
            refuse("--check judges frames of at least " + std::to_string(MIN_CHECK_SIDE) + " x " +
                       std::to_string(MIN_CHECK_SIDE) + " pixels, more than this screen shows", 2);
        if (drawInChildWindow())
            winWidth = winHeight = checkFrameSide;  // the drawable's size, whatever the window's
        else
            glutReshapeWindow(checkFrameSide, checkFrameSide);  // the window is the drawable
    }
    watchWindow();
    std::atexit(endErrorLine);
    glutVisibilityFunc(visible);
    glutKeyboardFunc(key);
    if (options.fullscreen && (drawInChildWindow() || !options.check)) {
        glutFullScreen();
        glutSetCursor(GLUT_CURSOR_NONE);
    }
    drawWindow = topWindow;
    if (drawInChildWindow()) {
        // The GL drawable: a window inside the outer one, sized by the program.
        glutDisplayFunc(showNothing);
        glutReshapeFunc(fitDrawable);
        winWidth = drawableSide(winWidth, maxViewport[0], glutGet(GLUT_SCREEN_WIDTH));
        winHeight = drawableSide(winHeight, maxViewport[1], glutGet(GLUT_SCREEN_HEIGHT));
        drawWindow = glutCreateSubWindow(topWindow, 0, 0, winWidth, winHeight);
        watchWindow();
        glutKeyboardFunc(key);
        if (options.fullscreen)
            glutSetCursor(GLUT_CURSOR_NONE);
    }
    newWidth = winWidth;
    newHeight = winHeight;
    glutDisplayFunc(display);
    glutIdleFunc(idle);
    glutReshapeFunc(reshape);

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
    glutSolidSphere(SPHERE_RADIUS, 10, 6);
    glEndList();

    setPointAttenuation();
    reportExtensions();

    frameLimit = options.frames;
    applySwapInterval();
    if (options.info)
        reportInfo();

    // The first pass is a blue pass that clears only depth: give it a black
    // back buffer rather than whatever the memory held.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
