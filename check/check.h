// The self-check of the GL stack (--check): whole frames drawn by the
// program's own passes at fixed phases, read back, and held pixel by pixel
// against what the field, the projection and the fixed lighting say each
// eye must show there; then the frame on the screen against the frame
// drawn. A frame rate from a stack that draws wrongly means nothing.
//
// check/picture.cpp works out the expected picture, check/judge.cpp judges
// a frame against it, check/run.cpp draws, reads back and reports.
#pragma once

#include "field/field.h"
#include "platform/outcome.h"
#include "render/image.h"
#include "render/stereo.h"

#include <string>
#include <vector>

// What the drawable's buffers hold, as GL reports them: how closely a frame
// can match what it must show.
struct Buffers {
    int channelBits[3] = {8, 8, 8};  // red, green, blue
    int depthBits = 24;
    int samples = 0;  // more than 1: multisampled, each pixel's samples a little apart
};

// What one eye's pass must put into each pixel of the window, worked out
// without GL (check/picture.cpp): every sphere's polygons (the sphere
// model's slices and stacks) projected and lit by the fixed light, the
// nearest one kept.
enum PixelKind : unsigned char {
    NOTHING,  // no sphere: the pixel stays black
    SURFACE,  // a sphere's surface, lit between low and high
    EDGE,     // next to an outline, or where two spheres meet within the depth buffer's
              // resolution: rounding decides, and it is not judged
};
struct EyePicture {
    std::vector<unsigned char> kind;
    std::vector<short> sphere;     // the sphere at each pixel, its place in the sweep; -1 none
    std::vector<float> low, high;  // lit value, 0 ... 1: a quad's two diagonals bound it
};
EyePicture expectedPicture(float T, const EyeView& view, int width, int height, const Buffers& buffers);

// Whether two surfaces at these nearnesses (1 / distance) lie closer in
// depth than a depth buffer of this many bits tells apart: which one the
// stack keeps is its rounding's choice, and such a pixel is an EDGE.
bool depthTie(double nearness, double rival, int depthBits);

// A sphere counts as seen by an eye in a frame when at least this many of
// its pixel channels are judged in that eye's view, and as missing there
// when more than half of those are off: a sphere left out of one eye's pass,
// or drawn elsewhere.
constexpr long SPHERE_SEEN = 8;

// Wrong pixels that touch each other, this many or more, fail a frame
// whatever its total: rounding leaves single pixels apart on slanted
// surfaces, a lost tile or a lost draw leaves a patch.
constexpr int WRONG_PATCH = 3;

// A frame drawn at phase T held against what it must show.
struct FrameVerdict {
    long judged = 0;  // pixel channels on a sphere's surface
    long off = 0;     // of them, not lit as the light and the surface say
    long stray = 0;   // pixel channels lit where nothing may be drawn
    int patch = 0;    // the most wrong pixels that touch each other
    bool expected = false;  // some pixel was to show a sphere
    // Each sphere, in sweep order: which eyes' views saw it (bit 0 the left
    // eye's pass, bit 1 the right's), and those where it was missing.
    std::vector<unsigned char> seen, missingIn;
    std::vector<int> missing;  // the spheres seen but not found in some view
    double disparity = 0, expectedDisparity = 0;  // left view's image right of the right view's, px
    bool ok = false;
};

// The eyes whose passes draw in this mode, bit 0 the left eye's.
unsigned char eyesDrawn(const Stereo& stereo);

// The largest group of set pixels (a w x h mask) that touch each other,
// sideways or at a corner.
int largestPatch(const std::vector<unsigned char>& mask, int w, int h);

// The channel depths a frame bears out: a stack that reports fewer bits
// than it draws with shows values between the steps of the bits reported,
// and is held to all 8.
Buffers bitsBorneOut(const Buffers& reported, const Image& frame);

