// The arithmetic of the self-check: where the spheres must appear, from the
// projection's definition in double precision (no GL matrix is read back),
// and a read-back frame judged against it.
#include "render/check.h"

#include "render/pass.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double PI = 3.14159265358979323846;

// Rasterisation lights a pixel whose centre lies inside a triangle; the
// sphere's polygons lie inside the sphere, so a lit pixel's centre is inside
// the disc. One pixel more covers the driver's sub-pixel snapping and the
// rounding of single-precision vertices many times over.
constexpr double MARGIN = 1.0;

// The lit pixels' centroids against those of the spheres' exact images: the
// polygons reach in to cos 18 deg * cos 15 deg of the radius, so the
// centroids differ a little, in proportion to the picture's size. Over 206
// phases of one period at 480 x 480 they differed by up to 0.56 px in the
// disparity and 1.03 px in place, on llvmpipe and softpipe alike (1.08 and
// 1.95 px at 1920 x 1080). The tolerances, per 480 rows of height, are
// about twice those; the eyes 10 % too far apart would add 3.5 px.
constexpr double DISPARITY_TOLERANCE = 1.5;
constexpr double PLACE_TOLERANCE = 2.0;

struct EyeChannel {
    int channel;   // 0 red, 2 blue
    double shift;  // projection shift along x
};
// The left eye sees red, its scene shifted +0.5; the right eye blue, -0.5.
constexpr EyeChannel EYES[2] = {{0, +0.5}, {2, -0.5}};

// A position in eye space for an eye: the scene shifted sideways, the field
// 15 units in front (depth counts forward).
struct EyePoint {
    double x, y, depth;
};
EyePoint eyeSpace(Vec3 p, double shift) { return {p.x + shift, p.y, 15.0 - p.z}; }

// gluPerspective(50, width / height, 1, 100000) with the viewport the whole
// window: a unit at depth 1 spans this many pixels, as wide as high.
double pixelsPerUnit(int height) { return height / 2.0 / std::tan(25 * PI / 180); }

}  // namespace

Disc projectSphere(Vec3 p, double shift, int width, int height) {
    const EyePoint c = eyeSpace(p, shift);
    const double scale = pixelsPerUnit(height), r = SPHERE_RADIUS;
    // A point c + r n of the sphere (|n| = 1, n_d along the depth) lands
    // r (D n_xy - n_d c_xy) / (D (D + r n_d)) from the centre's image c_xy / D:
    // no farther than r |c| / (D (D - r)).
    const double reach = r * std::sqrt(c.x * c.x + c.y * c.y + c.depth * c.depth) / (c.depth * (c.depth - r));
    return {width / 2.0 + scale * c.x / c.depth, height / 2.0 - scale * c.y / c.depth, scale * reach};
}

FrameVerdict judgeFrame(const Image& frame, float T) {
    FrameVerdict v;
    const int w = frame.width, h = frame.height;
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (w < 1 || h < 1 || frame.rgb.size() != pixels * 3)
        return v;
    // For each eye, the pixels inside a sphere's image (1) and those near
    // enough to one that they may be lit (2).
    const double scale = pixelsPerUnit(h);
    std::vector<unsigned char> zone[2] = {std::vector<unsigned char>(pixels), std::vector<unsigned char>(pixels)};
    forEachSphere(T, [&](Vec3 p) {
        for (int e = 0; e < 2; ++e) {
            const Disc d = projectSphere(p, EYES[e].shift, w, h);
            if (d.x >= 0 && d.x < w && d.y >= 0 && d.y < h) {
                ++v.centres;
                const size_t at = static_cast<size_t>(d.y) * w + static_cast<size_t>(d.x);
                v.lit += frame.rgb[at * 3 + EYES[e].channel] != 0;
            }
            const EyePoint c = eyeSpace(p, EYES[e].shift);
            const double c2 = c.x * c.x + c.y * c.y + c.depth * c.depth, r2 = SPHERE_RADIUS * SPHERE_RADIUS;
            const double reach = d.radius + MARGIN;
            const int y1 = static_cast<int>(std::min(h - 1.0, std::floor(d.y + reach)));
            const int x1 = static_cast<int>(std::min(w - 1.0, std::floor(d.x + reach)));
            for (int y = static_cast<int>(std::max(0.0, std::floor(d.y - reach))); y <= y1; ++y)
                for (int x = static_cast<int>(std::max(0.0, std::floor(d.x - reach))); x <= x1; ++x) {
                    const double dx = x + 0.5 - d.x, dy = y + 0.5 - d.y, d2 = dx * dx + dy * dy;
                    // The sphere's image: where the line of sight (sx, sy, 1) passes within r of c.
                    const double sx = (x + 0.5 - w / 2.0) / scale, sy = (h / 2.0 - y - 0.5) / scale;
                    const double along = c.x * sx + c.y * sy + c.depth;
                    const bool inside = c2 - along * along / (sx * sx + sy * sy + 1) <= r2;
                    if (d2 <= reach * reach)
                        zone[e][static_cast<size_t>(y) * w + x] |= inside ? 3 : 2;
                }
        }
    });

    // Centroids, lit and expected, per eye: x, y and the count.
    double lit[2][3] = {}, expected[2][3] = {};
    for (size_t i = 0; i < pixels; ++i) {
        const double x = static_cast<double>(i % w) + 0.5, y = static_cast<double>(i / w) + 0.5;
        v.green += frame.rgb[i * 3 + 1] != 0;
        for (int e = 0; e < 2; ++e) {
            if (frame.rgb[i * 3 + EYES[e].channel]) {
                lit[e][0] += x, lit[e][1] += y, ++lit[e][2];
                v.stray += !(zone[e][i] & 2);
            }
            if (zone[e][i] & 1)
                expected[e][0] += x, expected[e][1] += y, ++expected[e][2];
        }
    }
    for (int e = 0; e < 2; ++e) {
        for (int k = 0; k < 2; ++k)
            lit[e][k] /= lit[e][2], expected[e][k] /= expected[e][2];  // no pixels: NaN, and the check fails
        const double off = std::hypot(lit[e][0] - expected[e][0], lit[e][1] - expected[e][1]);
        v.misplaced = std::isnan(off) ? INFINITY : std::max(v.misplaced, off);
    }
    v.disparity = lit[0][0] - lit[1][0];
    v.expectedDisparity = expected[0][0] - expected[1][0];
    const double size = std::max(1.0, h / 480.0);
    v.ok = v.centres > 0 && v.lit == v.centres && v.green == 0 && v.stray == 0 &&
           std::fabs(v.disparity - v.expectedDisparity) <= DISPARITY_TOLERANCE * size &&
           v.misplaced <= PLACE_TOLERANCE * size;
    return v;
}
