// The check's judge, with no GL: frames made here from the expected
// pictures (the faults of tests/broken_gl.cpp: Check/BrokenStack), the tie
// rule of the depth buffer, and how far the field reaches over one period,
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

// Eyes 100 units apart see nothing at all: a frame that shows nothing is right.
TEST(Judge, PassesAFrameWithNothingToShow) {
    Frame f(100);
    const FrameVerdict v = f.judge();
    EXPECT_TRUE(v.judged == 0 && !v.expected && v.ok);
    f.image.rgb[0] = 1;
    EXPECT_FALSE(f.judge().ok);
}

// Where two spheres lie closer in depth than two steps of the depth buffer,
// the stack's rounding picks one: such a pixel is not judged. With 7 bits
// two steps are 2/127 of window depth, here 1 - 1 / depth (the far plane
// far off). Against rays cast to the true spheres, pixels inside one
// sphere's outline (its polygons lie within 0.02 units of the sphere): a
// rival behind it surely within two steps leaves the pixel unjudged, one
// surely beyond them does not; and some rivals lie between one step and two.
TEST(Judge, TiesWithinTwoStepsOfTheDepthBuffer) {
    const EyeView view = eyeView(Stereo(), false, 480, 480, 0, 0);
    const EyePicture pic = expectedPicture(0, view, 480, 480, {{8, 8, 8}, 7, 0});
    std::vector<Vec3> c;  // the centres in eye space
    forEachSphere(0, [&](Vec3 p) { c.push_back({p.x + static_cast<float>(view.shift), p.y, p.z - FIELD_DISTANCE}); });
    const double f = 1 / std::tan(FIELD_OF_VIEW / 2 * 3.14159265358979 / 180), r2 = SPHERE_RADIUS * SPHERE_RADIUS, step = 1 / 127.0;
    int between = 0;
    for (int at = 481; at < 480 * 479; ++at) {
        const int s = pic.sphere[at];
        bool unsure = s < 0 || at % 480 == 0 || at % 480 == 479;
        for (int d : {-481, -480, -479, -1, 1, 479, 480, 481})
            unsure = unsure || pic.sphere[at + d] != s;
        // The ray (dx, dy, -1) through the pixel's centre, and the depths of the spheres it surely meets.
        const double dx = ((at % 480 + 0.5) / 240 - 1 - view.offset) * view.aspect / f, dy = (1 - (at / 480 + 0.5) / 240) / f;
        double depth[2] = {1e9, 1e9};
        int nearest = -1;
        for (size_t i = 0; i < c.size() && !unsure; ++i) {
            const double dd = dx * dx + dy * dy + 1, dc = dx * c[i].x + dy * c[i].y - c[i].z;
            const double miss = c[i].x * c[i].x + c[i].y * c[i].y + c[i].z * c[i].z - dc * dc / dd;  // squared
            const double t = (dc - std::sqrt(dd * (r2 - miss))) / dd;
            unsure = miss > 0.7 * r2 && miss < r2;  // an outline's polygons, or the sphere's
            if (miss < r2)
                depth[1] = std::min(depth[1], t < depth[0] ? depth[0] : t), nearest = t < depth[0] ? int(i) : nearest,
                depth[0] = std::min(depth[0], t);
        }
        const double gap = 1 / depth[0] - 1 / depth[1];
        if (unsure || nearest != s || std::abs(gap - 2 * step) < 0.002)
            continue;
        EXPECT_EQ(pic.kind[at] == EDGE, gap < 2 * step) << at % 480 << "," << at / 480 << ": " << gap / step << " steps";
        between += gap > step + 0.002 && gap < 2 * step;
    }
    EXPECT_GT(between, 20);
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
