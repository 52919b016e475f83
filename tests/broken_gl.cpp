// A GL stack that draws wrongly, preloaded into the program for --check to
// catch: with BROKEN_GL=mask every colour channel stays open whatever
// glColorMask asks; with BROKEN_GL=viewport the viewport sits 2 pixels right.
#include <GL/gl.h>
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

static bool broken(const char* how) { return std::getenv("BROKEN_GL") && !std::strcmp(std::getenv("BROKEN_GL"), how); }

extern "C" void glColorMask(GLboolean r, GLboolean g, GLboolean b, GLboolean a) {
    typedef void (*ColorMask)(GLboolean, GLboolean, GLboolean, GLboolean);
    static auto next = reinterpret_cast<ColorMask>(dlsym(RTLD_NEXT, "glColorMask"));
    const bool open = broken("mask");
    next(r || open, g || open, b || open, a || open);
}

extern "C" void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    static auto next = reinterpret_cast<void (*)(GLint, GLint, GLsizei, GLsizei)>(dlsym(RTLD_NEXT, "glViewport"));
    next(x + (broken("viewport") ? 2 : 0), y, width, height);
}

// BROKEN_GL=swap: a driver with GLX_EXT_swap_control, its interval 1 until
// set; BROKEN_GL=noswap: the same, but the interval stays 1 whatever is
// asked. Each interval asked for is written to standard error, "asked for N".
#include <GL/glx.h>

#include <cstdio>

static bool swapControl() { return broken("swap") || broken("noswap"); }
static unsigned interval = 1;

static void swapIntervalExt(Display*, GLXDrawable, int n) {
    std::fprintf(stderr, "asked for %d\n", n);
    interval = broken("swap") ? static_cast<unsigned>(n) : interval;
}

extern "C" const char* glXQueryExtensionsString(Display* display, int screen) {
    static auto next = reinterpret_cast<const char* (*)(Display*, int)>(dlsym(RTLD_NEXT, "glXQueryExtensionsString"));
    static char offered[1 << 14];
    std::snprintf(offered, sizeof offered, "%s GLX_EXT_swap_control", next(display, screen));
    return swapControl() ? offered : next(display, screen);
}

extern "C" void glXQueryDrawable(Display* display, GLXDrawable drawable, int attribute, unsigned* value) {
    static auto next = reinterpret_cast<void (*)(Display*, GLXDrawable, int, unsigned*)>(dlsym(RTLD_NEXT, "glXQueryDrawable"));
    if (!swapControl() || attribute != GLX_SWAP_INTERVAL_EXT)
        return next(display, drawable, attribute, value);
    *value = interval;
}

extern "C" __GLXextFuncPtr glXGetProcAddressARB(const GLubyte* name) {
    static auto next = reinterpret_cast<__GLXextFuncPtr (*)(const GLubyte*)>(dlsym(RTLD_NEXT, "glXGetProcAddressARB"));
    if (swapControl() && std::strcmp(reinterpret_cast<const char*>(name), "glXSwapIntervalEXT") == 0)
        return reinterpret_cast<__GLXextFuncPtr>(swapIntervalExt);
    return next(name);
}
