// Start-up: everything between reading the options and the main loop.
#pragma once

// Opens the window (off-screen, an EGL surface instead), registers the
// handlers of the run, sets the fixed pipeline state, compiles the sphere
// model and writes the extension list to standard error; leaves the
// drawable's GL context current. What the display, EGL or the driver cannot
// give ends the program here, with a message.
void init(int argc, char** argv);
