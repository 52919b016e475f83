// What each system's file gives the shared one (common.cpp); the rest of the
// program uses platform.h alone.
#pragma once

#include "platform/platform.h"

#include <cstddef>

// Writes the bytes to standard error as the system allows without waiting.
void writeErrorBytes(const char* text, size_t length);

// The off-screen surface (egl.cpp, or noegl.cpp where there is no EGL):
// whether one is open, its swap, and the entry of a GL function in its
// context.
bool offscreenOpen();
void swapOffscreen();
GlEntry offscreenEntry(const char* name);
