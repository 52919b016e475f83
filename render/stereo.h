// The ways the two viewpoints reach the two eyes: coloured glasses, halves
// of the window for viewers and 3D TVs, interleaved pixels for passive
// monitors, quad-buffered stereo for shutter glasses, or one eye alone. Pure
// decisions, no GL: which part of the window, which channels, which pixels
// and which buffer each eye's pass draws into.
#pragma once

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

// The mode's name on the command line, and the glasses or screens it is for.
struct StereoModeName {
    const char* name;
    const char* forWhat;
};
extern const StereoModeName STEREO_MODE_NAMES[STEREO_MODES];

// The mode of a name, or -1.
int stereoModeNamed(const char* name);

// Which of an eye's pixels it owns in an interleaved mode, counting rows
// from the window's top row and columns from its leftmost, both from 0.
enum PixelPattern { ALL_PIXELS, EVEN_ROWS, ODD_ROWS, EVEN_COLUMNS, ODD_COLUMNS, EVEN_SQUARES, ODD_SQUARES };

enum DrawBuffer { BACK, BACK_LEFT, BACK_RIGHT };

// What one eye's pass draws, and where.
struct EyeView {
    bool drawn;             // false: this eye is not shown in this mode
    int viewport[4];        // x, y from the window's bottom left, width, height
    double aspect;          // of the projection: the viewport's own, or the window's when squeezed
    bool channels[3];       // red, green and blue written; the light has these colours
    PixelPattern pixels;    // the window pixels this eye owns
    DrawBuffer buffer;
    double shift;           // projection shift along x: +0.5 for the left viewpoint, -0.5 for the right
};

// The view of the left eye (right = false) or the right eye in a window of
// width x height pixels. With swapEyes each eye's place shows the other
// viewpoint.
EyeView eyeView(StereoMode mode, bool swapEyes, bool right, int width, int height);

// Whether an eye's pattern takes the pixel in column x and row y, both
// counted from the window's top left.
bool ownsPixel(PixelPattern pixels, int x, int y);

// The 32 x 32 polygon stipple that lets a pass draw only the pixels of its
// pattern in a window height pixels high: GL counts stipple rows from the
// window's bottom row, the patterns count from its top.
void stipplePattern(PixelPattern pixels, int height, unsigned char pattern[128]);
