// The outer window, the GL drawable inside it, and their size. The driver
// reads the drawable's size from the window system when it draws; the
// passes read winWidth and winHeight, which change only between frames.
#include "app/window.h"

#include "app/driver.h"
#include "app/options.h"
#include "platform/gl.h"
#include "platform/platform.h"

#include <cstdlib>
#include <cstring>

int winWidth = 480;
int winHeight = 480;
int topWindow = 0;
int drawWindow = 0;

// The size the window or the drawable was last given, taken by the next
// frame (adoptWindowSize).
static int newWidth = 480, newHeight = 480;

// The side the check holds the drawable at; 0 when the window sizes it.
static int heldSide = 0;

int drawableSide(int side, int largest, int screen) {
    int fitted = side < largest ? side : largest;
    fitted = fitted < screen ? fitted : screen;
    return fitted < 1 ? 1 : fitted;
}

void openWindow() {
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
    watchWindow();
}

void holdDrawableSize(int side) {
    heldSide = side;
    if (drawInChildWindow())
        winWidth = winHeight = side;  // the drawable's size, whatever the window's
    else
        glutReshapeWindow(side, side);  // the window is the drawable
}

int heldDrawableSide() { return heldSide; }

// The outer window is never drawn into: the drawable covers it.
static void showNothing() {}

// The outer window's size, as the user or the window manager set it, sizes
// the drawable: no larger than the driver draws or the screen shows. The
// driver reads the drawable's size from the server; as only the program sets
// it, no other client can make it one the driver cannot draw.
static void fitDrawable(int width, int height) {
    if (heldSide > 0)
        return;  // it keeps the size the check judges
    newWidth = drawableSide(width, largestViewport(0), glutGet(GLUT_SCREEN_WIDTH));
    newHeight = drawableSide(height, largestViewport(1), glutGet(GLUT_SCREEN_HEIGHT));
}

static void reshape(int width, int height) {
    if (drawInChildWindow())
        return;  // the program sized it, and knows
    newWidth = width;
    newHeight = height;
}

void openDrawable() {
    // Full screen, the pointer hidden; the check's window keeps its size
    // where it is the drawable.
    if (options.fullscreen && (drawInChildWindow() || !options.check)) {
        glutFullScreen();
        glutSetCursor(GLUT_CURSOR_NONE);
    }
    drawWindow = topWindow;
    if (drawInChildWindow()) {
        glutDisplayFunc(showNothing);
        glutReshapeFunc(fitDrawable);
        winWidth = drawableSide(winWidth, largestViewport(0), glutGet(GLUT_SCREEN_WIDTH));
        winHeight = drawableSide(winHeight, largestViewport(1), glutGet(GLUT_SCREEN_HEIGHT));
        drawWindow = glutCreateSubWindow(topWindow, 0, 0, winWidth, winHeight);
        watchWindow();
        if (options.fullscreen)
            glutSetCursor(GLUT_CURSOR_NONE);
    }
    newWidth = winWidth;
    newHeight = winHeight;
    glutReshapeFunc(reshape);
}

// A frame's left eye ends one call of the display handler and its right eye
// begins the next, and GLUT reports a new size in between. A new size is
// taken only between frames, so that both eyes of a frame are drawn at one
// size. The drawable the program sizes itself changes size only then too:
// the driver would otherwise find the new size at the right eye's pass and
// drop the left eye's image.
void adoptWindowSize() {
    if (newWidth == winWidth && newHeight == winHeight)
        return;
    winWidth = newWidth;
    winHeight = newHeight;
    if (drawInChildWindow())
        resizeDrawable(winWidth, winHeight);
    glViewport(0, 0, winWidth, winHeight);
}

void openOffscreenDrawable(int side, int argc, char* const* argv) {
    // X11's geometry, "[=]WxH[{+-}X{+-}Y]": the size alone matters here.
    for (int i = 1; i + 1 < argc; ++i) {
        const char* size = argv[i + 1] + (argv[i + 1][0] == '=');
        char* end = nullptr;
        const long width = std::strcmp(argv[i], "-geometry") == 0 ? std::strtol(size, &end, 10) : 0;
        const long height = width > 0 && (*end == 'x' || *end == 'X') ? std::strtol(end + 1, nullptr, 10) : 0;
        if (width > 0 && height > 0 && width <= 32767 && height <= 32767) {
            winWidth = static_cast<int>(width);
            winHeight = static_cast<int>(height);
        }
    }
    if (side > 0)
        winWidth = winHeight = heldSide = side;
    const std::string why = openOffscreen(&winWidth, &winHeight, options.samples, interleaved(options.stereo.mode));
    if (!why.empty())
        refuse(why, 1);
    newWidth = winWidth;
    newHeight = winHeight;
}
