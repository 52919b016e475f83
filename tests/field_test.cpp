// The sphere field against its worked numbers, and against an evaluation
// written straight from the formulas in double precision.
#include "field/field.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr double PI = 3.14159265358979323846;

std::vector<Vec3> sweep(float T) {
    std::vector<Vec3> out;
    forEachSphere(T, [&](Vec3 p) { out.push_back(p); });
    return out;
}

std::vector<Vec3> sweepDirect(float T) {
    std::vector<Vec3> out;
    forEachSphereDirect(T, [&](Vec3 p) { out.push_back(p); });
    return out;
}

// --- An independent evaluation: every formula in double precision, rounded
// to single wherever a value is stored (t, T, w, curve points, rotations).
struct Lcg {
    uint32_t state = 0;
    int next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFF);
    }
    float angle() { return static_cast<float>(next() % 6280) * 0.001f; }
};

std::vector<Vec3> reference(float T) {
    double s = static_cast<double>(T) * 0.5;
    float w = static_cast<float>((std::cos(s) + 1.0) * 0.5);
    float wc = 1.0f - w;
    long k = static_cast<long>((s + 3.14159265358979) * 0.1591549430918955);
    double a1 = 5.0 * std::sin(1.4 * T), a2 = 5.0 * std::sin(1.2 * T), a3 = 5.0 * std::sin(1.6 * T);
    Lcg lcg;
    std::vector<Vec3> out;
    float t = 0.0f;
    for (;;) {
        double td = t;
        float ax = static_cast<float>(td * std::sin(2 * td) / (2 * PI));
        float ay = static_cast<float>(0.07 * td);
        float az = static_cast<float>(td * std::cos(2 * td) / (2 * PI));
        float bx, by, bz;
        if (k % 2 == 1) {
            double r = std::sin(14.0 * td) + 3.0;
            bx = static_cast<float>(0.4 * r * std::cos(td));
            by = static_cast<float>(0.4 * std::cos(14.0 * td));
            bz = static_cast<float>(0.4 * r * std::sin(td));
        } else {
            bx = static_cast<float>(std::sin(lcg.angle() + td));
            by = static_cast<float>(std::cos(lcg.angle() + td));
            bz = static_cast<float>(std::cos(lcg.angle() + td));
        }
        float x = static_cast<float>(static_cast<double>(wc) * ax + static_cast<double>(w) * bx);
        float y = static_cast<float>(static_cast<double>(wc) * ay + static_cast<double>(w) * by);
        float z = static_cast<float>(static_cast<double>(wc) * az + static_cast<double>(w) * bz);
        float x1 = static_cast<float>(x * std::cos(a1) - z * std::sin(a1));
        float z1 = static_cast<float>(x * std::sin(a1) + z * std::cos(a1));
        float y2 = static_cast<float>(y * std::cos(a2) - z1 * std::sin(a2));
        float z2 = static_cast<float>(z1 * std::cos(a2) + y * std::sin(a2));
        float x3 = static_cast<float>(x1 * std::cos(a3) - y2 * std::sin(a3));
        float y3 = static_cast<float>(x1 * std::sin(a3) + y2 * std::cos(a3));
        out.push_back({4 * x3, 4 * y3, 4 * z2});
        double sum = static_cast<double>(t) + PI / 180.0;
        t = static_cast<float>(sum);
        if (!(sum < 6.28318530717958))
            break;
    }
    return out;
}

// Phases across every regime: pure cloud, spiral, coil, the epoch changes,
// and far out.
std::vector<float> manyPhases() {
    std::vector<float> phases = {0.0f, 0.015f, 1.0f, static_cast<float>(2 * PI), static_cast<float>(2 * PI) + 0.05f,
                                 static_cast<float>(4 * PI), static_cast<float>(6 * PI), static_cast<float>(8 * PI),
                                 50.0f, 100.0f, 125.66f, 1000.123f};
    for (int i = 0; i < 200; ++i)
        phases.push_back(0.015f * static_cast<float>(i * 43));  // ~0 .. 128, uneven steps
    return phases;
}

