#include "app/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

Options options;

const char USAGE[] =
    "Usage: quendrix [OPTION]...\n"
    "361 lit spheres morphing from a random cloud into a conical spiral, into a\n"
    "toroidal coil and back, drawn as a red/blue anaglyph (red filter on the left\n"
    "eye). Any key ends it.\n"
    "\n"
    "  --fullscreen         cover the whole screen and hide the pointer\n"
    "  --frames N           end after N frames with a timed result line\n"
    "  --info               print the GL renderer, version and vendor on standard output\n"
    "  --check              draw fixed frames, check every sphere is where it must be,\n"
    "                       print the result and exit (0 right, 1 wrong)\n"
    "  -geometry WxH+X+Y    window size and position (default 480x480)\n"
    "  -display NAME        the X display (default $DISPLAY)\n"
    "  -h, --help           print this help and exit\n"
    "  --version            print the version and exit\n"
    "\n"
    "Every 64 frames standard error shows \"<frames> frames in <s>s (<fps>fps)\",\n"
    "the average since the first frame. See quendrix(1).\n";

static std::string badFrames(const char* value) {
    std::string message = "--frames needs a whole number of frames from 1 to " + std::to_string(MAX_FRAMES);
    if (value)
        message += std::string(", not '") + value + "'";
    return message;
}

// "WxH", "WxH+X+Y", "=WxH-X-Y": a geometry that sets the size. A position
// alone ("+X+Y") leaves GLUT's size unset, and the default must stand.
static bool setsSize(const char* geometry) {
    const char* p = geometry + (*geometry == '=');
    if (*p < '0' || *p > '9')
        return false;
    while (*p >= '0' && *p <= '9')
        ++p;
    return (*p == 'x' || *p == 'X') && p[1] >= '0' && p[1] <= '9';
}

static bool readFrames(const char* text, int64_t* frames) {
    if (!text || *text < '0' || *text > '9')
        return false;  // no sign, no blanks
    char* end = nullptr;
    errno = 0;
    long long n = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || n < 1 || n > MAX_FRAMES)
        return false;
    *frames = n;
    return true;
}

std::string parseOptions(int argc, char* const* argv, Options* out) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "-h") || !std::strcmp(arg, "--help")) {
            out->help = true;
        } else if (!std::strcmp(arg, "--version")) {
            out->version = true;
        } else if (!std::strcmp(arg, "--fullscreen")) {
            out->fullscreen = true;
        } else if (!std::strcmp(arg, "--info")) {
            out->info = true;
        } else if (!std::strcmp(arg, "--check")) {
            out->check = true;
        } else if (!std::strcmp(arg, "--frames") || !std::strncmp(arg, "--frames=", 9)) {
            const char* value = arg[8] == '=' ? arg + 9 : (i + 1 < argc ? argv[++i] : nullptr);
            if (!readFrames(value, &out->frames))
                return badFrames(value);
        } else if (!std::strcmp(arg, "-geometry") || !std::strcmp(arg, "-display")) {
            // GLUT's, with a value that is not ours to read; GLUT reads it.
            if (++i < argc && arg[1] == 'g')
                out->geometrySize = setsSize(argv[i]);
        }
    }
    return std::string();
}
