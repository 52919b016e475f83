// Renders frames of the program for the documentation: its own start-up and
// passes, at chosen phases, taken from the screen and written as binary PPM
// files.
//
//   quendrix_snapshot [--info] [OPTION ...] PHASE FILE [PHASE FILE ...]
//
// --info prints the GL renderer and version first; the options before the
// first phase are the program's, each a word of its own, with its value
// after an equals sign (--stereo=MODE, --swap-eyes, --eye-separation=UNITS,
// --convergence=UNITS). Needs an X display.
#include "app/options.h"
#include "app/start.h"
#include "app/window.h"
#include "check/check.h"
#include "platform/gl.h"
#include "platform/platform.h"
#include "render/clock.h"
#include "render/pass.h"

#include <GL/freeglut_ext.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

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

// One whole frame at phase P, drawn as the program draws it and shown; the
// screen must show all of it as it was drawn.
static bool snapshot(float P, const char* path) {
    Image screen = {winWidth, winHeight, {}}, drawn = screen;
    if (!drawFrameAt(P, options.stereo, winWidth, winHeight, winX, winY)) {
        std::fprintf(stderr, "phase %.9g cannot be drawn exactly\n", P);
        return false;
    }
    drawn.rgb.resize(static_cast<size_t>(winWidth) * winHeight * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, winWidth, winHeight, GL_RGB, GL_UNSIGNED_BYTE, drawn.rgb.data());
    swapBuffers();
    glFinish();
    screen.rgb.resize(static_cast<size_t>(winWidth) * winHeight * 3);
    if (readScreen(winWidth, winHeight, screen.rgb.data()) != SCREEN_READ) {
        std::fprintf(stderr, "the window is not all on the screen\n");
        return false;
    }
    // GL gives the bottom row first.
    const size_t row = static_cast<size_t>(winWidth) * 3;
    for (int y = 0; y < winHeight; ++y)
        if (!std::equal(&screen.rgb[y * row], &screen.rgb[y * row] + row, &drawn.rgb[(winHeight - 1 - y) * row])) {
            std::fprintf(stderr, "phase %.9g: the window does not show the frame drawn\n", P);
            return false;
        }
    if (!writePpm(path, screen)) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return false;
    }
    return true;
}

int main(int argc, char** argv) {
    int first = 1;
    const bool info = argc > first && std::strcmp(argv[first], "--info") == 0;
    first += info;
    // The program's options, up to the first phase (which has no sign:
    // an option's value is joined to its name).
    int last = first;
    while (last < argc && argv[last][0] == '-')
        ++last;
    std::vector<char*> ours = {argv[0]};
    ours.insert(ours.end(), argv + first, argv + last);
    int count = static_cast<int>(ours.size());
    ours.push_back(nullptr);
    const std::string error = parseOptions(&count, ours.data(), &options);
    if (!error.empty() || count > 1 || quadBuffered(options.stereo.mode)) {
        std::fprintf(stderr, "not options to take a picture with: %s\n",
                     error.empty() ? "quad-buffered stereo, or GLUT's" : error.c_str());
        return 2;
    }
    first = last;
    if ((argc - first) % 2 != 0) {
        std::fprintf(stderr, "usage: %s [--info] [--OPTION[=VALUE] ...] PHASE FILE [PHASE FILE ...]\n", argv[0]);
        return 2;
    }

    init(1, argv);  // our arguments are not GLUT's
    glutIdleFunc(nullptr);  // no frames but ours
    glutSetWindow(topWindow);
    glutVisibilityFunc(visibility);
    // The picture is read from the screen, so all of it must be on it: with
    // no window manager it would sit at (-1, -1), a pixel off the edge.
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
    adoptWindowSize();  // and where the window went

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
