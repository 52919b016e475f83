// The depth keys: Up and Down the eye separation, Right and Left the screen's
// plane, F2 the eyes, F11 full screen, Home the command line's settings, F1
// the keys. GLUT hands them to the special-key handler: they type no
// character, and never end the program.
#include "app/keys.h"

#include "app/options.h"
#include "app/window.h"
#include "platform/gl.h"
#include "platform/platform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

Stereo viewing;

// What the keys last asked for, taken by the next frame.
static Stereo asked;

// Whether the window covers the screen, and the place and size of the
// outer window it returns to.
static bool fullScreen = false;
static int windowedX = 0, windowedY = 0, windowedWidth = 480, windowedHeight = 480;

// Steps of a tenth, kept clear of the binary fractions' dust: ten steps down
// from 1 are 0, not 1e-16.
static double stepped(double value, double step, double least, double most) {
    return std::clamp(std::round((value + step) * 1e6) / 1e6, least, most);
}

Stereo depthAfterKey(const Stereo& now, DepthKey key, const Stereo& commandLine) {
    Stereo next = now;
    const bool farther = key == FARTHER_SCREEN;
    switch (key) {
    case MORE_SEPARATION:
    case LESS_SEPARATION:
        next.eyeSeparation = stepped(now.eyeSeparation, key == MORE_SEPARATION ? SEPARATION_STEP : -SEPARATION_STEP,
                                     0, MAX_EYE_SEPARATION);
        break;
    case FARTHER_SCREEN:
    case NEARER_SCREEN:
        next.convergence = now.convergence > 0 ? stepped(now.convergence, farther ? CONVERGENCE_STEP : -CONVERGENCE_STEP,
                                                         NEAR_PLANE, FAR_PLANE)
                                               : FIELD_DISTANCE;
        break;
    case SWAP_EYES: next.swapEyes = !now.swapEyes; break;
    case COMMAND_LINE: next = commandLine; break;
    }
    return next;
}

std::string depthLine(const Stereo& stereo, int width, int height) {
    char settings[96];
    std::snprintf(settings, sizeof settings, "eye separation %g, convergence ", stereo.eyeSeparation);
    char convergence[32] = "parallel";
    if (stereo.convergence > 0)
        std::snprintf(convergence, sizeof convergence, "%g", stereo.convergence);
    return settings + std::string(convergence) + (stereo.swapEyes ? ", eyes swapped" : "") + "; " +
           parallaxWords(stereo, width, height) + "\n";
}

std::string keysText() {
    return "Keys:\n"
           "  Up, Down             eye separation 0.1 units more or less (0 to 100)\n"
           "  Right, Left          the screen's plane 1 unit farther or nearer (1 to 100000);\n"
           "                       from parallel views, the first press puts it at 15 units,\n"
           "                       the field's centre\n"
           "  F2                   swap the eyes\n"
           "  F11                  full screen on and off\n"
           "  Home                 back to the command line's depth settings\n"
           "  F1                   print these keys\n"
           "  any key that types a character ends the program\n"
           "Each change prints a line on standard output: the eye separation, the\n"
           "convergence (or parallel), and the parallax as --info words it, at the\n"
           "window's size.\n";
}

static void setCursors(int cursor) {
    glutSetWindow(topWindow);
    glutSetCursor(cursor);
    glutSetWindow(drawWindow);
    glutSetCursor(cursor);
}

// A window manager makes a window cover the screen and gives it back its
// size and place after. With none, the program does both itself.
static void toggleFullScreen() {
    const int current = glutGetWindow();
    glutSetWindow(topWindow);
    fullScreen = !fullScreen;
    if (fullScreen) {
        windowedX = glutGet(GLUT_WINDOW_X), windowedY = glutGet(GLUT_WINDOW_Y);
        windowedWidth = glutGet(GLUT_WINDOW_WIDTH), windowedHeight = glutGet(GLUT_WINDOW_HEIGHT);
        if (!askFullScreen(true)) {
            glutPositionWindow(0, 0);
            glutReshapeWindow(glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT));
        }
    } else if (!askFullScreen(false)) {
        glutReshapeWindow(windowedWidth, windowedHeight);
        glutPositionWindow(windowedX, windowedY);
    }
    setCursors(fullScreen ? GLUT_CURSOR_NONE : GLUT_CURSOR_INHERIT);  // hidden full screen, as with --fullscreen
    glutSetWindow(current);
    // At the size the window is about to have.
    writeOutput(depthLine(asked, fullScreen ? glutGet(GLUT_SCREEN_WIDTH) : windowedWidth,
                          fullScreen ? glutGet(GLUT_SCREEN_HEIGHT) : windowedHeight)
                    .c_str());
}

static void depthKey(DepthKey key) {
    asked = depthAfterKey(asked, key, options.stereo);
    writeOutput(depthLine(asked, winWidth, winHeight).c_str());
}

static void special(int key, int, int) {
    switch (key) {
    case GLUT_KEY_UP: return depthKey(MORE_SEPARATION);
    case GLUT_KEY_DOWN: return depthKey(LESS_SEPARATION);
    case GLUT_KEY_RIGHT: return depthKey(FARTHER_SCREEN);
    case GLUT_KEY_LEFT: return depthKey(NEARER_SCREEN);
    case GLUT_KEY_F2: return depthKey(SWAP_EYES);
    case GLUT_KEY_HOME: return depthKey(COMMAND_LINE);
    case GLUT_KEY_F11: return toggleFullScreen();
    case GLUT_KEY_F1: writeOutput(keysText().c_str()); return;
    default: return;
    }
}

void startDepth(bool listen) {
    viewing = asked = options.stereo;
    if (!listen)
        return;
    // Started full screen, the window returns to the size it was opened at.
    fullScreen = options.fullscreen;
    windowedWidth = winWidth, windowedHeight = winHeight;
    glutSetWindow(topWindow);
    glutSpecialFunc(special);
    glutSetWindow(drawWindow);
    glutSpecialFunc(special);
}

void adoptDepth() { viewing = asked; }
