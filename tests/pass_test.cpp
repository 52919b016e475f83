// The decisions a pass makes without GL: which eye, the phase, the aspect
// ratio, and the extension check of start-up.
#include "app/platform.h"
#include "render/pass.h"

#include <gtest/gtest.h>

namespace {

// display runs two passes per call; after n calls there have been 2n passes,
// n swaps and n advances, and the n-th swap shows the phase of n - 1 advances.
TEST(Eye, TwoPassesPerDisplayGiveOneSwapAndOneAdvanceEach) {
    int64_t count = 0;
    int swaps = 0, advances = 0;
    float phase = 0.0f;
    for (int call = 1; call <= 1000; ++call) {
        for (int pass = 0; pass < 2; ++pass) {
            Eye eye = eyeForPass(++count);
            // A display call starts with the blue pass, which completes the
            // frame begun by the previous call's red pass.
            ASSERT_EQ(eye.blue, pass == 0);
            ASSERT_EQ(eye.swapsAfter, eye.blue);
            ASSERT_EQ(eye.clearsColour, !eye.blue);
            ASSERT_EQ(eye.shift, eye.blue ? -0.5 : +0.5) << "red is the left eye's view";
            ASSERT_FALSE(eye.mask[1]) << "green is never drawn";
            if (eye.advancesPhase) {
                phase = advancePhase(phase);
                ++advances;
            }
            if (eye.swapsAfter) {
                ++swaps;
                ASSERT_EQ(advances, call - 1);
            }
        }
        ASSERT_EQ(count, 2 * call);
        ASSERT_EQ(swaps, call);
        ASSERT_EQ(advances, call);
    }
    EXPECT_NEAR(phase, 15.0, 1e-3);
}

TEST(Phase, AdvancesByTheStepRoundedToSinglePrecision) {
    EXPECT_EQ(advancePhase(0.0f), 0.015f);
    EXPECT_EQ(advancePhase(0.015f), 0.015f + 0.015f);
    float p = 0.0f;
    for (int i = 0; i < 100; ++i)
        p = advancePhase(p);
    EXPECT_NEAR(p, 1.5, 1e-5);
}

TEST(Aspect, FollowsTheWindowAndSurvivesAZeroHeight) {
    EXPECT_EQ(aspectRatio(480, 480), 1.0);
    EXPECT_EQ(aspectRatio(800, 400), 2.0);
    EXPECT_EQ(aspectRatio(480, 0), 480.0);
    EXPECT_EQ(aspectRatio(0, 480), 1.0 / 480.0);
}

TEST(Extensions, MatchWholeTokensOnly) {
    const char* list = "GL_ARB_point_parameters GL_EXT_point_parameters_x GL_EXT_abgr";
    EXPECT_FALSE(hasExtension(list, "GL_EXT_point_parameters"));
    EXPECT_TRUE(hasExtension("GL_EXT_abgr GL_EXT_point_parameters", "GL_EXT_point_parameters"));
    EXPECT_TRUE(hasExtension("GL_EXT_point_parameters GL_EXT_abgr", "GL_EXT_point_parameters"));
    EXPECT_TRUE(hasExtension("GL_EXT_point_parameters", "GL_EXT_point_parameters"));
    EXPECT_FALSE(hasExtension("XGL_EXT_point_parameters", "GL_EXT_point_parameters"));
    EXPECT_FALSE(hasExtension("", "GL_EXT_point_parameters"));
    EXPECT_FALSE(hasExtension(nullptr, "GL_EXT_point_parameters"));
}

}  // namespace
