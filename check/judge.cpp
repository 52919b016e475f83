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

// One frame's judgement under way: what each eye must show, and what was
// found so far.
struct Judging {
    const Image* planes;
    const Stereo& stereo;
    const Buffers& buffers;
    const std::vector<unsigned char>* judged;
    EyeView views[2];
    EyePicture pictures[2];
    std::vector<long> sphereJudged[2], sphereOff[2];
    std::vector<unsigned char> wrong;  // each pixel: some channel of it wrong
    // Centroids along x of each viewpoint's image, from its viewport's left
    // edge: lit as read, and as expected. [0] is the left viewpoint.
    double sum[2][2] = {}, count[2][2] = {};
    Image *expectedImage, *difference;  // of the first plane (the left buffer of quad-buffered stereo)
};

// One pixel channel against what its eye's pass must put there.
void judgeChannel(Judging& j, FrameVerdict& v, int p, int c, int x, int y, bool* lit, bool* expected) {
    const int w = j.planes[0].width, h = j.planes[0].height;
    const size_t at = static_cast<size_t>(y) * w + x;
    const double value = j.planes[p].rgb[at * 3 + c];
    const int e = owner(j.views, p, c, x, y, h);
    const EyePicture* picture = e >= 0 ? &j.pictures[e] : nullptr;
    const unsigned char kind = picture ? picture->kind[at] : static_cast<unsigned char>(NOTHING);
    bool wrong = false;
    if (kind == NOTHING) {
        wrong = value != 0;
        v.stray += wrong;
    } else if (kind == SURFACE) {
        const double tol = tolerance(j.buffers.channelBits[c]);
        wrong = value < picture->low[at] * 255 - tol || value > picture->high[at] * 255 + tol;
        ++v.judged, v.off += wrong;
        ++j.sphereJudged[e][picture->sphere[at]], j.sphereOff[e][picture->sphere[at]] += wrong;
    }
    v.expected = v.expected || kind != NOTHING;
    j.wrong[at] = j.wrong[at] || wrong;
    if (j.expectedImage && p == 0 && picture && picture->sphere[at] >= 0)
        j.expectedImage->rgb[at * 3 + c] =
            static_cast<unsigned char>(std::lround((picture->low[at] + picture->high[at]) * 255 / 2));
    if (j.difference && p == 0 && (wrong || (kind == EDGE && j.difference->rgb[at * 3] == 0)))
        std::fill_n(&j.difference->rgb[at * 3], 3, wrong ? 255 : 64);
    if (e >= 0) {
        lit[e] = lit[e] || value != 0;
        expected[e] = expected[e] || kind != NOTHING;
    }
}

void judgePixel(Judging& j, FrameVerdict& v, int p, int x, int y) {
    bool lit[2] = {false, false}, expected[2] = {false, false};
    for (int c = 0; c < 3; ++c)
        judgeChannel(j, v, p, c, x, y, lit, expected);
    for (int e = 0; e < 2; ++e) {
        // The left eye shows the left viewpoint unless swapped (with no
        // separation, the shift cannot tell).
        const int viewpoint = (e == 1) != j.stereo.swapEyes;
        const double fromLeft = x + 0.5 - j.views[e].viewport[0];
        j.sum[viewpoint][0] += lit[e] ? fromLeft : 0, j.count[viewpoint][0] += lit[e];
        j.sum[viewpoint][1] += expected[e] ? fromLeft : 0, j.count[viewpoint][1] += expected[e];
    }
}

// Each sphere in each eye's view: seen there, and found or missing.
void judgeSpheres(const Judging& j, FrameVerdict& v) {
    v.seen.assign(SWEEP_SAMPLES, 0);
    v.missingIn.assign(SWEEP_SAMPLES, 0);
    for (int s = 0; s < SWEEP_SAMPLES; ++s) {
        for (int e = 0; e < 2; ++e)
            if (j.sphereJudged[e][s] >= SPHERE_SEEN) {
                v.seen[s] |= 1 << e;
                v.missingIn[s] |= (2 * j.sphereOff[e][s] > j.sphereJudged[e][s]) << e;
            }
        if (v.missingIn[s])
            v.missing.push_back(s);
    }
}

}  // namespace

