// What the display and the GL driver offer, and what the program asks of
// them: the visual, a context that draws, the swap interval; and what it
// reports of them, the extension list on standard error and --info on
// standard output.
#pragma once

#include <string>

// Gives GLUT the display mode the options need: RGB, double-buffered, with
// depth; left and right buffers for quad-buffered stereo, a stencil buffer
// for the interleaved modes where there is one, the samples asked for. A
// display that has no such visual ends the run, skipped, before any window
// opens.
void chooseDisplayMode();

// In the window's context: a context that names no renderer or draws no
// viewport, or lacks the stereo buffers or samples asked for, ends the run,
// skipped.
void requireWorkingContext();

// One of the context's strings (GL_RENDERER, …); empty where it gives none.
const char* glText(unsigned name);

// The largest viewport the driver draws along x (axis 0) or y (axis 1).
int largestViewport(int axis);

// The samples of each pixel the window or surface has (0: one, not
// multisampled), as requireWorkingContext found them.
int drawableSamples();

// Sets the point attenuation, where the driver has the extension.
void setPointAttenuation();

// The extension list on one line of standard error.
void reportExtensions();

// A --frames run never waits for the screen unless asked; otherwise the
// driver's default stands unless the user names an interval.
void applySwapInterval();

// --info: the GL renderer, version and vendor, the swap interval, the
// samples, the parallax of the nearest and farthest sphere at the window's
// size, and off-screen the EGL platform, on standard output.
void reportInfo(int width, int height);
