// What each pixel of a frame must show, from the field, the projection and
// the fixed lighting in double precision (no GL matrix or state is read
// back): every sphere's polygons rasterised as GL rasterises them.
#include "check/check.h"

#include "render/scene.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double PI = 3.14159265358979323846;

// The sphere model: rings of SPHERE_SLICES vertices at every 180 /
// SPHERE_STACKS degrees from the pole that faces the eye (the sphere's axis
// is the eye's z axis: nothing rotates it), unit normals pointing out.
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
    // Eye space of this view: the scene shifted sideways, the field in
    // front; depth counts forward. A convergence's shear then moves the
    // projected picture sideways (offset).
    const double cx = p.x + v.shift, cy = p.y, cz = p.z - FIELD_DISTANCE;
    const double f = 1 / std::tan(FIELD_OF_VIEW / 2 * PI / 180);
    static const Direction light = lightDirection();
    double eye[STACKS + 1][SLICES][3];
    Projected at[STACKS + 1][SLICES];
    for (int i = 0; i <= STACKS; ++i)
        for (int j = 0; j < SLICES; ++j) {
            const double theta = PI * i / STACKS, phi = 2 * PI * j / SLICES;
            const double n[3] = {std::cos(phi) * std::sin(theta), std::sin(phi) * std::sin(theta), std::cos(theta)};
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

