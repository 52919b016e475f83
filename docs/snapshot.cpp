// Renders frames of the program for the README: its own start-up and passes,
// at chosen phases, taken from the window and written as binary PPM files.
//
//   quendrix_snapshot [--info] PHASE FILE [PHASE FILE ...]
//
// --info prints the GL renderer and version first. Needs an X display.
#include "app/startup.h"
#include "render/check.h"
#include "platform/gl.h"
#include "render/pass.h"

#include <GL/freeglut_ext.h>
#include <GL/glx.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

static bool mapped = false;

static void visibility(int state) { mapped = state == GLUT_VISIBLE; }

static bool writePpm(const char* path, const Image& image) {
    std::FILE* out = std::fopen(path, "wb");
    if (!out)
        return false;
    std::fprintf(out, "P6\n%d %d\n255\n", image.width, image.height);
    bool ok = std::fwrite(image.rgb.data(), 1, image.rgb.size(), out) == image.rgb.size();
    return std::fclose(out) == 0 && ok;
}

// The program's window: the top-level window titled "Quendrix". The GLX
// drawable is not it (freeglut draws to a GLX window of its own id).
static Window findWindow(Display* display) {
    Window root, parent, found = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name && std::strcmp(name, "Quendrix") == 0)
            found = children[i];
        if (name)
            XFree(name);
    }
    if (children)
        XFree(children);
    return found;
}

// What the window shows. Mesa's software GL under Xvfb hands back zeros for
// the front buffer, so the picture is taken from the X server instead.
static Image readWindow() {
    Image image;
    Display* display = glXGetCurrentDisplay();
    const Window window = findWindow(display);
    if (!window)
        return image;
    XImage* x = XGetImage(display, window, 0, 0, static_cast<unsigned>(winWidth), static_cast<unsigned>(winHeight),
                          AllPlanes, ZPixmap);
    if (!x)
        return image;
    image.width = winWidth;
    image.height = winHeight;
    image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
    // Each mask is 8 bits wide on a 24-bit visual; shift it down to 0 ... 255.
    auto channel = [](unsigned long pixel, unsigned long mask) {
        while (mask && !(mask & 1)) {
            mask >>= 1;
            pixel >>= 1;
        }
        return static_cast<unsigned char>(pixel & mask);
    };
    unsigned char* out = image.rgb.data();
    for (int y = 0; y < image.height; ++y)
        for (int xx = 0; xx < image.width; ++xx) {
            unsigned long pixel = XGetPixel(x, xx, y);
            *out++ = channel(pixel, x->red_mask);
            *out++ = channel(pixel, x->green_mask);
            *out++ = channel(pixel, x->blue_mask);
        }
    XDestroyImage(x);
    return image;
}

// One whole anaglyph frame at phase P, drawn as the program draws it and
// shown; the window must show it as it was drawn.
static bool snapshot(float P, const char* path) {
    Image planes[2];
    const Image& drawn = planes[0];
    if (!drawFrame(P, planes)) {
        std::fprintf(stderr, "phase %.9g cannot be drawn exactly\n", P);
        return false;
    }
    glFinish();
    const Image frame = readWindow();
    if (frame.rgb.empty()) {
        std::fprintf(stderr, "cannot read the window\n");
        return false;
    }
    if (frame.rgb != drawn.rgb) {
        std::fprintf(stderr, "phase %.9g: the window does not show the frame drawn\n", P);
        return false;
    }
    if (!writePpm(path, frame)) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return false;
    }
    return true;
}

int main(int argc, char** argv) {
    int first = 1;
    const bool info = argc > 1 && std::strcmp(argv[1], "--info") == 0;
    if (info)
        ++first;
    if ((argc - first) % 2 != 0) {
        std::fprintf(stderr, "usage: %s [--info] PHASE FILE [PHASE FILE ...]\n", argv[0]);
        return 2;
    }

    init(1, argv);  // our arguments are not GLUT's
    glutIdleFunc(nullptr);  // no frames but ours
    glutSetWindow(topWindow);
    glutVisibilityFunc(visibility);
    // The picture is read from the window, so all of it must be on screen:
    // with no window manager it would sit at (-1, -1), a pixel off the edge.
    glutPositionWindow(0, 0);
    bool placed = false;
    for (int i = 0; i < 1000 && !placed; ++i) {
        glutMainLoopEvent();
        glutSetWindow(topWindow);
        placed = mapped && glutGet(GLUT_WINDOW_X) == 0 && glutGet(GLUT_WINDOW_Y) == 0;
        const timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    if (!placed) {
        std::fprintf(stderr, "the window never came fully onto the screen\n");
        return 1;
    }
    glutMainLoopEvent();  // the reshape that comes with the mapping
    glutSetWindow(drawWindow);

    if (info)
        std::printf("renderer: %s\nversion: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                    reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    for (int i = first; i + 1 < argc; i += 2) {
        char* end = nullptr;
        const float P = std::strtof(argv[i], &end);
        if (end == argv[i] || *end != '\0' || !(P >= 0.0f) || P > PHASE_PERIOD) {
            std::fprintf(stderr, "not a phase in 0 ... 40 pi: %s\n", argv[i]);
            return 2;
        }
        if (!snapshot(P, argv[i + 1]))
            return 1;
    }
    return 0;
}