TEST(ScatterGenerator, GivesTheKnownSequenceAndAngles) {
    scatterSeed(0);
    for (int expected : {38, 7719, 21238, 2437, 8855, 11797})
        EXPECT_EQ(scatterNext(), expected);
    scatterSeed(0);
    EXPECT_NEAR(randomAngle(), 0.038, 1e-6);
    EXPECT_NEAR(randomAngle(), 1.439, 1e-6);
    EXPECT_NEAR(randomAngle(), 2.398, 1e-6);
    // The state wraps modulo 2^32 and the result stays in 0 ... 32767.
    scatterSeed(0xFFFFFFFFu);
    for (int i = 0; i < 1000; ++i) {
        int r = scatterNext();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
    }
}

TEST(ShapeCurves, MatchTheWorkedExamples) {
    Vec3 s = spiralPoint(static_cast<float>(PI / 2));
    EXPECT_NEAR(s.x, 0.0, 1e-6);
    EXPECT_NEAR(s.y, 0.1100, 5e-5);
    EXPECT_NEAR(s.z, -0.2500, 5e-5);

    Vec3 c = coilPoint(0.0f);
    EXPECT_NEAR(c.x, 1.2, 1e-6);
    EXPECT_NEAR(c.y, 0.4, 1e-6);
    EXPECT_NEAR(c.z, 0.0, 1e-6);

    scatterSeed(0);
    Vec3 r = cloudPoint(0.0f);
    EXPECT_NEAR(r.x, 0.0380, 5e-5);
    EXPECT_NEAR(r.y, 0.1314, 5e-5);
    EXPECT_NEAR(r.z, -0.7360, 5e-5);
    // The cloud draws three numbers per point; the next point continues.
    Vec3 r2 = cloudPoint(0.0f);
    EXPECT_NEAR(r2.x, std::sin(2.437), 1e-6);
}

TEST(Sweep, HasExactly361SamplesEndingJustBelowTheFullTurn) {
    float t = 0.0f;
    int samples = 1;
    float last = t;
    while (nextSample(t)) {
        last = t;
        ++samples;
    }
    EXPECT_EQ(samples, SWEEP_SAMPLES);
    EXPECT_NEAR(last, 6.2831626, 1e-6);
    EXPECT_LT(static_cast<double>(last), 6.28318530717958);

    for (float T : manyPhases()) {
        EXPECT_EQ(sweep(T).size(), 361u) << T;
        EXPECT_EQ(sweepDirect(T).size(), 361u) << T;
    }
}

TEST(Sweep, AtPhaseZeroIsThePureUntumbledCloud) {
    SweepFrame f = sweepFrame(0.0f);
    EXPECT_EQ(f.weight, 1.0f);
    EXPECT_EQ(f.epoch, 0);
    EXPECT_FALSE(f.coil);
    std::vector<Vec3> p = sweep(0.0f);
    EXPECT_NEAR(p[0].x, 0.1520, 1e-4);
    EXPECT_NEAR(p[0].y, 0.5257, 1e-4);
    EXPECT_NEAR(p[0].z, -2.9442, 1e-4);
    const double t = 0.0174533;
    EXPECT_NEAR(p[1].x, 4 * std::sin(2.437 + t), 1e-4);
    EXPECT_NEAR(p[1].y, 4 * std::cos(2.575 + t), 1e-4);
    EXPECT_NEAR(p[1].z, 4 * std::cos(5.517 + t), 1e-4);
}

TEST(Sweep, FollowsTheMorphCycle) {
    struct Row { double T; float weight; int epoch; bool coil; };
    // Just either side of the changes of alternate shape, and at the pure shapes.
    const Row rows[] = {{0, 1, 0, false},          {2 * PI - 0.01, 0, 0, false}, {2 * PI + 0.01, 0, 1, true},
                        {4 * PI, 1, 1, true},      {6 * PI - 0.01, 0, 1, true},  {6 * PI + 0.01, 0, 2, false},
                        {8 * PI, 1, 2, false}};
    for (const Row& r : rows) {
        SweepFrame f = sweepFrame(static_cast<float>(r.T));
        EXPECT_NEAR(f.weight, r.weight, 1e-4) << r.T;
        EXPECT_EQ(f.complement, 1.0f - f.weight);
        EXPECT_EQ(f.epoch, r.epoch) << r.T;
        EXPECT_EQ(f.coil, r.coil) << r.T;
    }
}

