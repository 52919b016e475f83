// The arithmetic of the self-check: what every pixel of a frame must show,
// from the field, the projection and the fixed lighting in double precision
// (no GL matrix or state is read back), and a read-back frame judged
// against it.
#include "render/check.h"

#include "render/pass.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double PI = 3.14159265358979323846;

// glutSolidSphere(SPHERE_RADIUS, 10, 6): rings of 10 vertices at every 30
// degrees from the pole that faces the eye (the sphere's axis is the eye's
// z axis: nothing rotates it), unit normals pointing out.
constexpr int SLICES = 10, STACKS = 6;

// The fixed lighting: a directional light from (-15, 15, 15), material
// diffuse 0.8, and the global ambient 0.2 times the material ambient 0.2.
// The light's colour is the eye's channels, so a written channel gets
// AMBIENT + DIFFUSE * max(0, n . l).
constexpr double AMBIENT = 0.2 * 0.2, DIFFUSE = 0.8;
const double LIGHT = 1 / std::sqrt(3.0);  // each component of the unit direction, up to sign

// How far a value read back may stray from the lit range, in levels of 255:
// the driver's own rounding of light and interpolation in single precision,
// and a step of a channel with fewer than 8 bits, which some drivers
// truncate to rather than round.
constexpr double VALUE_TOLERANCE = 3.0;

// A projected vertex: window pixels from the top left, 1 / distance, lit value.
struct Projected {
    double x, y, inverseDepth, value;
};

// One eye's view of the window: the nearest sphere at each pixel centre.
struct Raster {
    int width, height;
    const EyeView* view;
    std::vector<int> sphere;  // -1: none
    std::vector<double> nearness;
    std::vector<float> low, high;
};

double clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

// Pixel centres inside triangle a b c (either winding), lit as GL lights
// each vertex and interpolates the values, perspective-correct. The nearest
// sphere wins a pixel; a sphere's own fragments (its quads cut along either
// diagonal) widen the range of values it may show there.
void fillTriangle(Raster& r, int id, const Projected& a, const Projected& b, const Projected& c) {
    const int* vp = r.view->viewport;
    const double top = r.height - vp[1] - vp[3];
    const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (area == 0)
        return;
    const int x0 = std::max(vp[0], static_cast<int>(std::floor(std::min({a.x, b.x, c.x}) - 0.5)));
    const int x1 = std::min(vp[0] + vp[2] - 1, static_cast<int>(std::ceil(std::max({a.x, b.x, c.x}))));
    const int y0 = std::max(static_cast<int>(top), static_cast<int>(std::floor(std::min({a.y, b.y, c.y}) - 0.5)));
    const int y1 = std::min(static_cast<int>(top) + vp[3] - 1, static_cast<int>(std::ceil(std::max({a.y, b.y, c.y}))));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            const double wa = ((b.x - px) * (c.y - py) - (b.y - py) * (c.x - px)) / area;
            const double wb = ((c.x - px) * (a.y - py) - (c.y - py) * (a.x - px)) / area;
            const double wc = 1 - wa - wb;
            if (wa < -1e-9 || wb < -1e-9 || wc < -1e-9)
                continue;
            const double near = wa * a.inverseDepth + wb * b.inverseDepth + wc * c.inverseDepth;
            const float value = static_cast<float>(
                (wa * a.value * a.inverseDepth + wb * b.value * b.inverseDepth + wc * c.value * c.inverseDepth) / near);
            const size_t at = static_cast<size_t>(y) * r.width + x;
            if (r.sphere[at] == id) {
                r.low[at] = std::min(r.low[at], value);
                r.high[at] = std::max(r.high[at], value);
            } else if (r.sphere[at] < 0 || near > r.nearness[at]) {
                r.sphere[at] = id;
                r.nearness[at] = near;
                r.low[at] = r.high[at] = value;
            }
        }
}

