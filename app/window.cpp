// The outer window, the GL drawable inside it, their size, and where the
// drawable is on the screen. The driver reads the drawable's size from the
// window system when it draws; the passes read winWidth, winHeight, winX
// and winY, which change only between frames.
#include "app/window.h"

#include "app/driver.h"
#include "app/end.h"
#include "app/options.h"
#include "platform/gl.h"
#include "platform/platform.h"

#include <cstdlib>
#include <cstring>

int winWidth = 480;
int winHeight = 480;
int winX = 0;
int winY = 0;
int topWindow = 0;
int drawWindow = 0;

// The size the window or the drawable was last given, and where the
// drawable is on the screen, taken by the next frame (adoptWindowSize).
static int newWidth = 480, newHeight = 480;
static int newX = 0, newY = 0;

// The size the check holds the drawable at; 0 x 0 when the window sizes it.
static int heldWidth = 0, heldHeight = 0;

int drawableSide(int side, int largest, int screen) {
    int fitted = side < largest ? side : largest;
    fitted = fitted < screen ? fitted : screen;
    return fitted < 1 ? 1 : fitted;
}

// Where -geometry puts a window of this size on a screen of that size, as X
// puts it: an offset given with a minus counts from the right or the bottom.
static int placed(int offset, bool fromFar, int size, int screen) { return fromFar ? screen - size - offset : offset; }

void openWindow() {
    const Geometry& g = options.geometry;
    if (g.sized)
        winWidth = g.width, winHeight = g.height;
    glutInitWindowSize(winWidth, winHeight);
    int x = 0, y = 0;
    if (g.placed) {
        x = placed(g.x, g.fromRight, winWidth, glutGet(GLUT_SCREEN_WIDTH));
        y = placed(g.y, g.fromBottom, winHeight, glutGet(GLUT_SCREEN_HEIGHT));
    }
    // With no window manager a window stays where it was made: X would make
    // it at (-1, -1), its top row and left column off the screen, and a
    // full-screen one anywhere. GLUT takes only a position on the screen at
    // creation; one off it is asked for once the window is there.
    const bool managed = windowManagerRunning();
    const bool position = g.placed || options.fullscreen || !managed;
    // Counted from the right or the bottom, the window is placed once it is
    // there (placeWindowFromEdges): GLUT would place the frame's top left
    // corner, which puts the frame's far edges off the screen, and an X
    // window manager told so later does not move a window asked for the
    // place it already has.
    const bool fromEdges = g.placed && (g.fromRight || g.fromBottom);
    if (position && x >= 0 && y >= 0 && !(fromEdges && managed))
        glutInitWindowPosition(x, y);
    topWindow = glutCreateWindow("Quendrix");
    if (fromEdges)
        placeWindowFromEdges(x, y, g.fromRight, g.fromBottom);
    if (position && (x < 0 || y < 0))
        glutPositionWindow(x, y);
    // Minimised once it is there: asked for at creation, a window manager
    // would withhold the window, and GLUT waits for it to be shown. Minimised,
    // it is hidden like any window the user minimises.
    if (options.iconic)
        glutIconifyWindow();
    nameWindowClass();
    watchWindow();
}

void holdDrawableSize(int width, int height) {
    heldWidth = width, heldHeight = height;
    if (drawInChildWindow())
        winWidth = width, winHeight = height;  // the drawable's size, whatever the window's
    // The window holds all of the frames, so that the screen can show them.
    glutReshapeWindow(width, height);
}

bool drawableHeld() { return heldWidth > 0; }
void heldDrawableSize(int* width, int* height) { *width = heldWidth, *height = heldHeight; }

// Moved, the window's drawable is asked where it went: GLUT's position is
// the window manager's frame's, or relative to it. Once a move, never once a
// frame, and only in the interleaved modes, the ones it matters to: the
// others listen for no moves, and draw as they always did.
static bool placeMatters() { return interleaved(options.stereo.mode); }
static void noticeMove(int, int) {
    if (placeMatters())
        drawableOnScreen(&newX, &newY);
}

// The outer window is never drawn into: the drawable covers it.
static void showNothing() {}

// The outer window's size, as the user or the window manager set it, sizes
// the drawable: no larger than the driver draws or the screen shows. The
// driver reads the drawable's size from the server; as only the program sets
// it, no other client can make it one the driver cannot draw.
static void fitDrawable(int width, int height) {
    noticeMove(0, 0);  // resized from its left or top edge, it moved too
    if (drawableHeld())
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
    if (placeMatters())
        whenWindowMoves(noticeMove);
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
    noticeMove(0, 0);
    winX = newX;
    winY = newY;
}

// A frame's left eye ends one call of the display handler and its right eye
// begins the next, and GLUT reports a new size in between. A new size is
// taken only between frames, so that both eyes of a frame are drawn at one
// size. The drawable the program sizes itself changes size only then too:
// the driver would otherwise find the new size at the right eye's pass and
// drop the left eye's image.
void adoptWindowSize() {
    winX = newX;
    winY = newY;
    if (newWidth == winWidth && newHeight == winHeight)
        return;
    winWidth = newWidth;
    winHeight = newHeight;
    if (drawInChildWindow())
        resizeDrawable(winWidth, winHeight);
    glViewport(0, 0, winWidth, winHeight);
}

void openOffscreenDrawable() {
    // -geometry's size alone matters here; the check's frames have it too.
    if (options.geometry.sized)
        winWidth = options.geometry.width, winHeight = options.geometry.height;
    if (options.check)
        heldWidth = winWidth, heldHeight = winHeight;
    int width = winWidth, height = winHeight;  // what EGL makes
    const std::string why =
        openOffscreen(&width, &height, options.samples, interleaved(options.stereo.mode) || options.allModes);
    if (!why.empty())
        skipRun(why);
    if (width < winWidth || height < winHeight)  // never shrunk in silence
        skipRun("the largest off-screen surface EGL makes here for " + std::to_string(winWidth) + " x " +
                std::to_string(winHeight) + " is " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels");
    newWidth = winWidth;
    newHeight = winHeight;
}
