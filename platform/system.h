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

// What writeFileWhole asks of the system about a path: whether it names the
// file standard output writes to; whether it is a regular file or nothing
// yet; and the rename of a temporary file over it, replacing what was there.
bool namesStandardOutput(const std::string& path);
std::string linkTarget(const std::string& path);  // the file a symbolic link leads to, or path itself
bool regularOrAbsent(const std::string& path);
bool replaceFile(const std::string& from, const std::string& to);
long processId();
