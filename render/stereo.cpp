#include "render/stereo.h"

#include "render/pass.h"

#include <cstring>

const StereoModeName STEREO_MODE_NAMES[STEREO_MODES] = {
    {"red-blue", "red/blue glasses (the default)"},
    {"red-cyan", "red/cyan glasses"},
    {"green-magenta", "green/magenta glasses"},
    {"yellow-blue", "amber/blue glasses"},
    {"side-by-side", "free viewing (parallel), stereo viewers"},
    {"cross-eyed", "free viewing (crossed)"},
    {"half-side-by-side", "3D TVs (side-by-side)"},
    {"top-bottom", "viewers, projectors"},
    {"half-top-bottom", "3D TVs (top-and-bottom)"},
    {"rows", "passive 3D monitors (row interleaved)"},
    {"columns", "column-interleaved screens"},
    {"checkerboard", "DLP 3D"},
    {"quad", "shutter glasses, 3D monitors (quad-buffered stereo)"},
    {"left", "no glasses: the left eye's view"},
    {"right", "no glasses: the right eye's view"},
};

int stereoModeNamed(const char* name) {
    for (int mode = 0; mode < STEREO_MODES; ++mode)
        if (std::strcmp(name, STEREO_MODE_NAMES[mode].name) == 0)
            return mode;
    return -1;
}

EyeView eyeView(StereoMode mode, bool swapEyes, bool right, int width, int height) {
    EyeView v = {true, {0, 0, width, height}, aspectRatio(width, height), {true, true, true}, ALL_PIXELS, BACK,
                 (right != swapEyes) ? -0.5 : +0.5};
    auto channels = [&v](bool red, bool green, bool blue) {
        v.channels[0] = red, v.channels[1] = green, v.channels[2] = blue;
    };
    // The halves split an odd size with no gap and no overlap: the left and
    // the top half take the smaller part.
    const int leftWidth = width / 2, topHeight = height / 2;
    auto sideBySide = [&](bool inRightHalf, bool squeezed) {
        v.viewport[0] = inRightHalf ? leftWidth : 0;
        v.viewport[2] = inRightHalf ? width - leftWidth : leftWidth;
        v.aspect = squeezed ? aspectRatio(width, height) : aspectRatio(v.viewport[2], height);
    };
    auto topBottom = [&](bool inBottomHalf, bool squeezed) {
        v.viewport[1] = inBottomHalf ? 0 : height - topHeight;
        v.viewport[3] = inBottomHalf ? height - topHeight : topHeight;
        v.aspect = squeezed ? aspectRatio(width, height) : aspectRatio(width, v.viewport[3]);
    };
    switch (mode) {
    case RED_BLUE: right ? channels(false, false, true) : channels(true, false, false); break;
    case RED_CYAN: right ? channels(false, true, true) : channels(true, false, false); break;
    case GREEN_MAGENTA: right ? channels(true, false, true) : channels(false, true, false); break;
    case YELLOW_BLUE: right ? channels(false, false, true) : channels(true, true, false); break;
    case SIDE_BY_SIDE: sideBySide(right, false); break;
    case CROSS_EYED: sideBySide(!right, false); break;
    case HALF_SIDE_BY_SIDE: sideBySide(right, true); break;
    case TOP_BOTTOM: topBottom(right, false); break;
    case HALF_TOP_BOTTOM: topBottom(right, true); break;
    case ROWS: v.pixels = right ? ODD_ROWS : EVEN_ROWS; break;
    case COLUMNS: v.pixels = right ? ODD_COLUMNS : EVEN_COLUMNS; break;
    case CHECKERBOARD: v.pixels = right ? ODD_SQUARES : EVEN_SQUARES; break;
    case QUAD: v.buffer = right ? BACK_RIGHT : BACK_LEFT; break;
    case LEFT_ONLY: v.drawn = !right; break;
    case RIGHT_ONLY: v.drawn = right; break;
    case STEREO_MODES: break;
    }
    return v;
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
