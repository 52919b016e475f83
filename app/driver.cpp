#include "app/driver.h"

#include "app/end.h"
#include "app/options.h"
#include "platform/gl.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef GL_DISTANCE_ATTENUATION_EXT
#define GL_DISTANCE_ATTENUATION_EXT 0x8129
#endif

#ifndef APIENTRY
#define APIENTRY
#endif
typedef void(APIENTRY* PointParameterfv)(GLenum pname, const GLfloat* params);

// GL_MAX_VIEWPORT_DIMS, read once the context exists.
static int maxViewport[2] = {0, 0};
static GLint samples = 0;  // each pixel's, in the drawable

[[noreturn]] static void skipDisplayMode() {
    if (quadBuffered(options.stereo.mode))
        skipRun("the display offers no quad-buffered stereo visual; try another --stereo mode");
    skipRun("the display offers no visual with " + std::to_string(options.samples) +
            " samples a pixel; try fewer --samples");
}

// GLUT would end the program with a message of its own for a display that
// has none, or give a window with fewer samples than asked. The interleaved
// modes want a stencil buffer (render/pass.cpp), but draw without one.
// Every mode in turn (--stereo all): quad buffers where the display offers
// them, and a stencil buffer.
void chooseDisplayMode() {
    const StereoMode mode = options.stereo.mode;
    const bool all = options.allModes, quad = quadBuffered(mode) || (all && displayOffers(true, options.samples, true));
    if (!quad && options.samples == 0 && !interleaved(mode) && !all) {
        glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
        return;
    }
    std::string wanted = "rgb double depth";
    if (quad)
        wanted += " stereo";
    if (options.samples > 0)
        wanted += " samples=" + std::to_string(options.samples);
    if (interleaved(mode) || all) {
        glutInitDisplayString((wanted + " stencil").c_str());
        if (displayOffers(quad, options.samples, true))
            return;
    }
    glutInitDisplayString(wanted.c_str());
    if (!displayOffers(quad, options.samples, false))
        skipDisplayMode();
}

const char* glText(GLenum name) {
    const char* text = reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "";
}

// A context that names no renderer or draws no viewport is a broken GL
// stack (an indirect context the server cannot serve, for one): it would
// show a black window for ever. Where the window system cannot tell before
// a window exists, the window's own buffers say whether it has the stereo
// buffers and samples asked for.
void requireWorkingContext() {
    // The renderer first: an indirect context the server cannot serve may
    // answer a query of numbers with a reply that Mesa's GLX misreads.
    if (*glText(GL_RENDERER) != '\0')
        glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
    if (maxViewport[0] <= 0 || maxViewport[1] <= 0)
        skipRun("the OpenGL context names no renderer or has no viewport to draw: the GL stack is broken");
    GLboolean stereo = GL_FALSE;
    glGetIntegerv(GL_SAMPLES, &samples);
    glGetBooleanv(GL_STEREO, &stereo);
    if ((quadBuffered(options.stereo.mode) && !stereo) || samples < options.samples)
        skipDisplayMode();
}

int largestViewport(int axis) { return maxViewport[axis]; }

int drawableSamples() { return samples; }

void setPointAttenuation() {
    // The program draws no points; this only exercises the extension entry.
    static const GLfloat attenuation[3] = {0.25f, 0.0f, 1.0f / 60.0f};
    if (!hasExtension(glText(GL_EXTENSIONS), "GL_EXT_point_parameters"))
        return;
    auto pointParameterfv = reinterpret_cast<PointParameterfv>(extensionEntry("glPointParameterfvEXT"));
    if (pointParameterfv)
        pointParameterfv(GL_DISTANCE_ATTENUATION_EXT, attenuation);
}

void reportExtensions() {
    const char* extensions = glText(GL_EXTENSIONS);
    size_t size = std::strlen(extensions) + 2;  // line feed and terminator
    char* line = static_cast<char*>(std::malloc(size));
    if (!line)
        return;
    std::snprintf(line, size, "%s\n", extensions);
    writeError(line, size - 1);
    std::free(line);
}

void applySwapInterval() {
    const int wanted = options.swapInterval >= 0 ? options.swapInterval : options.frames > 0 ? 0 : -1;
    if (wanted < 0 || setSwapInterval(wanted) || options.swapInterval < 0)
        return;
    complain("the driver cannot set the swap interval to " + std::to_string(wanted));
}

void reportInfo(int width, int height) {
    const int interval = swapInterval();
    const std::string text = std::string("GL_RENDERER: ") + glText(GL_RENDERER) + "\nGL_VERSION: " +
                             glText(GL_VERSION) + "\nGL_VENDOR: " + glText(GL_VENDOR) + "\nswap interval: " +
                             (interval >= 0 ? std::to_string(interval) : std::string("unknown")) +
                             "\nsamples: " + std::to_string(samples) + "\n" +
                             parallaxWords(options.stereo, width, height) + "\n";
    const std::string egl = offscreenPlatform();
    if (!writeOutput((egl.empty() ? text : text + "EGL platform: " + egl + "\n").c_str()))
        endRun(UNDELIVERED, "--info could not be written");
}
