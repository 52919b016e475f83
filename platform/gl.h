// OpenGL, GLU and GLUT, from wherever the platform keeps them.
#pragma once

#if defined(__APPLE__)
#define GL_SILENCE_DEPRECATION
#include <GLUT/glut.h>
#else
#include <GL/glut.h>
#endif

// OpenGL 1.3, past what Windows' own headers declare (1.1).
#ifndef GL_SAMPLES
#define GL_SAMPLES 0x80A9
#endif