// The sphere's polygons as GL draws them: only those facing the eye.
void fillSphere(Raster& r, int id, Vec3 p) {
    const EyeView& v = *r.view;
    // Eye space of this view: the scene shifted sideways, the field 15 units
    // in front; depth counts forward.
    const double cx = p.x + v.shift, cy = p.y, cz = p.z - 15.0;
    const double f = 1 / std::tan(25 * PI / 180);
    double eye[STACKS + 1][SLICES][3];
    Projected at[STACKS + 1][SLICES];
    for (int i = 0; i <= STACKS; ++i)
        for (int j = 0; j < SLICES; ++j) {
            const double theta = PI * i / STACKS, phi = 2 * PI * j / SLICES;
            const double n[3] = {std::cos(phi) * std::sin(theta), std::sin(phi) * std::sin(theta), std::cos(theta)};
            double* e = eye[i][j];
            e[0] = cx + SPHERE_RADIUS * n[0], e[1] = cy + SPHERE_RADIUS * n[1], e[2] = cz + SPHERE_RADIUS * n[2];
            const double depth = -e[2];
            const double lit = AMBIENT + DIFFUSE * std::max(0.0, LIGHT * (-n[0] + n[1] + n[2]));
            at[i][j] = {v.viewport[0] + v.viewport[2] / 2.0 * (1 + f / v.aspect * e[0] / depth),
                        r.height - v.viewport[1] - v.viewport[3] / 2.0 * (1 + f * e[1] / depth), 1 / depth,
                        clamp01(lit)};
        }
    auto facing = [&](const double* a, const double* b, const double* c) {
        const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        const double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        const double m[3] = {(a[0] + b[0] + c[0]) / 3, (a[1] + b[1] + c[1]) / 3, (a[2] + b[2] + c[2]) / 3};
        // Outward is away from the centre; it faces the eye (the origin) when
        // it points against the line of sight to the triangle.
        const double outward = n[0] * (m[0] - cx) + n[1] * (m[1] - cy) + n[2] * (m[2] - cz);
        const double toward = n[0] * m[0] + n[1] * m[1] + n[2] * m[2];
        return (outward > 0) == (toward < 0);
    };
    auto triangle = [&](int i0, int j0, int i1, int j1, int i2, int j2) {
        if (facing(eye[i0][j0], eye[i1][j1], eye[i2][j2]))
            fillTriangle(r, id, at[i0][j0], at[i1][j1], at[i2][j2]);
    };
    for (int i = 0; i < STACKS; ++i)
        for (int j = 0; j < SLICES; ++j) {
            const int k = (j + 1) % SLICES;
            if (i == 0) {
                triangle(0, 0, 1, j, 1, k);  // the cap round the pole (one vertex, repeated)
            } else if (i == STACKS - 1) {
                triangle(STACKS, 0, i, j, i, k);
            } else {
                triangle(i, j, i + 1, j, i + 1, k), triangle(i, j, i + 1, k, i, k);
                triangle(i, j, i + 1, j, i, k), triangle(i + 1, j, i + 1, k, i, k);
            }
        }
}

bool writes(const EyeView& v, int plane, int channel, int x, int y, int height) {
    const int* vp = v.viewport;
    return v.drawn && v.channels[channel] && (v.buffer == BACK_RIGHT) == (plane == 1) && x >= vp[0] &&
           x < vp[0] + vp[2] && y >= height - vp[1] - vp[3] && y < height - vp[1] && ownsPixel(v.pixels, x, y);
}

double tolerance(int bits) { return VALUE_TOLERANCE + (bits < 8 ? 255.0 / ((1 << bits) - 1) : 0.0); }

}  // namespace

EyePicture expectedPicture(float T, const EyeView& view, int width, int height, bool multisampled) {
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    Raster r = {width, height, &view, std::vector<int>(pixels, -1), std::vector<double>(pixels, 0.0),
                std::vector<float>(pixels, 0.0f), std::vector<float>(pixels, 0.0f)};
    int id = 0;
    if (view.drawn)
        forEachSphere(T, [&](Vec3 p) { fillSphere(r, id++, p); });
    EyePicture picture = {std::vector<unsigned char>(pixels, NOTHING), r.low, r.high};
    // A pixel next to an outline, its own sphere's or another's in front
    // (or where the viewport cuts it), may go either way.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t at = static_cast<size_t>(y) * width + x;
            bool edge = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx >= 0 && nx < width && ny >= 0 && ny < height)
                        edge = edge || r.sphere[static_cast<size_t>(ny) * width + nx] != r.sphere[at];
                }
            picture.kind[at] = edge ? EDGE : r.sphere[at] >= 0 ? SURFACE : NOTHING;
        }
    if (multisampled) {
        // Each sample takes the value of its own polygon, so a pixel may show
        // any value of its neighbourhood; all of a surface pixel's
        // neighbours lie on the same sphere.
        for (int y = 1; y + 1 < height; ++y)
            for (int x = 1; x + 1 < width; ++x) {
                const size_t at = static_cast<size_t>(y) * width + x;
                if (picture.kind[at] != SURFACE)
                    continue;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const size_t near = static_cast<size_t>(y + dy) * width + x + dx;
                        picture.low[at] = std::min(picture.low[at], r.low[near]);
                        picture.high[at] = std::max(picture.high[at], r.high[near]);
                    }
            }
    }
    return picture;
}

