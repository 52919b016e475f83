// What each system's file gives the shared one (common.cpp); the rest of the
// program uses platform.h alone.
#pragma once

#include <cstddef>

// Writes the bytes to standard error as the system allows without waiting.
void writeErrorBytes(const char* text, size_t length);
