// A frame read back, judged against the picture it must show: every pixel
// channel, and every sphere.
#include "check/check.h"

#include <algorithm>
#include <cmath>

namespace {

// How far a value read back may stray from the lit range, in levels of 255:
// the driver's own rounding of light and interpolation in single precision,
// and a step of a channel with fewer than 8 bits, which some drivers
// truncate to rather than round.
constexpr double VALUE_TOLERANCE = 3.0;

double tolerance(int bits) { return VALUE_TOLERANCE + (bits < 8 ? 255.0 / ((1 << bits) - 1) : 0.0); }

bool inViewport(const EyeView& v, int x, int y, int height) {
    const int* vp = v.viewport;
    return x >= vp[0] && x < vp[0] + vp[2] && y >= height - vp[1] - vp[3] && y < height - vp[1];
}

bool writes(const EyeView& v, int plane, int channel, int x, int y, int height) {
    return v.drawn && v.channels[channel] && (v.buffer == BACK_RIGHT) == (plane == 1) && inViewport(v, x, y, height) &&
           ownsPixel(v.pixels, x, y);
}

// The eye whose pass writes this channel of this pixel, or -1.
int owner(const EyeView* views, int plane, int channel, int x, int y, int height) {
    for (int e = 0; e < 2; ++e)
        if (writes(views[e], plane, channel, x, y, height))
            return e;
    return -1;
}

// Whether two values of a channel with this many bits are the same, as two
// stacks may widen it to 8 bits.
bool sameLevel(int a, int b, int bits) { return std::abs(a - b) <= tolerance(bits) - 1; }

}  // namespace

FrameVerdict judgeFrame(const Image* planes, float T, const Stereo& stereo, int screenX, int screenY,
                        const Buffers& buffers, const std::vector<unsigned char>* judged, Image* expectedImage,
                        Image* difference) {
    FrameVerdict v;
    const int w = planes[0].width, h = planes[0].height;
    const int planeCount = quadBuffered(stereo.mode) ? 2 : 1;
    for (int p = 0; p < planeCount; ++p)
        if (w < 1 || h < 1 || planes[p].width != w || planes[p].height != h ||
            planes[p].rgb.size() != static_cast<size_t>(w) * h * 3)
            return v;
    const EyeView views[2] = {eyeView(stereo, false, w, h, screenX, screenY),
                              eyeView(stereo, true, w, h, screenX, screenY)};
    const EyePicture pictures[2] = {expectedPicture(T, views[0], w, h, buffers),
                                    expectedPicture(T, views[1], w, h, buffers)};
    std::vector<long> sphereJudged(SWEEP_SAMPLES, 0), sphereOff(SWEEP_SAMPLES, 0);
    // The pictures, of the first plane (the left buffer of quad-buffered stereo).
    for (Image* image : {expectedImage, difference})
        if (image)
            *image = {w, h, std::vector<unsigned char>(static_cast<size_t>(w) * h * 3, 0)};
    // Centroids along x of each viewpoint's image, from its viewport's left
    // edge: lit as read, and as expected. [0] is the left viewpoint.
    double sum[2][2] = {}, count[2][2] = {};
    for (int p = 0; p < planeCount; ++p)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const size_t at = static_cast<size_t>(y) * w + x;
                if (judged && !(*judged)[at])
                    continue;
                bool lit[2] = {false, false}, expected[2] = {false, false};
                for (int c = 0; c < 3; ++c) {
                    const double value = planes[p].rgb[at * 3 + c];
                    const int e = owner(views, p, c, x, y, h);
                    const unsigned char kind = e >= 0 ? pictures[e].kind[at] : static_cast<unsigned char>(NOTHING);
                    bool wrong = false;
                    if (kind == NOTHING) {
                        wrong = value != 0;
                        v.stray += wrong;
                    } else if (kind == SURFACE) {
                        const double tol = tolerance(buffers.channelBits[c]);
                        wrong = value < pictures[e].low[at] * 255 - tol || value > pictures[e].high[at] * 255 + tol;
                        ++v.judged, v.off += wrong;
                        const int sphere = pictures[e].sphere[at];
                        ++sphereJudged[sphere], sphereOff[sphere] += wrong;
                    }
                    if (expectedImage && p == 0 && e >= 0 && pictures[e].sphere[at] >= 0)
                        expectedImage->rgb[at * 3 + c] = static_cast<unsigned char>(
                            std::lround((pictures[e].low[at] + pictures[e].high[at]) * 255 / 2));
                    if (difference && p == 0 && (wrong || (kind == EDGE && difference->rgb[at * 3] == 0)))
                        std::fill_n(&difference->rgb[at * 3], 3, wrong ? 255 : 64);
                    if (e >= 0) {
                        lit[e] = lit[e] || value != 0;
                        expected[e] = expected[e] || kind != NOTHING;
                    }
                }
                for (int e = 0; e < 2; ++e) {
                    // The left eye shows the left viewpoint unless swapped
                    // (with no separation, the shift cannot tell).
                    const int viewpoint = (e == 1) != stereo.swapEyes;
                    const double fromLeft = x + 0.5 - views[e].viewport[0];
                    sum[viewpoint][0] += lit[e] ? fromLeft : 0, count[viewpoint][0] += lit[e];
                    sum[viewpoint][1] += expected[e] ? fromLeft : 0, count[viewpoint][1] += expected[e];
                }
            }
    v.seen.assign(SWEEP_SAMPLES, false);
    for (int s = 0; s < SWEEP_SAMPLES; ++s) {
        v.seen[s] = sphereJudged[s] >= SPHERE_SEEN;
        if (v.seen[s] && 2 * sphereOff[s] > sphereJudged[s])
            v.missing.push_back(s);
    }
    v.disparity = sum[0][0] / count[0][0] - sum[1][0] / count[1][0];
    v.expectedDisparity = sum[0][1] / count[0][1] - sum[1][1] / count[1][1];
    // A few pixel channels may fall either way where a surface meets another
    // at a slant: rounding differs between drivers. A pixel that moved, a
    // light that turned or a surface that shows through is seen in many; a
    // sphere left out, in its own.
    v.ok = v.judged > 0 && v.off <= v.judged / 1000 && v.stray == 0 && v.missing.empty();
    return v;
}

long screenDifferences(const Image& drawn, const Image& screen, const Buffers& buffers, long* compared) {
    *compared = 0;
    long differ = 0;
    const size_t pixels = static_cast<size_t>(drawn.width) * static_cast<size_t>(drawn.height);
    if (screen.rgb.size() != pixels * 3 || drawn.rgb.size() != pixels * 3)
        return 0;
    for (size_t i = 0; i < pixels; ++i) {
        ++*compared;
        bool same = true;
        for (int c = 0; c < 3; ++c)  // a channel of fewer bits is widened to 8 in two ways
            same = same && sameLevel(drawn.rgb[i * 3 + c], screen.rgb[i * 3 + c], buffers.channelBits[c]);
        differ += !same;
    }
    return differ;
}

int checkSide(int screenWidth, int screenHeight, int largestViewport) {
    return std::min({CHECK_SIDE, screenWidth, screenHeight, largestViewport});
}
