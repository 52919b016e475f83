// The program's command-line options. GLUT reads its own (-display,
// -direct, ...), which the parse leaves it; anything else is an error.
#pragma once

#include "render/stereo.h"

#include <cstdint>
#include <string>

// -geometry [=][WxH][{+-}X{+-}Y], as X reads it.
struct Geometry {
    bool sized = false;       // a size was given
    int width = 0, height = 0;
    bool placed = false;      // a position was given
    int x = 0, y = 0;         // offsets from the left and top, or from the right and bottom
    bool fromRight = false, fromBottom = false;  // "-X", "-Y": from the screen's far edges
};

// Reads text as X geometry syntax; false when X could not read it, or it
// says nothing, or a size is not at least one pixel.
bool parseGeometry(const char* text, Geometry* out);

struct Options {
    bool help = false;          // -h, --help
    bool version = false;       // --version
    bool fullscreen = false;    // --fullscreen
    bool info = false;          // --info: the GL strings on standard output
    bool check = false;         // --check: judge fixed frames read back, then exit
    bool allModes = false;      // --stereo all: the check judges every stereo mode in turn
    Geometry geometry;          // -geometry
    bool iconic = false;        // -iconic: start minimised
    int64_t frames = 0;         // --frames N: end after N frames; 0 runs on
    int swapInterval = -1;      // --swap-interval N; -1 leaves the driver's
    Stereo stereo;              // --stereo MODE, --swap-eyes, --eye-separation UNITS, --convergence UNITS
    int samples = 0;            // --samples N: multisampling with at least N; 0 none
    bool offscreen = false;     // --offscreen: --frames or --check drawn through EGL, no window
    double phase = -1;          // --phase T: the first whole frame at T; negative: as always
    std::string results;        // --results FILE: the run's results as JSON; empty: none
    std::string saveImages;     // --save-images DIR: pictures as PNG; empty: none
};

// The most --frames takes: some 80 days at 140 frames a second.
constexpr int64_t MAX_FRAMES = 1000000000;
// The most --swap-interval takes: a frame every 1000 refreshes.
constexpr int64_t MAX_SWAP_INTERVAL = 1000;
// --samples takes 2 to 64, as many as any display offers.
constexpr int64_t MIN_SAMPLES = 2, MAX_SAMPLES = 64;
// --eye-separation takes 0 (one view for both eyes) to a hundred times the
// default; --convergence a distance the camera sees, from the near plane to
// the far one.
constexpr double MAX_EYE_SEPARATION = 100;

// The options of this run: written once, by parseOptions at start, and read
// everywhere in app/.
extern Options options;

// Reads argv[1 .. *argc - 1] into *out, and leaves in argv (and *argc) the
// program's name and the options GLUT is to read, nothing else. Returns an
// empty string, or one line that names the first argument at fault. "--"
// ends the options: what follows it is an operand, and the program takes
// none.
std::string parseOptions(int* argc, char** argv, Options* out);

// What --help prints.
std::string usage();
