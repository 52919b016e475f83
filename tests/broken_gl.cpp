// GL stacks that draw wrongly, one fault at a time, preloaded into the
// program for --check to catch. BROKEN_GL names the faults:
//   mask        every colour channel stays open whatever glColorMask asks
//   green       green is written whenever red is
//   right, up   the viewport sits a pixel right, or up
//   narrow      the viewport is a pixel narrower
//   eyes        the eyes stand 1.1 units apart, not 1
//   shear       a translation made before the perspective goes the other way:
//               a convergence's shear, reversed
//   depth       glEnable(GL_DEPTH_TEST) is ignored: no occlusion
//   lighting    glEnable(GL_LIGHTING) is ignored: flat discs
//   cull        front faces are culled instead of back faces
//   behind      the light comes from behind
//   depthclear  a clear of the depth buffer alone does nothing
//   swap        a swap of buffers does nothing
//   stipple     glEnable(GL_POLYGON_STIPPLE) is ignored
// and one that draws rightly with less:
//   nostencil   the window says it has no stencil buffer
#include <GL/gl.h>
#include <GL/glx.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// BROKEN_GL may name several, separated by commas.
static bool broken(const char* how) {
    const char* list = std::getenv("BROKEN_GL");
    const size_t length = std::strlen(how);
    for (const char* at = list; at && *at; at = std::strchr(at, ',') ? std::strchr(at, ',') + 1 : nullptr)
        if (!std::strncmp(at, how, length) && (at[length] == ',' || at[length] == '\0'))
            return true;
    return false;
}

template <typename Entry>
static Entry next(const char* name) {
    return reinterpret_cast<Entry>(dlsym(RTLD_NEXT, name));
}

extern "C" void glColorMask(GLboolean r, GLboolean g, GLboolean b, GLboolean a) {
    static auto real = next<void (*)(GLboolean, GLboolean, GLboolean, GLboolean)>("glColorMask");
    const bool open = broken("mask");
    real(r || open, g || open || (r && broken("green")), b || open, a || open);
}

extern "C" void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    static auto real = next<void (*)(GLint, GLint, GLsizei, GLsizei)>("glViewport");
    real(x + broken("right"), y + broken("up"), width - broken("narrow"), height);
}

// A projection still without its perspective has no w from z.
static bool beforePerspective() {
    GLint mode = 0;
    GLdouble m[16];
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetDoublev(GL_PROJECTION_MATRIX, m);
    return mode == GL_PROJECTION && m[11] == 0;
}

extern "C" void glTranslated(GLdouble x, GLdouble y, GLdouble z) {
    static auto real = next<void (*)(GLdouble, GLdouble, GLdouble)>("glTranslated");
    const double sign = broken("shear") && beforePerspective() ? -1 : 1;
    real((broken("eyes") ? x * 1.1 : x) * sign, y, z);
}

extern "C" void glEnable(GLenum capability) {
    static auto real = next<void (*)(GLenum)>("glEnable");
    if (!(capability == GL_DEPTH_TEST && broken("depth")) && !(capability == GL_LIGHTING && broken("lighting")) &&
        !(capability == GL_POLYGON_STIPPLE && broken("stipple")))
        real(capability);
}

extern "C" void glGetIntegerv(GLenum name, GLint* values) {
    static auto real = next<void (*)(GLenum, GLint*)>("glGetIntegerv");
    real(name, values);
    if (name == GL_STENCIL_BITS && broken("nostencil"))
        *values = 0;
}

extern "C" void glCullFace(GLenum face) {
    static auto real = next<void (*)(GLenum)>("glCullFace");
    real(broken("cull") ? GL_FRONT : face);
}

extern "C" void glLightfv(GLenum light, GLenum name, const GLfloat* values) {
    static auto real = next<void (*)(GLenum, GLenum, const GLfloat*)>("glLightfv");
    const GLfloat behind[4] = {-values[0], -values[1], -values[2], values[3]};
    real(light, name, name == GL_POSITION && broken("behind") ? behind : values);
}

extern "C" void glClear(GLbitfield mask) {
    static auto real = next<void (*)(GLbitfield)>("glClear");
    if (!(mask == GL_DEPTH_BUFFER_BIT && broken("depthclear")))
        real(mask);
}

extern "C" void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    static auto real = next<void (*)(Display*, GLXDrawable)>("glXSwapBuffers");
    if (!broken("swap"))
        real(display, drawable);
}

// Not broken, but a driver with GLX_EXT_swap_control, its interval 1 until
// set (BROKEN_GL=swapcontrol), or one that keeps 1 whatever is asked
// (BROKEN_GL=fixedswap). Each interval asked for is written to standard
// error, "asked for N".
static bool swapControl() { return broken("swapcontrol") || broken("fixedswap"); }
static unsigned interval = 1;

static void swapIntervalExt(Display*, GLXDrawable, int n) {
    std::fprintf(stderr, "asked for %d\n", n);
    interval = broken("swapcontrol") ? static_cast<unsigned>(n) : interval;
}

extern "C" const char* glXQueryExtensionsString(Display* display, int screen) {
    static auto real = next<const char* (*)(Display*, int)>("glXQueryExtensionsString");
    static char offered[1 << 14];
    std::snprintf(offered, sizeof offered, "%s GLX_EXT_swap_control", real(display, screen));
    return swapControl() ? offered : real(display, screen);
}

extern "C" void glXQueryDrawable(Display* display, GLXDrawable drawable, int attribute, unsigned* value) {
    static auto real = next<void (*)(Display*, GLXDrawable, int, unsigned*)>("glXQueryDrawable");
    if (!swapControl() || attribute != GLX_SWAP_INTERVAL_EXT)
        return real(display, drawable, attribute, value);
    *value = interval;
}

extern "C" __GLXextFuncPtr glXGetProcAddressARB(const GLubyte* name) {
    static auto real = next<__GLXextFuncPtr (*)(const GLubyte*)>("glXGetProcAddressARB");
    if (swapControl() && std::strcmp(reinterpret_cast<const char*>(name), "glXSwapIntervalEXT") == 0)
        return reinterpret_cast<__GLXextFuncPtr>(swapIntervalExt);
    return real(name);
}
