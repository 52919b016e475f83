// The check's judge, with no GL: frames made here from the expected
// pictures, right and then wrong in one way each, the tie rule of the depth
// buffer, and how far the field reaches over one period,
// against the sweep evaluated the long way.
#include "check/check.h"
#include "render/clock.h"
#include "render/scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// A frame of red-blue at T = 0, 480 x 480, as a correct stack draws it: each
// eye's channel lit in the middle of its range, black where nothing is.
struct Frame {
    Stereo stereo;
    Buffers buffers;
    EyePicture eyes[2];
    Image image{480, 480, std::vector<unsigned char>(480 * 480 * 3, 0)};
    explicit Frame(double separation = 1) {
        stereo.eyeSeparation = separation;
        for (int e = 0; e < 2; ++e) {
            eyes[e] = expectedPicture(0, eyeView(stereo, e == 1, 480, 480, 0, 0), 480, 480, buffers);
            for (size_t at = 0; at < eyes[e].kind.size(); ++at)
                image.rgb[at * 3 + 2 * e] = static_cast<unsigned char>(std::lround((eyes[e].low[at] + eyes[e].high[at]) * 127.5));
        }
    }
    FrameVerdict judge() const { return judgeFrame(&image, 0, stereo, 0, 0, buffers, nullptr); }
};

TEST(Judge, PassesTheFrameACorrectStackDraws) {
    const FrameVerdict v = Frame().judge();
    EXPECT_TRUE(v.ok && v.off == 0 && v.judged > 80000) << v.off << " of " << v.judged;
}

// An 8 x 8 tile: far below the frame's allowance, but side by side.
TEST(Judge, FailsALostTile) {
    Frame f;
    for (int y = 236; y < 244; ++y)
        std::fill_n(&f.image.rgb[(y * 480 + 236) * 3], 8 * 3, 0);
    const FrameVerdict v = f.judge();
    EXPECT_TRUE(v.off > 3 && v.off <= v.judged / 1000 && v.patch >= WRONG_PATCH && !v.ok) << v.off << " " << v.patch;
}

TEST(Judge, FailsASphereMissingFromOneEye) {
    Frame f;
    std::vector<int> surface(SWEEP_SAMPLES, 0);  // the sphere with most surface in the right eye's view
    for (size_t at = 0; at < f.eyes[1].kind.size(); ++at)
        surface[std::max<int>(0, f.eyes[1].sphere[at])] += f.eyes[1].kind[at] == SURFACE;
    const int sphere = static_cast<int>(std::max_element(surface.begin(), surface.end()) - surface.begin());
    for (size_t at = 0; at < f.eyes[1].kind.size(); ++at)
        f.image.rgb[at * 3 + 2] = f.eyes[1].sphere[at] == sphere ? 0 : f.image.rgb[at * 3 + 2];
    const FrameVerdict v = f.judge();
    EXPECT_FALSE(v.ok);
    EXPECT_EQ(v.missing, std::vector<int>{sphere});
    EXPECT_EQ(v.missingIn[sphere], 2);  // the right eye's view only
}

// Eyes 100 units apart see nothing at all: a frame that shows nothing is right.
TEST(Judge, PassesAFrameWithNothingToShow) {
    Frame f(100);
    const FrameVerdict v = f.judge();
    EXPECT_TRUE(v.judged == 0 && !v.expected && v.ok);
    f.image.rgb[0] = 1;
    EXPECT_FALSE(f.judge().ok);
}

// Values between the steps of the bits reported show that the stack draws
// with more.
TEST(Judge, HoldsAStackToTheBitsItDraws) {
    const Buffers five = {{5, 5, 5}, 24, 0};
    Image steps{64, 1, std::vector<unsigned char>(64 * 3, 0)};
    for (int i = 0; i < 64; ++i)
        steps.rgb[i * 3] = static_cast<unsigned char>((i % 32) * 255 / 31);  // 32 levels, each twice
    EXPECT_EQ(bitsBorneOut(five, steps).channelBits[0], 5);
    steps.rgb[3] = 7;
    EXPECT_TRUE(bitsBorneOut(five, steps).channelBits[0] == 8 && bitsBorneOut(five, steps).channelBits[1] == 5);
}

// Window depth is 1.00001 (100000 / 99999) times the difference in
// nearness, and a 16-bit buffer's step is 1/65535 of it: within two steps
// the stack's rounding picks either surface.
TEST(Judge, TiesWithinTwoStepsOfTheDepthBuffer) {
    const double step = 99999.0 / 100000 / 65535;
    EXPECT_TRUE(depthTie(1 / 15.0, 1 / 15.0 + 1.5 * step, 16) && depthTie(0.1, 0.1 - 1.9 * step, 16));
    EXPECT_FALSE(depthTie(1 / 15.0, 1 / 15.0 + 2.5 * step, 16) || depthTie(0.1, 0.1 - 3 * step, 16));
}

// Over one period, frame by frame: the farthest the sphere centres go, as
// the check's phases reach them, and the same sweeps evaluated the long way.
TEST(Judge, PhasesReachTheEdgesOfTheSpace) {
    Reach reach;
    float most = -1e9f, least = 1e9f, nearest = -1e9f;
    int frames = 0;
    for (float T = 0, last = -1; T > last; last = T, T = advancePhase(T), ++frames) {
        widenReach(reach, T);
        forEachSphereDirect(T, [&](Vec3 p) { most = std::max(most, p.x), least = std::min(least, p.x), nearest = std::max(nearest, p.z); });
    }
    EXPECT_EQ(frames, 8378);
    EXPECT_TRUE(reach.most[0].value == most && reach.least[0].value == least && reach.most[2].value == nearest);
    EXPECT_TRUE(std::abs(most - 6.85) < 0.005 && std::abs(least + 6.76) < 0.005 && std::abs(nearest - 6.70) < 0.005)
        << most << " " << least << " " << nearest;
}

}  // namespace
