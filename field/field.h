// The sphere field: where the 361 spheres of one pass stand for an animation
// phase T. Pure arithmetic, no GL, so it can be built and tested on its own.
//
// For every sample t of one sweep around a full turn, a point on the conical
// spiral is blended with a point on the alternate shape (the toroidal coil or
// the random cloud) by a morph weight that follows T, then tumbled by three
// rotations whose angles also follow T, and scaled.
#pragma once

#include <cstdint>

struct Vec3 {
    float x, y, z;
};

// Pi to double precision: the camera's angle, the sphere model's.
constexpr double PI = 3.14159265358979323846;

// Constants as the field stores them. The multiples of pi are these stored
// values, not the exact ones: the full turn is slightly below 2 pi.
constexpr double PI_APPROX = 3.14159265358979;
constexpr double FULL_TURN = 6.28318530717958;
constexpr double INV_FULL_TURN = 0.1591549430918955;
constexpr double SWEEP_STEP = 0.017453292519943278;  // one degree
constexpr double PHASE_SCALE = 0.5;
constexpr double TUMBLE_AMPLITUDE = 5.0;
constexpr double TUMBLE_RATE_1 = 1.4;
constexpr double TUMBLE_RATE_2 = 1.2;
constexpr double TUMBLE_RATE_3 = 1.6;
constexpr float FIELD_SCALE = 4.0f;
constexpr double SPIRAL_HEIGHT_RATE = 0.07;
constexpr float COIL_WINDING = 14.0f;
constexpr double COIL_OFFSET = 3.0;
constexpr float COIL_SIZE = 0.4f;        // x and z
constexpr double COIL_SIZE_Y = 0.4;      // y
constexpr uint32_t CLOUD_RANGE = 6280;
constexpr float CLOUD_UNIT = 0.001f;

// Samples per sweep. Accumulating t in single precision gives 361, not 360:
// the last one lands just below the full turn.
constexpr int SWEEP_SAMPLES = 361;

// Scatter generator: a linear congruential generator with one 32-bit state.
void scatterSeed(uint32_t seed);
int scatterNext();          // 0 ... 32767
float randomAngle();        // 0 ... 6.279 radians, in steps of 0.001

// The shape curves, for a sweep parameter t in radians.
Vec3 spiralPoint(float t);  // conical spiral, two turns, radius 0 -> 1
Vec3 coilPoint(float t);    // ring of radius 1.2 with 14 windings
Vec3 cloudPoint(float t);   // three draws from the scatter generator

// What one sweep derives from T, computed once per sweep.
struct SweepFrame {
    float weight;        // morph weight w of the alternate shape
    float complement;    // 1 - w, the spiral's weight
    int epoch;           // shape epoch k
    bool coil;           // alternate shape: coil when k is odd, else cloud
    double cos1, sin1;   // tumble about y
    double cos2, sin2;   // tumble about x
    double cos3, sin3;   // tumble about z
};

// Derives the frame values for phase T and reseeds the scatter generator to 0,
// so every sweep draws the same cloud.
SweepFrame sweepFrame(float T);

// Blends the spiral's point a with the alternate shape's point b by the morph
// weight, tumbles the result about y, then x, then z, and scales it. Every
// product is formed in double precision and every stored value rounded to
// single. Inline, so that the block loop below vectorises it.
inline Vec3 blendAndTumble(double ax, double ay, double az, double bx, double by, double bz, const SweepFrame& f) {
    const double wc = f.complement, w = f.weight;
    const float x = static_cast<float>(wc * ax + w * bx);
    const float y = static_cast<float>(wc * ay + w * by);
    const float z = static_cast<float>(wc * az + w * bz);
    const float x1 = static_cast<float>(x * f.cos1 - z * f.sin1);
    const float z1 = static_cast<float>(x * f.sin1 + z * f.cos1);
    const float y2 = static_cast<float>(y * f.cos2 - z1 * f.sin2);
    const float z2 = static_cast<float>(z1 * f.cos2 + y * f.sin2);
    const float x3 = static_cast<float>(x1 * f.cos3 - y2 * f.sin3);
    const float y3 = static_cast<float>(x1 * f.sin3 + y2 * f.cos3);
    return {FIELD_SCALE * x3, FIELD_SCALE * y3, FIELD_SCALE * z2};
}

