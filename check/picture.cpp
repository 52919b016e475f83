// What each pixel of a frame must show, from the field, the projection and
// the fixed lighting in double precision (no GL matrix or state is read
// back): every sphere's polygons rasterised as GL rasterises them.
#include "check/check.h"

#include "render/scene.h"

#include <algorithm>
#include <cmath>

namespace {

// The sphere model: rings of SPHERE_SLICES vertices at every 180 /
// SPHERE_STACKS degrees from the pole that faces the eye (the sphere's axis
// is the eye's z axis: nothing rotates it), unit normals pointing out, each
// where sphereVertex (render/scene.h) puts it.
constexpr int SLICES = SPHERE_SLICES, STACKS = SPHERE_STACKS;

// The fixed lighting (render/scene.h): a written channel gets the ambient
// term plus the diffuse one, max(0, n . l) for the light's direction l.
constexpr double AMBIENT = GLOBAL_AMBIENT * MATERIAL_AMBIENT;

// The light's direction, a unit vector towards it.
struct Direction {
    double x, y, z;
};
Direction lightDirection() {
    const double length = std::hypot(LIGHT_POSITION[0], LIGHT_POSITION[1], LIGHT_POSITION[2]);
    return {LIGHT_POSITION[0] / length, LIGHT_POSITION[1] / length, LIGHT_POSITION[2] / length};
}

// A projected vertex: window pixels from the top left, 1 / distance, lit value.
struct Projected {
    double x, y, inverseDepth, value;
};

// One eye's view of the window: the nearest sphere at each pixel centre,
// and how near the nearest other sphere there comes. It reaches a pixel
// past the eye's viewport on every side, the window's edges too, so that a
// pixel on the viewport's edge is told an outline by its neighbour there.
struct Raster {
    int width, height;  // the window's
    const EyeView* view;
    size_t at(int x, int y) const { return static_cast<size_t>(y + 1) * (width + 2) + (x + 1); }
    std::vector<short> sphere;  // -1: none
    std::vector<double> nearness, rival;
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
    const int x0 = std::max(vp[0] - 1, static_cast<int>(std::floor(std::min({a.x, b.x, c.x}) - 0.5)));
    const int x1 = std::min(vp[0] + vp[2], static_cast<int>(std::ceil(std::max({a.x, b.x, c.x}))));
    const int y0 = std::max(static_cast<int>(top) - 1, static_cast<int>(std::floor(std::min({a.y, b.y, c.y}) - 0.5)));
    const int y1 = std::min(static_cast<int>(top) + vp[3], static_cast<int>(std::ceil(std::max({a.y, b.y, c.y}))));
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
            const size_t at = r.at(x, y);
            if (r.sphere[at] == id) {
                r.low[at] = std::min(r.low[at], value);
                r.high[at] = std::max(r.high[at], value);
                r.nearness[at] = std::max(r.nearness[at], near);
            } else if (r.sphere[at] < 0 || near > r.nearness[at]) {
                r.rival[at] = r.sphere[at] < 0 ? 0 : r.nearness[at];
                r.sphere[at] = static_cast<short>(id);
                r.nearness[at] = near;
                r.low[at] = r.high[at] = value;
            } else {
                r.rival[at] = std::max(r.rival[at], near);
            }
        }
}

// Multisampled, a pixel's samples lie anywhere in it, and each takes the
// value of the polygon it falls in, worked out at the pixel's centre even
// where the centre lies outside the polygon, or at the sample: a pixel that
// a triangle of its own sphere touches may show what that triangle's
// interpolation gives anywhere in the pixel, its centre and corners bounding
// that.
void widenTriangle(Raster& r, int id, const Projected& a, const Projected& b, const Projected& c) {
    const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (area == 0)
        return;
    const int x0 = std::max(-1, static_cast<int>(std::floor(std::min({a.x, b.x, c.x}))) - 1);
    const int x1 = std::min(r.width, static_cast<int>(std::ceil(std::max({a.x, b.x, c.x}))));
    const int y0 = std::max(-1, static_cast<int>(std::floor(std::min({a.y, b.y, c.y}))) - 1);
    const int y1 = std::min(r.height, static_cast<int>(std::ceil(std::max({a.y, b.y, c.y}))));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const size_t at = r.at(x, y);
            if (r.sphere[at] != id)
                continue;
            bool touches = false;
            double low = 1, high = 0;
            const double points[5][2] = {{x + 0.5, y + 0.5}, {x + 0.0, y + 0.0}, {x + 1.0, y + 0.0},
                                         {x + 0.0, y + 1.0}, {x + 1.0, y + 1.0}};
            for (const auto& pt : points) {
                const double wa = ((b.x - pt[0]) * (c.y - pt[1]) - (b.y - pt[1]) * (c.x - pt[0])) / area;
                const double wb = ((c.x - pt[0]) * (a.y - pt[1]) - (c.y - pt[1]) * (a.x - pt[0])) / area;
                const double wc = 1 - wa - wb;
                touches = touches || (wa >= 0 && wb >= 0 && wc >= 0);
                const double near = wa * a.inverseDepth + wb * b.inverseDepth + wc * c.inverseDepth;
                const double value = clamp01(
                    (wa * a.value * a.inverseDepth + wb * b.value * b.inverseDepth + wc * c.value * c.inverseDepth) / near);
                low = std::min(low, value);
                high = std::max(high, value);
            }
            for (const Projected* v : {&a, &b, &c})
                touches = touches || (v->x >= x && v->x <= x + 1 && v->y >= y && v->y <= y + 1);
            if (touches) {
                r.low[at] = std::min(r.low[at], static_cast<float>(low));
                r.high[at] = std::max(r.high[at], static_cast<float>(high));
            }
        }
}

