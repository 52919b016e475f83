// macOS: GLUT's own windows, with GL through CGL. (The process and its
// streams: posix.cpp.) Not built or run here: it is kept as small as the
// interface allows, and says what it cannot do rather than guess.
#include "platform/platform.h"

#include "platform/gl.h"

#include <OpenGL/OpenGL.h>
#include <dlfcn.h>

#include <algorithm>
#include <utility>

std::string unreachableDisplay(int, char* const*) { return std::string(); }

void platformGlutInit(int* argc, char** argv) { glutInit(argc, argv); }

// GLUT asks the system for a pixel format like the one the window will get.
bool displayOffers(bool, int) { return glutGet(GLUT_DISPLAY_MODE_POSSIBLE) != 0; }

bool drawInChildWindow() { return false; }

void watchWindow() {}

bool windowShown() { return true; }

// What GL's front buffer holds is what the window shows.
bool readShownPixels(int width, int height, unsigned char* rgb, unsigned char* shown) {
    glReadBuffer(GL_FRONT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    const size_t row = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height / 2; ++y)  // GL gives the bottom row first
        for (size_t i = 0; i < row; ++i)
            std::swap(rgb[y * row + i], rgb[(height - 1 - y) * row + i]);
    std::fill(shown, shown + static_cast<size_t>(width) * height, 1);
    return true;
}
void nameWindowClass() {}
void windowStillThere() {}
bool characterKeyPressed() { return false; }  // GLUT hears the keys itself

bool setSwapInterval(int interval) {
    GLint value = interval;
    return CGLSetParameter(CGLGetCurrentContext(), kCGLCPSwapInterval, &value) == kCGLNoError;
}

int swapInterval() {
    GLint value = -1;
    return CGLGetParameter(CGLGetCurrentContext(), kCGLCPSwapInterval, &value) == kCGLNoError ? value : -1;
}

GlEntry extensionEntry(const char* name) { return reinterpret_cast<GlEntry>(dlsym(RTLD_DEFAULT, name)); }
