// The depth keys in a real window: what each does to the picture, the line
// it prints, and full screen on and off.
#include <gtest/gtest.h>

#include "harness.h"
#include "picture.h"

#include <algorithm>
#include <cmath>

namespace {

// Presses a key and waits for the frames it changes: its line printed, then
// three new pictures, the third begun after the key was taken.
void press(Program& p, const char* key, size_t lines) {
    p.act(std::string("key --window %w ") + key);
    EXPECT_TRUE(waitFor([&] { const std::string o = slurp(p.outPath); return std::count(o.begin(), o.end(), '\n') >= long(lines); }))
        << key;
    EXPECT_TRUE(waitFor([&] { return keepsDrawing(p) && keepsDrawing(p) && keepsDrawing(p); }, 30)) << key;
}

// The disparity over four pictures, as expectEyes judges each: so many times
// the default's (0: next to none), with the sign turned if the eyes are
// expected swapped.
double disparity(const Program& p, bool swapped, double expected) {
    double sum = 0;
    for (int shot = 0; shot < 4; ++shot, pause(0.2))
        sum += expectEyes(grab(p), MODES[0], swapped, 0, expected) / 4;
    return sum;
}

bool sized(Program& p, const std::string& geometry) {
    return waitFor([&] { return p.act("getwindowgeometry %w").find(geometry) != std::string::npos; });
}

TEST(DepthKeys, EachKeyChangesThePictureAsItSays) {
    Program p(std::vector<std::string>{});
    ASSERT_TRUE(p.findWindow());
    EXPECT_TRUE(keepsDrawing(p) && keepsDrawing(p));
    const double start = disparity(p, false, 1);
    press(p, "Down Down Down Down Down", 5);
    EXPECT_NEAR(disparity(p, false, 0.5) / start, 0.5, 0.15) << "five Downs: half the eye separation";
    press(p, "F2", 6);
    EXPECT_NEAR(disparity(p, true, 0.5) / start, 0.5, 0.15) << "F2: the eyes not swapped";
    press(p, "Right", 7);
    EXPECT_LT(std::abs(disparity(p, true, 0)), 0.15) << "Right: converged on the field's centre";
    press(p, "Home", 8);
    EXPECT_NEAR(disparity(p, false, 1) / start, 1, 0.25) << "Home: the command line's settings";
    press(p, "F11", 9);
    EXPECT_TRUE(sized(p, "Position: 0,0 (screen: 0)\n  Geometry: 1280x1024")) << "F11: not full screen";
    EXPECT_TRUE(waitFor([&] { return centred(grab(p)); })) << "not drawn at the screen's size";
    press(p, "F11", 10);
    EXPECT_TRUE(sized(p, "Position: 0,0 (screen: 0)\n  Geometry: 480x480")) << "F11 again: not its size again";
    press(p, "F1", 20);
    const std::string out = slurp(p.outPath), help = shell(runCommand() + " --help");
    const std::string keys = help.substr(help.find("Keys:"), help.find("\n\n", help.find("Keys:")) - help.find("Keys:"));
    EXPECT_NE(out.find(keys), std::string::npos) << "F1 prints the keys --help lists";
    const std::string lines[] = {"0.9, convergence parallel", "0.8, convergence parallel", "0.7, convergence parallel",
        "0.6, convergence parallel", "0.5, convergence parallel", "0.5, convergence parallel, eyes swapped",
        "0.5, convergence 15, eyes swapped", "1, convergence parallel", "1, convergence parallel", "1, convergence parallel"};
    // Each key's line, the settings it leaves (the parallax after them: Keys in the unit tests).
    size_t at = 0;
    for (const std::string& line : lines) {
        EXPECT_EQ(out.compare(at, line.size() + 17, "eye separation " + line + "; "), 0) << out.substr(at, out.find('\n', at) - at);
        at = out.find('\n', at) + 1;
    }
    EXPECT_NE(out.find("parallax at 1280 x 1024"), std::string::npos) << "F11's line at the screen's size";
    p.act("key --window %w q");
    EXPECT_EQ(p.status(10), 0) << "q still ends it";
}

// The interleaved modes keep to the screen's rows as the window covers the
// screen and returns to a place an odd number of rows down.
TEST(DepthKeys, FullScreenOnAndOffKeepsEachEyeOnItsScreenRows) {
    if (WINDOWS)
        GTEST_SKIP() << "Windows places the window's frame where -geometry says, not the window";
    Program p({"--stereo", "rows", "-geometry", "481x360+0+1"});
    ASSERT_TRUE(p.findWindow());
    EXPECT_TRUE(keepsDrawing(p) && keepsDrawing(p));
    expectEyes(grab(p), MODES[9]);
    for (const char* geometry : {"Position: 0,0 (screen: 0)\n  Geometry: 1280x1024", "Position: 0,1 (screen: 0)\n  Geometry: 481x360"}) {
        p.act("key --window %w F11");
        ASSERT_TRUE(sized(p, geometry));
        EXPECT_TRUE(keepsDrawing(p) && keepsDrawing(p) && keepsDrawing(p));
        SCOPED_TRACE(geometry);
        expectEyes(grab(p), MODES[9]);
    }
}

}  // namespace
