// The ways the two viewpoints reach the two eyes: coloured glasses, halves
// of the window for viewers and 3D TVs, interleaved pixels for passive
// monitors, quad-buffered stereo for shutter glasses, or one eye alone. Pure
// decisions, no GL: which part of the window, which channels, which pixels
// and which buffer each eye's pass draws into.
#pragma once

#include "render/scene.h"

#include <string>

enum StereoMode {
    RED_BLUE,  // the default
    RED_CYAN,
    GREEN_MAGENTA,
    YELLOW_BLUE,
    SIDE_BY_SIDE,
    CROSS_EYED,
    HALF_SIDE_BY_SIDE,
    TOP_BOTTOM,
    HALF_TOP_BOTTOM,
    ROWS,
    COLUMNS,
    CHECKERBOARD,
    QUAD,
    LEFT_ONLY,
    RIGHT_ONLY,
    STEREO_MODES
};

// A run's stereo settings, as the command line gives them.
struct Stereo {
    StereoMode mode = RED_BLUE;
    bool swapEyes = false;  // each eye's place shows the other viewpoint
    double eyeSeparation = EYE_SEPARATION;  // between the viewpoints, in eye-space units
    double convergence = 0;  // distance of the plane with no parallax; 0: none, parallel cameras
};

// Colour channels, as bits.
enum : unsigned char { RED = 1, GREEN = 2, BLUE = 4, FULL_COLOUR = RED | GREEN | BLUE };

// Where each eye's picture goes.
enum Layout {
    WHOLE_WINDOW,
    LEFT_RIGHT,  // the left eye's in the left half (or the right, crossed)
    TOP_BOTTOM_HALVES,  // the left eye's in the top half
};

// Which of an eye's pixels it owns in an interleaved mode, counting rows
// from the top row and columns from the leftmost, both from 0: the screen's
// in the table of modes, where a passive monitor's polarised rows are, and
// the drawable's in an eye's view (eyeView), wherever it stands.
enum PixelPattern { ALL_PIXELS, EVEN_ROWS, ODD_ROWS, EVEN_COLUMNS, ODD_COLUMNS, EVEN_SQUARES, ODD_SQUARES };

// One stereo mode: everything the passes need to know of it.
struct StereoModeRow {
    const char* name;   // on the command line
    const char* use;    // the glasses or screens it serves
    unsigned char leftChannels, rightChannels;  // RED | GREEN | BLUE; 0: that eye is not drawn
    Layout layout;
    bool squeezed;      // halves drawn with the whole window's proportions, for a TV to stretch
    bool crossed;       // the halves exchanged: the left eye's picture on the right
    PixelPattern leftPixels, rightPixels;
    bool quadBuffered;  // each eye a back buffer of its own
};
extern const StereoModeRow STEREO_MODE_TABLE[STEREO_MODES];

// The mode of a name, or -1.
int stereoModeNamed(const char* name);

// Whether the mode gives each eye its own pixels (rows, columns, squares).
bool interleaved(StereoMode mode);
// Whether it needs left and right back buffers.
bool quadBuffered(StereoMode mode);

enum DrawBuffer { BACK, BACK_LEFT, BACK_RIGHT };

// What one eye's pass draws, and where.
struct EyeView {
    bool drawn;             // false: this eye is not drawn in this mode
    int viewport[4];        // x, y from the window's bottom left, width, height
    double aspect;          // of the projection: the viewport's own, or the window's when squeezed
    bool channels[3];       // red, green and blue written; the light has these colours
    PixelPattern pixels;    // the window pixels this eye owns, counted from the window's top left
    DrawBuffer buffer;
    double shift;           // projection shift along x: + for the left viewpoint, - for the right
    double offset;          // the frustum's shear for convergence, in normalized device x; 0 without
};

// The view of the left eye (right = false) or the right eye in a window of
// width x height pixels whose top left pixel is at (screenX, screenY) on
// the screen.
EyeView eyeView(const Stereo& stereo, bool right, int width, int height, int screenX, int screenY);

// A pattern counted from the screen's top left, counted instead from the
// top left of a window at (screenX, screenY) on the screen.
PixelPattern patternInWindow(PixelPattern onScreen, int screenX, int screenY);

// The parallax of a point straight ahead at a distance from the eyes: how
// far the left viewpoint's image lies right of the right one's (positive:
// crossed, in front of the screen; negative: behind it), in pixels of the
// picture as its display shows it (a TV stretches a squeezed half back to
// the whole width) and as a share of that picture's width. --swap-eyes
// changes where the views go, not the views.
struct Parallax {
    double pixels, share;
};
Parallax screenParallax(const Stereo& stereo, int width, int height, double distance);

// The nearest and the farthest any sphere's centre comes to the eyes over
// the whole animation, in eye-space units.
struct DepthRange {
    double nearest, farthest;
};
DepthRange fieldDepthRange();

// The parallax of the nearest and the farthest sphere, in the words --info
// and the depth keys print: "parallax at 480 x 480: nearest sphere 10.1 px
// in front (2.10% of the width), farthest 5.0 px in front (1.04%)".
std::string parallaxWords(const Stereo& stereo, int width, int height);

// Aspect ratio for the projection; a zero-sized window counts as one pixel.
double aspectRatio(int width, int height);

// The projection's scale of y over depth: 1 / tan(half the field of view).
double focalLength();

// Whether an eye's pattern takes the pixel in column x and row y, both
// counted from the window's top left.
bool ownsPixel(PixelPattern pixels, int x, int y);

// The 32 x 32 polygon stipple that lets a pass draw only the pixels of its
// pattern in a window height pixels high: GL counts stipple rows from the
// window's bottom row, the patterns count from its top.
void stipplePattern(PixelPattern pixels, int height, unsigned char pattern[128]);
