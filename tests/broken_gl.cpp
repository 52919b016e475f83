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
