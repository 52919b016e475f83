#include "render/stereo.h"

#include "field/field.h"
#include "render/clock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

// clang-format off
const StereoModeRow STEREO_MODE_TABLE[STEREO_MODES] = {
//   name                 use                                           left          right        layout             squeezed crossed left pixels   right pixels  quad
    {"red-blue",          "red/blue glasses (the default)",             RED,          BLUE,        WHOLE_WINDOW,      false, false, ALL_PIXELS,   ALL_PIXELS,   false},
    {"red-cyan",          "red/cyan glasses",                           RED,          GREEN | BLUE, WHOLE_WINDOW,     false, false, ALL_PIXELS,   ALL_PIXELS,   false},
    {"green-magenta",     "green/magenta glasses",                      GREEN,        RED | BLUE,  WHOLE_WINDOW,      false, false, ALL_PIXELS,   ALL_PIXELS,   false},
    {"yellow-blue",       "amber/blue glasses",                         RED | GREEN,  BLUE,        WHOLE_WINDOW,      false, false, ALL_PIXELS,   ALL_PIXELS,   false},
    {"side-by-side",      "free viewing (parallel), stereo viewers",    FULL_COLOUR,  FULL_COLOUR, LEFT_RIGHT,        false, false, ALL_PIXELS,   ALL_PIXELS,   false},
    {"cross-eyed",        "free viewing (crossed)",                     FULL_COLOUR,  FULL_COLOUR, LEFT_RIGHT,        false, true,  ALL_PIXELS,   ALL_PIXELS,   false},
    {"half-side-by-side", "3D TVs (side-by-side)",                      FULL_COLOUR,  FULL_COLOUR, LEFT_RIGHT,        true,  false, ALL_PIXELS,   ALL_PIXELS,   false},
    {"top-bottom",        "viewers, projectors",                        FULL_COLOUR,  FULL_COLOUR, TOP_BOTTOM_HALVES, false, false, ALL_PIXELS,   ALL_PIXELS,   false},
    {"half-top-bottom",   "3D TVs (top-and-bottom)",                    FULL_COLOUR,  FULL_COLOUR, TOP_BOTTOM_HALVES, true,  false, ALL_PIXELS,   ALL_PIXELS,   false},
    {"rows",              "passive 3D monitors (row interleaved)",      FULL_COLOUR,  FULL_COLOUR, WHOLE_WINDOW,      false, false, EVEN_ROWS,    ODD_ROWS,     false},
    {"columns",           "column-interleaved screens",                 FULL_COLOUR,  FULL_COLOUR, WHOLE_WINDOW,      false, false, EVEN_COLUMNS, ODD_COLUMNS,  false},
    {"checkerboard",      "DLP 3D",                                     FULL_COLOUR,  FULL_COLOUR, WHOLE_WINDOW,      false, false, EVEN_SQUARES, ODD_SQUARES,  false},
    {"quad",              "shutter glasses, 3D monitors (quad-buffered stereo)", FULL_COLOUR, FULL_COLOUR, WHOLE_WINDOW, false, false, ALL_PIXELS, ALL_PIXELS, true},
    {"left",              "no glasses: the left eye's view",            FULL_COLOUR,  0,           WHOLE_WINDOW,      false, false, ALL_PIXELS,   ALL_PIXELS,   false},
    {"right",             "no glasses: the right eye's view",           0,            FULL_COLOUR, WHOLE_WINDOW,      false, false, ALL_PIXELS,   ALL_PIXELS,   false},
};
// clang-format on

int stereoModeNamed(const char* name) {
    for (int mode = 0; mode < STEREO_MODES; ++mode)
        if (std::strcmp(name, STEREO_MODE_TABLE[mode].name) == 0)
            return mode;
    return -1;
}

bool interleaved(StereoMode mode) { return STEREO_MODE_TABLE[mode].leftPixels != ALL_PIXELS; }

bool quadBuffered(StereoMode mode) { return STEREO_MODE_TABLE[mode].quadBuffered; }

double aspectRatio(int width, int height) {
    return static_cast<double>(width < 1 ? 1 : width) / static_cast<double>(height < 1 ? 1 : height);
}

double focalLength() { return 1 / std::tan(FIELD_OF_VIEW / 2 * PI / 180); }

PixelPattern patternInWindow(PixelPattern onScreen, int screenX, int screenY) {
    // Moved by an odd number of rows (columns), a window's first row
    // (column) is the screen's odd one; the other eye's pattern then fits.
    static const PixelPattern other[] = {ALL_PIXELS,   ODD_ROWS,    EVEN_ROWS,  ODD_COLUMNS,
                                         EVEN_COLUMNS, ODD_SQUARES, EVEN_SQUARES};
    const bool rows = onScreen == EVEN_ROWS || onScreen == ODD_ROWS;
    const bool columns = onScreen == EVEN_COLUMNS || onScreen == ODD_COLUMNS;
    const int moved = rows ? screenY : columns ? screenX : screenX + screenY;
    return moved & 1 ? other[onScreen] : onScreen;
}

