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
//   front       everything is drawn into and read from the front buffer,
//               and a swap does nothing: the screen shows each pass as it
//               is drawn
//   stipple     glEnable(GL_POLYGON_STIPPLE) is ignored
//   drop        the sphere BROKEN_SPHERE (its place in a pass, from 0) is
//               left out of every pass, or with BROKEN_EYE=left or right
//               only of that eye's passes
//   block       a square of BROKEN_BLOCK pixels a side (8 unless told) in
//               the middle of each pass's viewport is cleared to black once
//               the spheres are drawn: a lost tile
//   beyond      spheres whose centres lie right of x = 5.5 or nearer than
//               z = 6.4 from the field's centre are left out: a clipping
//               fault at the edges of the space
//   fewbits     each colour channel is said to have 5 bits, whatever it has
//   dim         the light's diffuse colour is scaled by 0.97: every lit
//               value a few levels low
//   nudge       every sphere is drawn 0.0025 units (a twelfth of a pixel at
//               480 x 480) to the right: a little wrong in many pixels
// and ones that draw rightly with less, or otherwise:
//   nostencil   the window says it has no stencil buffer
//   depth16     a configuration with a 16-bit depth buffer is chosen first
//   resize      every eighth frame, as it begins, the outer window is
//               resized (480 or 500 pixels wide, by turns), "resized the
//               window to ..." on standard error; and a frame whose two eyes
//               were drawn at different viewport sizes is reported there,
//               "eyes of one frame at ..."
// and one that shows nothing at all:
//   nomap       XMapWindow and XMapRaised do nothing: the window is never
//               shown, as when a window manager withholds it
#include <GL/gl.h>
#include <GL/glx.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>

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

// The viewport last set, and the one each eye of the frame drew at.
static GLsizei viewport[2], eyeViewport[2][2];
static int callsInPass = -1, frames = 0;
static bool rightEye = false, leftDrawn = false;

extern "C" void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    static auto real = next<void (*)(GLint, GLint, GLsizei, GLsizei)>("glViewport");
    viewport[0] = width, viewport[1] = height;
    real(x + broken("right"), y + broken("up"), width - broken("narrow"), height);
}

// Whether the pass under way is of the eye BROKEN_EYE names, or of any.
static bool eyeNamed() { return !std::getenv("BROKEN_EYE") || !std::strcmp(std::getenv("BROKEN_EYE"), rightEye ? "right" : "left"); }

// A sphere drawn at the modelview's translation, from the field's centre.
static bool beyondPlanes() {
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    return m[12] > 5.5f || m[14] + 15.0f > 6.4f;
}