// The sphere's polygons as GL draws them: only those facing the eye. With
// widen, they only widen the range of values the pixels they won may show.
void fillSphere(Raster& r, int id, Vec3 p, bool widen) {
    const EyeView& v = *r.view;
    // Eye space of this view: the scene shifted sideways, the field in
    // front; depth counts forward. A convergence's shear then moves the
    // projected picture sideways (offset).
    const double cx = p.x + v.shift, cy = p.y, cz = p.z - FIELD_DISTANCE;
    const double f = focalLength();
    static const Direction light = lightDirection();
    double eye[STACKS + 1][SLICES][3];
    Projected at[STACKS + 1][SLICES];
    for (int i = 0; i <= STACKS; ++i)
        for (int j = 0; j < SLICES; ++j) {
            float unit[3];
            sphereVertex(i, j, unit);
            const double n[3] = {unit[0], unit[1], unit[2]};
            double* e = eye[i][j];
            e[0] = cx + SPHERE_RADIUS * n[0], e[1] = cy + SPHERE_RADIUS * n[1], e[2] = cz + SPHERE_RADIUS * n[2];
            const double depth = -e[2];
            const double lit =
                AMBIENT + MATERIAL_DIFFUSE * std::max(0.0, light.x * n[0] + light.y * n[1] + light.z * n[2]);
            at[i][j] = {v.viewport[0] + v.viewport[2] / 2.0 * (1 + f / v.aspect * e[0] / depth + v.offset),
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
            (widen ? widenTriangle : fillTriangle)(r, id, at[i0][j0], at[i1][j1], at[i2][j2]);
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

}  // namespace

// Window depth is FAR / (FAR - NEAR) * (1 - NEAR / distance); two steps of
// the buffer, and the single precision the depth is interpolated in.
bool depthTie(double nearness, double rival, int depthBits) {
    const double gap = FAR_PLANE * NEAR_PLANE / (FAR_PLANE - NEAR_PLANE) * std::fabs(nearness - rival);
    const double steps = depthBits >= 32 ? 4294967295.0 : static_cast<double>((1ull << depthBits) - 1);
    return gap < 2 / steps + 1e-6;
}

EyePicture expectedPicture(float T, const EyeView& view, int width, int height, const Buffers& buffers) {
    const size_t padded = static_cast<size_t>(width + 2) * static_cast<size_t>(height + 2);
    Raster r = {width, height, &view, std::vector<short>(padded, -1), std::vector<double>(padded, 0.0),
                std::vector<double>(padded, 0.0), std::vector<float>(padded, 0.0f), std::vector<float>(padded, 0.0f)};
    for (bool widen : {false, true}) {
        int id = 0;
        if (view.drawn && (!widen || buffers.samples > 1))
            forEachSphere(T, [&](Vec3 p) { fillSphere(r, id++, p, widen); });
    }
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    EyePicture picture = {std::vector<unsigned char>(pixels, NOTHING), std::vector<short>(pixels, -1),
                          std::vector<float>(pixels, 0.0f), std::vector<float>(pixels, 0.0f)};
    // A pixel next to an outline, its own sphere's or another's in front,
    // may go either way; so may one where two spheres cut each other, closer
    // in depth than the buffer resolves.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t at = r.at(x, y), out = static_cast<size_t>(y) * width + x;
            const int sphere = r.sphere[at];
            bool edge = sphere >= 0 && r.rival[at] > 0 && depthTie(r.nearness[at], r.rival[at], buffers.depthBits);
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    edge = edge || r.sphere[r.at(x + dx, y + dy)] != sphere;
            picture.kind[out] = edge ? EDGE : sphere >= 0 ? SURFACE : NOTHING;
            picture.sphere[out] = static_cast<short>(sphere);
            picture.low[out] = r.low[at], picture.high[out] = r.high[at];
        }
    return picture;
}
