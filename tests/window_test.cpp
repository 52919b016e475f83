// The real program in a real X server: window, picture, stereo, keys,
// resizing and hiding.
#include "harness.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sys/wait.h>

namespace {

constexpr int RED = 0, GREEN = 1, BLUE = 2;

// Horizontal distance in pixels between a point's red and blue images, for a
// point at eye-space depth z in a window width x height. The projection is
// P(50 degrees, aspect) * translate(+/-0.5, 0, 0): x_ndc = f / aspect *
// (x +/- 0.5) / z, so the two images are f / aspect / z apart in NDC.
double expectedDisparity(int width, int height, double depth) {
    const double f = 1.0 / std::tan(25.0 * M_PI / 180.0);
    const double aspect = static_cast<double>(width) / height;
    return f / aspect / depth * width / 2.0;
}

class Window : public ::testing::Test {
protected:
    Program program{sharedServer().display()};
    void SetUp() override {
        ASSERT_TRUE(program.start());
        ASSERT_TRUE(program.waitForWindow()) << program.errorText();
    }
};

TEST_F(Window, IsTitledQuendrixAt480x480AndReportsExtensionsFirst) {
    std::string title;
    ASSERT_TRUE(program.windowTitle(&title));
    EXPECT_EQ(title, "Quendrix");
    int width = 0, height = 0;
    ASSERT_TRUE(program.windowSize(&width, &height));
    EXPECT_EQ(width, 480);
    EXPECT_EQ(height, 480);

    std::string err = program.errorText();
    size_t lineEnd = err.find('\n');
    ASSERT_NE(lineEnd, std::string::npos) << "no line feed after the extension list";
    std::string first = err.substr(0, lineEnd);
    EXPECT_EQ(first.find('\r'), std::string::npos);
    EXPECT_EQ(first.compare(0, 3, "GL_"), 0) << first.substr(0, 80);
    EXPECT_NE(first.find(" GL_"), std::string::npos) << "one line holding the whole list";
    // Nothing but report records after it: no second line feed.
    EXPECT_EQ(err.find('\n', lineEnd + 1), std::string::npos);
}

TEST_F(Window, DrawsShadedRedAndBlueSpheresNeverGreenAndMoves) {
    Picture first = program.grab();
    ASSERT_FALSE(first.empty());
    savePpm(first, ::testing::TempDir() + "quendrix-window.ppm");
    sleepSeconds(0.7);
    Picture second = program.grab();
    ASSERT_FALSE(second.empty());

    for (const Picture* p : {&first, &second}) {
        ChannelStats red = channelStats(*p, RED), green = channelStats(*p, GREEN), blue = channelStats(*p, BLUE);
        EXPECT_EQ(green.lit, 0) << "the anaglyph is red/blue: nothing is drawn into green";
        // 361 spheres of a few pixels each at least.
        EXPECT_GT(red.lit, 2000);
        EXPECT_GT(blue.lit, 2000);
        // Lit spheres: many intensity levels, not flat discs.
        EXPECT_GT(red.levels, 20);
        EXPECT_GT(blue.levels, 20);
    }
    EXPECT_NE(first.rgb, second.rgb) << "the picture does not change over time";
}

TEST_F(Window, RedImageIsTheLeftEyeViewShiftedRightByTheProjectedDisparity) {
    const double expected = expectedDisparity(480, 480, 15.0);  // about 34.3 px
    // Spheres in front of the centre are larger and further apart in the two
    // images than those behind, so the centroids part by somewhat more than
    // the centre's disparity, by how much depending on the tumble.
    double sum = 0;
    const int shots = 6;
    for (int shot = 0; shot < shots; ++shot) {
        Picture p = program.grab();
        ASSERT_FALSE(p.empty());
        ChannelStats red = channelStats(p, RED), blue = channelStats(p, BLUE);
        double disparity = red.cx - blue.cx;
        std::printf("disparity at 480x480: %.1f px (projection gives %.1f px at depth 15)\n", disparity, expected);
        EXPECT_GT(disparity, 0.7 * expected) << "shot " << shot;
        EXPECT_LT(disparity, 1.5 * expected) << "shot " << shot;
        EXPECT_NEAR(red.cy, blue.cy, 3.0) << "the eyes are side by side";
        sum += disparity;
        sleepSeconds(0.3);
    }
    EXPECT_GT(sum / shots, 0.95 * expected);
    EXPECT_LT(sum / shots, 1.3 * expected);
}

TEST_F(Window, AnOrdinaryKeyEndsWithStatusZeroAndNothingMoreOnStandardError) {
    sleepSeconds(0.5);
    program.sendKey(XK_Left);
    sleepSeconds(1.0);
    EXPECT_TRUE(program.running()) << "an arrow key must not end the program";
    program.sendKey(XK_F1);
    sleepSeconds(0.5);
    EXPECT_TRUE(program.running()) << "a function key must not end the program";

    std::string before = program.errorText();
    program.sendKey(XK_q);
    int status = 0;
    ASSERT_TRUE(program.waitExit(10.0, &status)) << "a key did not end the program";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::string after = program.errorText();
    // Whatever followed the key press may only be report records.
    ASSERT_GE(after.size(), before.size());
    std::string tail = after.substr(before.size());
    EXPECT_EQ(tail.find('\n'), std::string::npos) << tail;
    if (!tail.empty()) {
        EXPECT_EQ(tail[0], '\r') << tail;
    }
}

TEST_F(Window, AResizeTo800x400KeepsTheFieldRoundAndCentred) {
    program.resize(800, 400);
    sleepSeconds(1.0);
    Picture p = program.grab();
    ASSERT_EQ(p.width, 800);
    ASSERT_EQ(p.height, 400);
    ChannelStats red = channelStats(p, RED), blue = channelStats(p, BLUE);
    ASSERT_GT(red.lit, 1000);
    ASSERT_GT(blue.lit, 1000);
    // The field is centred in the new viewport, not in the old 480 x 480.
    double cx = (red.cx + blue.cx) / 2, cy = (red.cy + blue.cy) / 2;
    EXPECT_NEAR(cx, 400.0, 60.0);
    EXPECT_NEAR(cy, 200.0, 60.0);
    EXPECT_GT(std::max(red.maxX, blue.maxX), 480) << "the field does not reach into the new width";
    // A horizontal distance in eye space maps to as many pixels as a vertical
    // one: the disparity follows the height (400), not the stretched width.
    const double expected = expectedDisparity(800, 400, 15.0);  // about 28.6 px
    std::printf("disparity at 800x400: %.1f px (projection gives %.1f px at depth 15)\n", red.cx - blue.cx, expected);
    EXPECT_GT(red.cx - blue.cx, 0.7 * expected);
    EXPECT_LT(red.cx - blue.cx, 1.5 * expected);
}

TEST_F(Window, WhileUnmappedItDrawsNothingAndSleepsThenResumes) {
    program.unmap();
    sleepSeconds(0.5);
    double cpuBefore = program.cpuSeconds();
    sleepSeconds(2.0);
    double cpuHidden = program.cpuSeconds() - cpuBefore;
    EXPECT_LT(cpuHidden, 0.2) << "hidden, the program should sleep in the event loop";

    program.map();
    sleepSeconds(0.5);
    double cpuShown = program.cpuSeconds();
    Picture first = program.grab();
    sleepSeconds(1.0);
    Picture second = program.grab();
    cpuShown = program.cpuSeconds() - cpuShown;
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first.rgb, second.rgb) << "the animation did not resume";
    EXPECT_GT(cpuShown, 0.5) << "visible, the program should draw continuously";
}

}  // namespace