unsigned char eyesDrawn(const Stereo& stereo) {
    return static_cast<unsigned char>(eyeView(stereo, false, 2, 2, 0, 0).drawn |
                                      eyeView(stereo, true, 2, 2, 0, 0).drawn << 1);
}

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
    const size_t pixels = static_cast<size_t>(w) * h;
    Judging j = {planes, stereo, buffers, judged,
                 {eyeView(stereo, false, w, h, screenX, screenY), eyeView(stereo, true, w, h, screenX, screenY)},
                 {}, {}, {}, std::vector<unsigned char>(pixels, 0), {}, {}, expectedImage, difference};
    for (int e = 0; e < 2; ++e) {
        j.pictures[e] = expectedPicture(T, j.views[e], w, h, buffers);
        j.sphereJudged[e].assign(SWEEP_SAMPLES, 0), j.sphereOff[e].assign(SWEEP_SAMPLES, 0);
    }
    for (Image* image : {expectedImage, difference})
        if (image)
            *image = {w, h, std::vector<unsigned char>(pixels * 3, 0)};
    for (int p = 0; p < planeCount; ++p)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (!judged || (*judged)[static_cast<size_t>(y) * w + x])
                    judgePixel(j, v, p, x, y);
    judgeSpheres(j, v);
    v.patch = largestPatch(j.wrong, w, h);
    v.disparity = j.sum[0][0] / j.count[0][0] - j.sum[1][0] / j.count[1][0];
    v.expectedDisparity = j.sum[0][1] / j.count[0][1] - j.sum[1][1] / j.count[1][1];
    // A few pixel channels may fall either way where a surface meets another
    // at a slant: rounding differs between drivers. A pixel that moved, a
    // light that turned or a surface that shows through is seen in many; a
    // lost tile in a patch; a sphere left out, in its own. A frame that was
    // to show nothing, and shows nothing, is right.
    v.ok = v.off <= v.judged / 1000 && v.stray == 0 && v.patch < WRONG_PATCH && v.missing.empty();
    return v;
}

int largestPatch(const std::vector<unsigned char>& mask, int w, int h) {
    std::vector<unsigned char> counted(mask.size(), 0);
    std::vector<size_t> stack;
    int largest = 0;
    for (size_t first = 0; first < mask.size(); ++first) {
        if (!mask[first] || counted[first])
            continue;
        int size = 0;
        stack.assign(1, first), counted[first] = 1;
        while (!stack.empty()) {
            const size_t at = stack.back();
            stack.pop_back(), ++size;
            const int x = static_cast<int>(at % w), y = static_cast<int>(at / w);
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const size_t next = static_cast<size_t>(y + dy) * w + (x + dx);
                    if (x + dx >= 0 && x + dx < w && y + dy >= 0 && y + dy < h && mask[next] && !counted[next])
                        stack.push_back(next), counted[next] = 1;
                }
        }
        largest = std::max(largest, size);
    }
    return largest;
}

Buffers bitsBorneOut(const Buffers& reported, const Image& frame) {
    Buffers borne = reported;
    for (int c = 0; c < 3; ++c) {
        if (reported.channelBits[c] >= 8)
            continue;
        bool used[256] = {};
        int levels = 0;
        for (size_t i = c; i < frame.rgb.size(); i += 3)
            levels += !used[frame.rgb[i]], used[frame.rgb[i]] = true;
        if (levels > 1 << reported.channelBits[c])
            borne.channelBits[c] = 8;
    }
    return borne;
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

FrameSize checkSize(int askedWidth, int askedHeight, int screenWidth, int screenHeight, int largestViewport) {
    if (askedWidth > 0 && askedHeight > 0)
        return askedWidth <= std::min(screenWidth, largestViewport) && askedHeight <= std::min(screenHeight, largestViewport)
                   ? FrameSize{askedWidth, askedHeight}
                   : FrameSize{0, 0};
    const int side = std::min({CHECK_SIDE, screenWidth, screenHeight, largestViewport});
    return {side, side};
}