// One sample, evaluated directly: both curves at t, then blend and tumble.
Vec3 placeSphere(float t, const SweepFrame& frame);

// The next sweep parameter after t, and whether the sweep goes on to it.
// The sum is compared unrounded with the full turn and stored rounded.
inline bool nextSample(float& t) {
    double sum = static_cast<double>(t) + SWEEP_STEP;
    t = static_cast<float>(sum);
    return sum < FULL_TURN;
}

// The curve points of every sample. The sequence of t never changes and the
// generator is reseeded for every sweep, so sample i meets the same spiral,
// coil and cloud point in every sweep: they are computed once.
//
// They are kept a coordinate to a column and widened to double (exactly: they
// are floats) so that a block of samples goes through blend and tumble lane by
// lane, which the compiler turns into vector arithmetic with the same
// roundings. The columns run on past the last sample to whole blocks.
constexpr int SWEEP_BLOCK = 16;
constexpr int TABLE_SAMPLES = (SWEEP_SAMPLES + SWEEP_BLOCK - 1) / SWEEP_BLOCK * SWEEP_BLOCK;

struct CurveColumns {
    double x[TABLE_SAMPLES];
    double y[TABLE_SAMPLES];
    double z[TABLE_SAMPLES];
};

struct SampleTable {
    CurveColumns spiral;
    CurveColumns coil;
    CurveColumns cloud;
};
const SampleTable& sampleTable();

// Positions of one block of samples, blendAndTumble lane by lane.
struct SphereBlock {
    float x[SWEEP_BLOCK];
    float y[SWEEP_BLOCK];
    float z[SWEEP_BLOCK];
};
void blendAndTumbleBlock(const CurveColumns& spiral, const CurveColumns& alternate, int first,
                         const SweepFrame& frame, SphereBlock& out);

// The sweep: calls draw(position) for the 361 positions of phase T in order.
// A block of positions at a time lives on the stack; nothing is allocated.
template <typename Draw>
void forEachSphere(float T, Draw&& draw) {
    const SampleTable& table = sampleTable();
    const SweepFrame frame = sweepFrame(T);
    const CurveColumns& alternate = frame.coil ? table.coil : table.cloud;
    SphereBlock block;
    for (int first = 0; first < SWEEP_SAMPLES; first += SWEEP_BLOCK) {
        blendAndTumbleBlock(table.spiral, alternate, first, frame, block);
        const int count = SWEEP_SAMPLES - first < SWEEP_BLOCK ? SWEEP_SAMPLES - first : SWEEP_BLOCK;
        for (int j = 0; j < count; ++j)
            draw(Vec3{block.x[j], block.y[j], block.z[j]});
    }
}

// The same sweep evaluated the long way, every curve at every sample. It is
// the reference the table-driven sweep must match bit for bit.
template <typename Draw>
void forEachSphereDirect(float T, Draw&& draw) {
    const SweepFrame frame = sweepFrame(T);
    float t = 0.0f;
    do {
        draw(placeSphere(t, frame));
    } while (nextSample(t));
}

// How far the sphere centres reach along x, y and z, and at which phase
// each extreme was reached: the sweeps of every phase passed to widenReach.
struct Extreme {
    float value, T;
};
struct Reach {
    Extreme least[3] = {{3.4e38f, 0}, {3.4e38f, 0}, {3.4e38f, 0}};
    Extreme most[3] = {{-3.4e38f, 0}, {-3.4e38f, 0}, {-3.4e38f, 0}};
};
void widenReach(Reach& reach, float T);
