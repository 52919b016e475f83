// Start-up: the GLUT window, its handlers and the fixed OpenGL state.
#pragma once

// Opens the window, registers the handlers, sets the fixed pipeline state,
// compiles the sphere model and writes the extension list to standard error.
void init(int argc, char** argv);

// The display handler: two anaglyph passes.
void display();
