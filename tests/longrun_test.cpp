// Days of running, driven through the pure pass decisions: the phase never
// freezes and the pass counter never overflows.
#include "field/field.h"
#include "render/pass.h"
#include "render/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

std::vector<Vec3> sweep(float T) {
    std::vector<Vec3> out;
    out.reserve(SWEEP_SAMPLES);
    forEachSphere(T, [&](Vec3 p) { out.push_back(p); });
    return out;
}

double largestMove(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
    double worst = 0;
    for (size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, std::hypot(static_cast<double>(a[i].x - b[i].x), static_cast<double>(a[i].y - b[i].y),
                                           static_cast<double>(a[i].z - b[i].z)));
    return worst;
}

// The second sphere of the sweep is enough to see whether the placement
// moved; evaluated directly, it follows the first one's draws.
Vec3 probe(float T) {
    SweepFrame f = sweepFrame(T);
    float t = 0.0f;
    placeSphere(t, f);
    nextSample(t);
    return placeSphere(t, f);
}

TEST(LongRun, TwentyMillionFramesNeverFreezeAndWrapSmoothly) {
    const long long frames = 20000000;
    int64_t count = 0;
    float phase = 0.0f;
    Vec3 last = probe(phase);
    long long stalls = 0, wraps = 0;
    double worstWrapRatio = 0;
    for (long long frame = 0; frame < frames; ++frame) {
        // The two passes of one display call: blue completes, red begins.
        for (int pass = 0; pass < 2; ++pass) {
            Eye eye = eyeForPass(++count);
            if (!eye.advancesPhase)
                continue;
            float before = phase;
            phase = advancePhase(phase);
            ASSERT_GE(phase, 0.0f) << frame;
            ASSERT_LE(phase, PHASE_PERIOD + 0.015) << frame;
            if (phase < before) {
                // At a wrap the picture moves by no more than an ordinary step.
                ++wraps;
                double wrapMove = largestMove(sweep(before), sweep(phase));
                double ordinary = std::max(largestMove(sweep(advancePhase(phase)), sweep(phase)),
                                           largestMove(sweep(before - PHASE_STEP), sweep(before)));
                worstWrapRatio = std::max(worstWrapRatio, wrapMove / ordinary);
                ASSERT_LE(wrapMove, 1.5 * ordinary) << "wrap at frame " << frame;
            }
        }
        Vec3 now = probe(phase);
        if (now.x == last.x && now.y == last.y && now.z == last.z)
            ++stalls;
        last = now;
    }
    EXPECT_EQ(stalls, 0);
    EXPECT_EQ(count, 2 * frames);
    // One period is 40 pi / 0.015, about 8378 frames.
    EXPECT_NEAR(static_cast<double>(wraps), frames * 0.015 / PHASE_PERIOD, 2.0);
    std::printf("%lld wraps; worst wrap move / ordinary step: %.3f\n", wraps, worstWrapRatio);
}

TEST(LongRun, WrapKeepsThePictureOfThePeriod) {
    // Just past 40 pi the field is where it was just past 0.
    float wrapped = advancePhase(static_cast<float>(PHASE_PERIOD - 0.005));
    EXPECT_NEAR(wrapped, 0.010, 1e-5);
    EXPECT_LT(largestMove(sweep(wrapped), sweep(static_cast<float>(PHASE_PERIOD - 0.005 + 0.015))), 1e-3);
}

TEST(LongRun, EyesAndReportsCarryOnAcrossTwoToThe31Passes) {
    const int64_t edge = int64_t{1} << 31;
    RateReport r;
    int64_t lastFrames = 0;
    int reports = 0;
    for (int64_t count = edge - 1024; count <= edge + 1024; ++count) {
        Eye eye = eyeForPass(count);
        ASSERT_EQ(eye.blue, count % 2 != 0) << count;
        ASSERT_EQ(eye.advancesPhase, !eye.blue);
        if (makeReport(count, 0, 100, &r)) {
            ASSERT_EQ(count % 128, 0);
            ASSERT_EQ(r.frames, count / 2);
            ASSERT_GT(r.frames, lastFrames);
            lastFrames = r.frames;
            ++reports;
        }
    }
    EXPECT_EQ(reports, 2048 / 128 + 1);

    // Far beyond 32 bits the figure is still right and positive.
    ASSERT_TRUE(makeReport(int64_t{1} << 33, 0, 100000, &r));
    char text[96];
    size_t n = formatReport(r, text, sizeof text);
    EXPECT_EQ(std::string(text, n), "\r4294967296 frames in 100000s (42949.6730fps)");
}

}  // namespace
