// Start-up: the GLUT window, its handlers and the fixed OpenGL state.
#pragma once

// Opens the window, registers the handlers, sets the fixed pipeline state,
// compiles the sphere model and writes the extension list to standard error.
// Leaves the drawable's GL context current.
void init(int argc, char** argv);

// The display handler: two anaglyph passes.
void display();

// The GLUT windows: the outer one the user sees, titled "Quendrix", and the
// GL drawable inside it, whose size only the program sets.
extern int topWindow;
extern int drawWindow;

// One side of the drawable for a side of the outer window: no larger than
// the driver draws or the screen shows, and at least one pixel.
int drawableSide(int side, int largest, int screen);