TEST(Sweep, AtTwoPiIsTheTumbledSpiralAlone) {
    const float T = static_cast<float>(2 * PI);
    const double a1 = 5 * std::sin(1.4 * T), a2 = 5 * std::sin(1.2 * T), a3 = 5 * std::sin(1.6 * T);
    std::vector<Vec3> p = sweep(T);
    float t = 0.0f;
    for (size_t i = 0; i < p.size(); ++i, nextSample(t)) {
        Vec3 s = spiralPoint(t);
        double x1 = s.x * std::cos(a1) - s.z * std::sin(a1), z1 = s.x * std::sin(a1) + s.z * std::cos(a1);
        double y2 = s.y * std::cos(a2) - z1 * std::sin(a2), z2 = z1 * std::cos(a2) + s.y * std::sin(a2);
        double x3 = x1 * std::cos(a3) - y2 * std::sin(a3), y3 = x1 * std::sin(a3) + y2 * std::cos(a3);
        ASSERT_NEAR(p[i].x, 4 * x3, 1e-5) << i;
        ASSERT_NEAR(p[i].y, 4 * y3, 1e-5) << i;
        ASSERT_NEAR(p[i].z, 4 * z2, 1e-5) << i;
    }
}

TEST(Sweep, CoilClosesOnItselfAtFullWeight) {
    std::vector<Vec3> p = sweep(static_cast<float>(4 * PI));
    ASSERT_EQ(p.size(), 361u);
    double d = std::hypot(p[0].x - p[360].x, p[0].y - p[360].y, p[0].z - p[360].z);
    EXPECT_LT(d, 1e-3);
    EXPECT_GT(std::hypot(p[0].x - p[1].x, p[0].y - p[1].y, p[0].z - p[1].z), 0.05);
}

TEST(Sweep, SamePhaseGivesIdenticalPositionsWhateverRanBetween) {
    std::vector<Vec3> a = sweep(3.3f);
    sweep(0.0f);
    sweepDirect(17.0f);
    scatterSeed(12345);
    scatterNext();
    std::vector<Vec3> b = sweep(3.3f);
    std::vector<Vec3> c = sweepDirect(3.3f);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].x, b[i].x);
        EXPECT_EQ(a[i].y, b[i].y);
        EXPECT_EQ(a[i].z, b[i].z);
    }
    EXPECT_EQ(0, std::memcmp(a.data(), c.data(), a.size() * sizeof(Vec3)));
}

TEST(Sweep, TableSweepEqualsDirectEvaluationBitForBit) {
    for (float T : manyPhases()) {
        std::vector<Vec3> fast = sweep(T), direct = sweepDirect(T);
        ASSERT_EQ(fast.size(), direct.size());
        for (size_t i = 0; i < fast.size(); ++i) {
            ASSERT_EQ(fast[i].x, direct[i].x) << "T " << T << " sample " << i;
            ASSERT_EQ(fast[i].y, direct[i].y) << "T " << T << " sample " << i;
            ASSERT_EQ(fast[i].z, direct[i].z) << "T " << T << " sample " << i;
        }
    }
}

TEST(Sweep, StaysWithin2e5OfTheDoublePrecisionFormulas) {
    double worst = 0;
    for (float T : manyPhases()) {
        std::vector<Vec3> got = sweep(T), want = reference(T);
        ASSERT_EQ(got.size(), want.size()) << T;
        for (size_t i = 0; i < got.size(); ++i) {
            worst = std::max({worst, static_cast<double>(std::fabs(got[i].x - want[i].x)), static_cast<double>(std::fabs(got[i].y - want[i].y)),
                              static_cast<double>(std::fabs(got[i].z - want[i].z))});
        }
    }
    EXPECT_LE(worst, 2e-5);
}

}  // namespace
