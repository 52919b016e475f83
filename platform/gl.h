// OpenGL, GLU and GLUT, from wherever the platform keeps them.
#pragma once

#if defined(__APPLE__)
#define GL_SILENCE_DEPRECATION
#include <GLUT/glut.h>
#else
#include <GL/glut.h>
#endif
