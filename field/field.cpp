#include "field/field.h"

#include <cmath>

static uint32_t scatterState = 0;

void scatterSeed(uint32_t seed) { scatterState = seed; }

int scatterNext() {
    scatterState = scatterState * 214013u + 2531011u;  // wraps modulo 2^32
    return static_cast<int>((scatterState >> 16) & 0x7FFFu);
}

float randomAngle() {
    return static_cast<float>(static_cast<uint32_t>(scatterNext()) % CLOUD_RANGE) * CLOUD_UNIT;
}

Vec3 spiralPoint(float t) {
    double td = t;
    return {static_cast<float>(td * std::sin(2.0 * td) * INV_FULL_TURN),
            static_cast<float>(SPIRAL_HEIGHT_RATE * td),
            static_cast<float>(td * std::cos(2.0 * td) * INV_FULL_TURN)};
}

Vec3 coilPoint(float t) {
    double td = t;
    double winding = static_cast<double>(COIL_WINDING) * td;
    double radius = std::sin(winding) + COIL_OFFSET;
    return {static_cast<float>(static_cast<double>(COIL_SIZE) * radius * std::cos(td)),
            static_cast<float>(COIL_SIZE_Y * std::cos(winding)),
            static_cast<float>(static_cast<double>(COIL_SIZE) * radius * std::sin(td))};
}

Vec3 cloudPoint(float t) {
    // Three draws, in this order: x, y, z.
    double td = t;
    float x = static_cast<float>(std::sin(randomAngle() + td));
    float y = static_cast<float>(std::cos(randomAngle() + td));
    float z = static_cast<float>(std::cos(randomAngle() + td));
    return {x, y, z};
}

SweepFrame sweepFrame(float T) {
    SweepFrame f;
    double s = static_cast<double>(T) * PHASE_SCALE;
    f.weight = static_cast<float>((std::cos(s) + 1.0) * 0.5);
    f.complement = 1.0f - f.weight;
    f.epoch = static_cast<int>((s + PI_APPROX) * INV_FULL_TURN);  // s >= 0: floor
    f.coil = (f.epoch & 1) != 0;
    double a1 = TUMBLE_AMPLITUDE * std::sin(TUMBLE_RATE_1 * T);
    double a2 = TUMBLE_AMPLITUDE * std::sin(TUMBLE_RATE_2 * T);
    double a3 = TUMBLE_AMPLITUDE * std::sin(TUMBLE_RATE_3 * T);
    f.cos1 = std::cos(a1);
    f.sin1 = std::sin(a1);
    f.cos2 = std::cos(a2);
    f.sin2 = std::sin(a2);
    f.cos3 = std::cos(a3);
    f.sin3 = std::sin(a3);
    scatterSeed(0);
    return f;
}

Vec3 placeSphere(float t, const SweepFrame& frame) {
    // Both shapes are always evaluated, so the cloud consumes its three draws
    // per sample whenever it is the alternate, whatever the weight.
    Vec3 a = spiralPoint(t);
    Vec3 b = frame.coil ? coilPoint(t) : cloudPoint(t);
    return blendAndTumble(a.x, a.y, a.z, b.x, b.y, b.z, frame);
}

void blendAndTumbleBlock(const CurveColumns& a, const CurveColumns& b, int first, const SweepFrame& f,
                         SphereBlock& out) {
    for (int j = first; j < first + SWEEP_BLOCK; ++j) {
        const Vec3 p = blendAndTumble(a.x[j], a.y[j], a.z[j], b.x[j], b.y[j], b.z[j], f);
        out.x[j - first] = p.x;
        out.y[j - first] = p.y;
        out.z[j - first] = p.z;
    }
}

static void store(CurveColumns& columns, int i, Vec3 p) {
    columns.x[i] = p.x;
    columns.y[i] = p.y;
    columns.z[i] = p.z;
}

static SampleTable buildSampleTable() {
    SampleTable table{};  // the padding past the last sample stays zero
    scatterSeed(0);
    float t = 0.0f;
    int i = 0;
    do {
        store(table.spiral, i, spiralPoint(t));
        store(table.coil, i, coilPoint(t));
        store(table.cloud, i, cloudPoint(t));
        ++i;
    } while (nextSample(t) && i < SWEEP_SAMPLES);
    scatterSeed(0);
    return table;
}

const SampleTable& sampleTable() {
    static const SampleTable table = buildSampleTable();
    return table;
}

void widenReach(Reach& reach, float T) {
    forEachSphere(T, [&](Vec3 p) {
        const float at[3] = {p.x, p.y, p.z};
        for (int axis = 0; axis < 3; ++axis) {
            if (at[axis] < reach.least[axis].value)
                reach.least[axis] = {at[axis], T};
            if (at[axis] > reach.most[axis].value)
                reach.most[axis] = {at[axis], T};
        }
    });
}