EyeView eyeView(const Stereo& stereo, bool right, int width, int height, int screenX, int screenY) {
    const StereoModeRow& mode = STEREO_MODE_TABLE[stereo.mode];
    const unsigned char channels = right ? mode.rightChannels : mode.leftChannels;
    EyeView v = {channels != 0,
                 {0, 0, width, height},
                 aspectRatio(width, height),
                 {(channels & RED) != 0, (channels & GREEN) != 0, (channels & BLUE) != 0},
                 patternInWindow(right ? mode.rightPixels : mode.leftPixels, screenX, screenY),
                 !mode.quadBuffered ? BACK : right ? BACK_RIGHT : BACK_LEFT,
                 (right != stereo.swapEyes ? -0.5 : 0.5) * stereo.eyeSeparation,
                 0.0};
    // The halves split an odd size with no gap and no overlap: the left and
    // the top half take the smaller part.
    const bool second = right != mode.crossed;  // the right or the bottom half
    if (mode.layout == LEFT_RIGHT) {
        const int leftWidth = width / 2;
        v.viewport[0] = second ? leftWidth : 0;
        v.viewport[2] = second ? width - leftWidth : leftWidth;
    } else if (mode.layout == TOP_BOTTOM_HALVES) {
        const int topHeight = height / 2;
        v.viewport[1] = second ? 0 : height - topHeight;
        v.viewport[3] = second ? height - topHeight : topHeight;
    }
    if (!mode.squeezed)
        v.aspect = aspectRatio(v.viewport[2], v.viewport[3]);
    // Off-axis convergence: each eye's frustum sheared sideways, never
    // turned, so that a point at the convergence distance lands on the same
    // pixel for both eyes, and no point gains vertical parallax. The shift
    // moves a point at depth z by f / aspect * shift / z in normalized
    // device x; the offset takes back what it moves a point at the
    // convergence distance.
    if (stereo.convergence > 0)
        v.offset = -focalLength() / v.aspect * v.shift / stereo.convergence;
    return v;
}

Parallax screenParallax(const Stereo& stereo, int width, int height, double distance) {
    Stereo unswapped = stereo;
    unswapped.swapEyes = false;
    const EyeView left = eyeView(unswapped, false, width, height, 0, 0);
    const EyeView right = eyeView(unswapped, true, width, height, 0, 0);
    // Normalized device x of a point straight ahead, spanning 2 across.
    auto across = [&](const EyeView& v) { return focalLength() / v.aspect * v.shift / distance + v.offset; };
    const double share = (across(left) - across(right)) / 2;
    const int shown = STEREO_MODE_TABLE[stereo.mode].squeezed ? width : left.viewport[2];
    return {share * shown, share};
}

DepthRange fieldDepthRange() {
    // Every frame of one period of the animation: the picture repeats after it.
    float nearestZ = 0, farthestZ = 0;
    for (float T = 0.0f, before = -1.0f; T > before; before = T, T = advancePhase(T))
        forEachSphere(T, [&](Vec3 p) {
            nearestZ = std::max(nearestZ, p.z);
            farthestZ = std::min(farthestZ, p.z);
        });
    return {FIELD_DISTANCE - nearestZ, FIELD_DISTANCE - farthestZ};
}

std::string parallaxWords(const Stereo& stereo, int width, int height) {
    static const DepthRange depth = fieldDepthRange();  // a whole period's sweep: once
    const Parallax nearest = screenParallax(stereo, width, height, depth.nearest);
    const Parallax farthest = screenParallax(stereo, width, height, depth.farthest);
    auto side = [](double pixels) { return pixels >= 0.05 ? "in front" : pixels <= -0.05 ? "behind" : "on the screen"; };
    char words[192];
    std::snprintf(words, sizeof words,
                  "parallax at %d x %d: nearest sphere %.1f px %s (%.2f%% of the width), farthest %.1f px %s (%.2f%%)",
                  width, height, std::fabs(nearest.pixels), side(nearest.pixels), std::fabs(100 * nearest.share),
                  std::fabs(farthest.pixels), side(farthest.pixels), std::fabs(100 * farthest.share));
    return words;
}

bool ownsPixel(PixelPattern pixels, int x, int y) {
    switch (pixels) {
    case EVEN_ROWS: return (y & 1) == 0;
    case ODD_ROWS: return (y & 1) == 1;
    case EVEN_COLUMNS: return (x & 1) == 0;
    case ODD_COLUMNS: return (x & 1) == 1;
    case EVEN_SQUARES: return ((x + y) & 1) == 0;
    case ODD_SQUARES: return ((x + y) & 1) == 1;
    case ALL_PIXELS: break;
    }
    return true;
}

void stipplePattern(PixelPattern pixels, int height, unsigned char pattern[128]) {
    // Bit 7 of a row's first byte is its leftmost pixel. Stipple row r is
    // every window row y from the bottom with y % 32 == r; as 32 is even,
    // such a row lies height - 1 - y from the top, of the same parity as
    // height - 1 - r.
    for (int r = 0; r < 32; ++r)
        for (int byte = 0; byte < 4; ++byte) {
            unsigned char bits = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (ownsPixel(pixels, byte * 8 + bit, height - 1 - r))
                    bits |= static_cast<unsigned char>(0x80 >> bit);
            pattern[r * 4 + byte] = bits;
        }
}
