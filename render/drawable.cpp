// Holding the window's size steady while the GL driver takes it.
#include "render/pass.h"

#if defined(QUENDRIX_X11)
#include <GL/glx.h>
#endif

bool holdDrawable() {
#if defined(QUENDRIX_X11)
    // Mesa's software rasterizer asks the X server for the window's size at
    // the first drawing after a swap or a viewport change, and crashes on
    // the largest sizes X allows. Another client may resize the window at
    // any moment, before GLUT has told the program; while the server is
    // grabbed, the size checked here is the size the driver takes.
    Display* display = glXGetCurrentDisplay();
    Window root;
    int x, y;
    unsigned width = 0, height = 0, border, depth;
    XGrabServer(display);
    XGetGeometry(display, glXGetCurrentDrawable(), &root, &x, &y, &width, &height, &border, &depth);
    return drawableFits(static_cast<int>(width), static_cast<int>(height), maxViewport);
#else
    return drawableFits(winWidth, winHeight, maxViewport);
#endif
}

void releaseDrawable() {
#if defined(QUENDRIX_X11)
    XUngrabServer(glXGetCurrentDisplay());
    XFlush(glXGetCurrentDisplay());
#endif
}
