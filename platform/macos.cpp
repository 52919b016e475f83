// macOS: GLUT's own windows, with GL through CGL. (The process and its
// streams: posix.cpp.) Not built or run here: it is kept as small as the
// interface allows, and says what it cannot do rather than guess.
#include "platform/platform.h"

#include "platform/gl.h"

#include <OpenGL/OpenGL.h>
#include <dlfcn.h>

std::string unreachableDisplay(int, char* const*) { return std::string(); }

void platformGlutInit(int* argc, char** argv) { glutInit(argc, argv); }

bool drawInChildWindow() { return false; }

void watchWindow() {}
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
