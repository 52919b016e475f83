// macOS: GLUT's own windows, with GL through CGL. (The process and its
// streams: posix.cpp.) Not built or run here: it is kept as small as the
// interface allows, and says what it cannot do rather than guess.
#include "platform/platform.h"

#include "platform/gl.h"

#include <OpenGL/OpenGL.h>
#include <dlfcn.h>

#include <cstring>
#include <vector>

std::string openDisplay(int, char* const*) { return std::string(); }

// The system places every window.
bool windowManagerRunning() { return true; }

void platformGlutInit(int* argc, char** argv) { glutInit(argc, argv); }

// GLUT asks the system for a pixel format like the one the window will get.
bool displayOffers(bool, int, bool) { return glutGet(GLUT_DISPLAY_MODE_POSSIBLE) != 0; }

bool drawInChildWindow() { return false; }
void resizeDrawable(int, int) {}

void watchWindow() {}

bool windowViewable() { return true; }

// GLUT covers the screen; the program gives the window back its size and
// place.
bool askFullScreen(bool on) {
    if (on)
        glutFullScreen();
    return on;
}

// GLUT here has no position handler: the interleaved modes count from
// where the window was when it opened.
void whenWindowMoves(void (*)(int, int)) {}

void drawableOnScreen(int* x, int* y) {
    *x = glutGet(GLUT_WINDOW_X);
    *y = glutGet(GLUT_WINDOW_Y);
}

// GLUT places the window where it is asked for; there is no gravity to tell.
void placeWindowFromEdges(int x, int y, bool, bool) { glutPositionWindow(x, y); }

void nameWindowClass() {}
void windowStillThere() {}
bool characterKeyPressed() { return false; }  // GLUT hears the keys itself

// The front buffer, which the swap has just filled. Whether the window is
// minimised, covered or partly off the screen is not asked here.
ScreenRead readScreen(int width, int height, unsigned char* rgb) {
    if (width <= 0 || height <= 0)
        return SCREEN_UNREADABLE;
    while (glGetError() != GL_NO_ERROR) {
    }
    GLint readBuffer = GL_BACK;
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);
    const size_t row = static_cast<size_t>(width) * 3;
    std::vector<unsigned char> rows(row * height);
    glReadBuffer(GL_FRONT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    glReadBuffer(static_cast<GLenum>(readBuffer));
    if (glGetError() != GL_NO_ERROR)
        return SCREEN_UNREADABLE;
    for (int y = 0; y < height; ++y)  // GL gives the bottom row first
        std::memcpy(rgb + y * row, &rows[(height - 1 - y) * row], row);
    return SCREEN_READ;
}

bool setSwapInterval(int interval) {
    GLint value = interval;
    return CGLSetParameter(CGLGetCurrentContext(), kCGLCPSwapInterval, &value) == kCGLNoError;
}

int swapInterval() {
    GLint value = -1;
    return CGLGetParameter(CGLGetCurrentContext(), kCGLCPSwapInterval, &value) == kCGLNoError ? value : -1;
}

GlEntry extensionEntry(const char* name) { return reinterpret_cast<GlEntry>(dlsym(RTLD_DEFAULT, name)); }