// Clears a square in the middle of the viewport, through the colour mask.
static void clearBlock() {
    const int n = std::getenv("BROKEN_BLOCK") ? std::atoi(std::getenv("BROKEN_BLOCK")) : 8;
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    glEnable(GL_SCISSOR_TEST);  // the program draws with no scissor
    glScissor(vp[0] + vp[2] / 2 - n / 2, vp[1] + vp[3] / 2 - n / 2, n, n);
    next<void (*)(GLbitfield)>("glClear")(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

extern "C" void glCallList(GLuint list) {
    static auto real = next<void (*)(GLuint)>("glCallList");
    if (++callsInPass == 0 && broken("resize")) {  // a frame's left eye, then its right eye
        std::memcpy(eyeViewport[rightEye], viewport, sizeof viewport);
        if (rightEye && leftDrawn && std::memcmp(eyeViewport[0], eyeViewport[1], sizeof viewport) != 0)
            std::fprintf(stderr, "eyes of one frame at %dx%d and %dx%d\n", eyeViewport[0][0], eyeViewport[0][1],
                         eyeViewport[1][0], eyeViewport[1][1]);
        leftDrawn = !rightEye;
    }
    static auto translate = next<void (*)(GLfloat, GLfloat, GLfloat)>("glTranslatef");
    if (broken("nudge"))
        translate(0.0025f, 0.0f, 0.0f);  // within the sphere's own push and pop
    const char* dropped = std::getenv("BROKEN_SPHERE");
    if (!(broken("drop") && dropped && callsInPass == std::atoi(dropped) && eyeNamed()) &&
        !(broken("beyond") && beyondPlanes()))
        real(list);
    if (broken("block") && callsInPass == 360)  // the pass's last sphere
        clearBlock();
}

// Resizes the outer window, the drawable's parent, from inside the program.
static void resizeOuterWindow() {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0, width = frames % 16 == 0 ? 500 : 480;
    XQueryTree(glXGetCurrentDisplay(), glXGetCurrentDrawable(), &root, &parent, &children, &count);
    XFree(children);
    XResizeWindow(glXGetCurrentDisplay(), parent, width, 480);
    XFlush(glXGetCurrentDisplay());
    std::fprintf(stderr, "resized the window to %ux480\n", width);
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
    if ((name == GL_RED_BITS || name == GL_GREEN_BITS || name == GL_BLUE_BITS) && broken("fewbits"))
        *values = 5;
}

extern "C" void glCullFace(GLenum face) {
    static auto real = next<void (*)(GLenum)>("glCullFace");
    real(broken("cull") ? GL_FRONT : face);
}

extern "C" void glLightfv(GLenum light, GLenum name, const GLfloat* values) {
    static auto real = next<void (*)(GLenum, GLenum, const GLfloat*)>("glLightfv");
    const GLfloat behind[4] = {-values[0], -values[1], -values[2], values[3]};
    const GLfloat dimmed[4] = {values[0] * 0.97f, values[1] * 0.97f, values[2] * 0.97f, values[3]};
    real(light, name,
         name == GL_POSITION && broken("behind") ? behind : name == GL_DIFFUSE && broken("dim") ? dimmed : values);
}

extern "C" void glReadBuffer(GLenum buffer) {
    static auto real = next<void (*)(GLenum)>("glReadBuffer");
    real(broken("front") ? GL_FRONT : buffer);
}

extern "C" void glClear(GLbitfield mask) {
    static auto real = next<void (*)(GLbitfield)>("glClear");
    callsInPass = -1;
    rightEye = !(mask & GL_COLOR_BUFFER_BIT);
    if (!rightEye && broken("resize") && ++frames % 8 == 0)
        resizeOuterWindow();
    if (broken("front"))  // the program asks for no other buffer in these modes
        next<void (*)(GLenum)>("glDrawBuffer")(GL_FRONT);
    if (!(mask == GL_DEPTH_BUFFER_BIT && broken("depthclear")))
        real(mask);
}

extern "C" void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    static auto real = next<void (*)(Display*, GLXDrawable)>("glXSwapBuffers");
    if (!broken("swap") && !broken("front"))
        real(display, drawable);
}

extern "C" int XMapWindow(Display* display, Window window) {
    static auto real = next<int (*)(Display*, Window)>("XMapWindow");
    return broken("nomap") ? 1 : real(display, window);
}

extern "C" int XMapRaised(Display* display, Window window) {
    static auto real = next<int (*)(Display*, Window)>("XMapRaised");
    return broken("nomap") ? 1 : real(display, window);
}

// Configurations with a 16-bit depth buffer first, the rest in their order.
extern "C" GLXFBConfig* glXChooseFBConfig(Display* display, int screen, const int* attributes, int* count) {
    static auto real = next<GLXFBConfig* (*)(Display*, int, const int*, int*)>("glXChooseFBConfig");
    GLXFBConfig* configs = real(display, screen, attributes, count);
    if (!configs || !broken("depth16"))
        return configs;
    std::stable_partition(configs, configs + *count, [&](GLXFBConfig config) {
        int depth = 0;
        return glXGetFBConfigAttrib(display, config, GLX_DEPTH_SIZE, &depth) == 0 && depth == 16;
    });
    return configs;
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
