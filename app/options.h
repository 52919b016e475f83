// The program's own command-line options. GLUT reads its own (-geometry,
// -display, ...) from the same arguments; anything else is ignored.
#pragma once

#include <cstdint>
#include <string>

struct Options {
    bool help = false;          // -h, --help
    bool version = false;       // --version
    bool fullscreen = false;    // --fullscreen
    bool info = false;          // --info: the GL strings on standard output
    bool check = false;         // --check: judge fixed frames read back, then exit
    bool geometrySize = false;  // GLUT's -geometry was given with a size
    int64_t frames = 0;         // --frames N: end after N frames; 0 runs on
};

// The most --frames takes: some 80 days at 140 frames a second.
constexpr int64_t MAX_FRAMES = 1000000000;

// The options of this run, read by start-up.
extern Options options;

// Reads argv[1 .. argc - 1] into *out. Returns an empty string, or one line
// that names the option at fault.
std::string parseOptions(int argc, char* const* argv, Options* out);

// What --help prints.
extern const char USAGE[];