// planes: the frame as drawn, one image, or for quad-buffered stereo the
// left and the right back buffer, by a drawable whose top left pixel is at
// (screenX, screenY) on the screen. judged: the pixels to judge (those on the
// screen), or null for all. With expected and difference, also the pictures
// of what each pixel must show (the middle of what it may) and of where the
// frame is wrong (white) and where it is not judged (grey).
FrameVerdict judgeFrame(const Image* planes, float T, const Stereo& stereo, int screenX, int screenY,
                        const Buffers& buffers, const std::vector<unsigned char>* judged, Image* expected = nullptr,
                        Image* difference = nullptr);

// Pixels that the screen shows otherwise than the frame drawn; *compared
// counts the pixels compared.
long screenDifferences(const Image& drawn, const Image& screen, const Buffers& buffers, long* compared);

// The size of the frames the check judges: the size asked for (-geometry),
// where the screen shows it and the driver draws it, else nothing (0 x 0);
// with none asked for, 480 x 480, or a smaller square on a smaller screen or
// driver. Below MIN_CHECK_SIDE a side cannot be judged.
constexpr int CHECK_SIDE = 480;
constexpr int MIN_CHECK_SIDE = 64;
struct FrameSize {
    int width, height;
};
FrameSize checkSize(int askedWidth, int askedHeight, int screenWidth, int screenHeight, int largestViewport);

// Where the frames go after the swap: to the screen, which is judged too; to
// a window started minimised, which shows nothing (so the check cannot say
// that they reach the screen); or nowhere, off-screen, where the frames
// drawn are all there is to judge.
enum Screen { SCREEN_SHOWS_FRAMES, SCREEN_MINIMISED, NO_SCREEN };

// One run of the check: the drawable it draws in, and where its frames go.
struct CheckRun {
    int width = 0, height = 0;     // the drawable's size
    FrameSize frames = {0, 0};     // the size the frames must have
    Screen screen = SCREEN_SHOWS_FRAMES;
    int screenX = 0, screenY = 0;  // the drawable's top left pixel on the screen
    std::string imagesDir;         // where each frame's pictures go (--save-images), or nowhere
    int samples = 0;               // each pixel's samples in the drawable
};

// What the check found in one frame: the figures of its line.
struct FrameReport {
    std::string name;     // "cloud (T = 0)"
    float T = 0;
    std::string outcome;  // "ok", "FAILED", "not judged"
    bool drawn = false;
    FrameVerdict verdict;
    long screenCompared = 0, screenDiffer = 0, screenChanged = 0;  // pixels
};
struct CheckReport {
    std::string mode;     // the stereo mode judged
    std::vector<FrameReport> frames;
    std::string verdict;  // the last line as written: "check passed", "check FAILED ...", "check not judged: ..."
    std::string reason;   // why it was not judged, or empty
    Outcome judged = SKIPPED;  // DONE passed, JUDGED_WRONG, or SKIPPED not judged
    double seconds = 0;   // from the first frame drawn to the verdict
};

// Draws the phases in the current drawable, reads each frame back before it
// is shown and judges it, and where the screen shows frames judges what it
// shows between the two eyes and after the swap (check/run.cpp); one line
// each and a verdict on standard output. Returns the outcome: DONE all
// right, JUDGED_WRONG, SKIPPED not judged (the drawable was not the check's
// size, or the screen could not show all of it), UNDELIVERED where its
// lines or its pictures could not be written.
Outcome runCheck(const CheckRun& run, const Stereo& stereo);

// Every stereo mode in turn (--stereo all), in the current drawable, which
// has quad buffers if quadOffered: one line each, "<mode>: <its verdict>",
// or "quad: not offered"; then the last line of the worst. Returns the
// worst outcome; the report of each mode judged stays for the results.
Outcome runEveryMode(const CheckRun& run, const Stereo& stereo, bool quadOffered);
const std::vector<CheckReport>& everyModeReport();

// A check that could not be run: "check not judged: <why>" on standard
// output, and the report says so. False when it could not be written.
bool sayNotJudged(const std::string& why);

// What the last runCheck found.
const CheckReport& lastCheck();