FrameVerdict judgeFrame(const Image* planes, float T, StereoMode mode, bool swapEyes, const int channelBits[3],
                        const std::vector<unsigned char>* judged, bool multisampled) {
    FrameVerdict v;
    const int w = planes[0].width, h = planes[0].height;
    const int planeCount = mode == QUAD ? 2 : 1;
    for (int p = 0; p < planeCount; ++p)
        if (w < 1 || h < 1 || planes[p].width != w || planes[p].height != h ||
            planes[p].rgb.size() != static_cast<size_t>(w) * h * 3)
            return v;
    const EyeView views[2] = {eyeView(mode, swapEyes, false, w, h), eyeView(mode, swapEyes, true, w, h)};
    const EyePicture pictures[2] = {expectedPicture(T, views[0], w, h, multisampled),
                                    expectedPicture(T, views[1], w, h, multisampled)};
    // Centroids along x of each viewpoint's image, from its viewport's left
    // edge: lit as read, and as expected. [0] is the left viewpoint.
    double sum[2][2] = {}, count[2][2] = {};
    for (int p = 0; p < planeCount; ++p)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const size_t at = static_cast<size_t>(y) * w + x;
                if (judged && !(*judged)[at])
                    continue;
                bool lit[2] = {false, false}, shown[2] = {false, false};
                for (int c = 0; c < 3; ++c) {
                    const double value = planes[p].rgb[at * 3 + c];
                    int e = 0;
                    while (e < 2 && !writes(views[e], p, c, x, y, h))
                        ++e;
                    const unsigned char kind = e < 2 ? pictures[e].kind[at] : static_cast<unsigned char>(NOTHING);
                    if (kind == NOTHING) {
                        v.stray += value != 0;
                    } else if (kind == SURFACE) {
                        ++v.judged;
                        const double tol = tolerance(channelBits[c]);
                        v.off += value < pictures[e].low[at] * 255 - tol || value > pictures[e].high[at] * 255 + tol;
                    }
                    if (e < 2) {
                        lit[e] = lit[e] || value != 0;
                        shown[e] = shown[e] || kind != NOTHING;
                    }
                }
                for (int e = 0; e < 2; ++e) {
                    const int viewpoint = views[e].shift > 0 ? 0 : 1;
                    const double fromLeft = x + 0.5 - views[e].viewport[0];
                    sum[viewpoint][0] += lit[e] ? fromLeft : 0, count[viewpoint][0] += lit[e];
                    sum[viewpoint][1] += shown[e] ? fromLeft : 0, count[viewpoint][1] += shown[e];
                }
            }
    v.disparity = sum[0][0] / count[0][0] - sum[1][0] / count[1][0];
    v.expectedDisparity = sum[0][1] / count[0][1] - sum[1][1] / count[1][1];
    // A few pixel channels may fall either way where a surface meets another
    // at a slant: rounding differs between drivers. A pixel that moved, a
    // light that turned or a surface that shows through is seen in many.
    v.ok = v.judged > 0 && v.off <= v.judged / 1000 && v.stray == 0;
    return v;
}

long shownDifferences(const Image& drawn, const Image& screen, const std::vector<unsigned char>& shown,
                      const int channelBits[3], long* compared) {
    *compared = 0;
    long differ = 0;
    const size_t pixels = static_cast<size_t>(drawn.width) * static_cast<size_t>(drawn.height);
    if (screen.rgb.size() != pixels * 3 || drawn.rgb.size() != pixels * 3 || shown.size() != pixels)
        return 0;
    for (size_t i = 0; i < pixels; ++i) {
        if (!shown[i])
            continue;
        ++*compared;
        bool same = true;
        for (int c = 0; c < 3; ++c)  // a channel of fewer bits is widened to 8 in two ways
            same = same && std::fabs(drawn.rgb[i * 3 + c] - screen.rgb[i * 3 + c]) <= tolerance(channelBits[c]) - 1;
        differ += !same;
    }
    return differ;
}

int checkSide(int screenWidth, int screenHeight, int largestViewport) {
    return std::min({CHECK_SIDE, screenWidth, screenHeight, largestViewport});
}
