// Systems without EGL (Windows, macOS): no off-screen surface.
#include "platform/platform.h"
#include "platform/system.h"

std::string openOffscreen(int*, int*, int, bool) {
    return "--offscreen draws through EGL, which this system does not have";
}

std::string offscreenPlatform() { return std::string(); }
bool offscreenOpen() { return false; }
void swapOffscreen() {}
GlEntry offscreenEntry(const char*) { return nullptr; }
