// Every stereo mode in a real window: each eye's image where the manual
// says, and nothing anywhere else.
#include <gtest/gtest.h>

#include "harness.h"
#include "picture.h"

#include <algorithm>
#include <string>

namespace {

struct ModeRun {
    int mode;
    bool swapped;
    int samples;
    std::vector<std::string> depth = {};  // --eye-separation, --convergence
    double disparity = 1;                 // of the default's
    const char* label = "";
};
class StereoModes : public ::testing::TestWithParam<ModeRun> {};

TEST_P(StereoModes, EachEyeSeesItsOwnViewAndNothingElse) {
    const ModeRun& r = GetParam();
    const ModeStatement& m = MODES[r.mode];
    const std::string where = m.where;
    const bool halves = where.find("halves") != std::string::npos;  // wide enough for the field in each
    std::vector<std::string> args = {"--stereo", m.name, "-geometry", halves ? "961x361" : "481x360"};
    if (r.swapped)
        args.push_back("--swap-eyes");
    if (r.samples)
        args.insert(args.end(), {"--samples", std::to_string(r.samples)});
    args.insert(args.end(), r.depth.begin(), r.depth.end());
    Program p(args);
    ASSERT_TRUE(p.findWindow());
    // Until the first record: frames with both eyes are being shown.
    EXPECT_TRUE(waitFor([&] { return slurp(p.errPath).find('\r') != std::string::npos; }));
    const bool interleaved = where == "rows" || where == "columns" || where == "squares";
    for (int shot = 0; shot < 3; ++shot) {
        // The eyes keep the screen's rows, columns and squares: a window
        // moved down, then right, by one pixel gives each eye the other
        // pixels, marked anew. The frame being drawn when the program hears
        // of the move and the one it begins then keep the old pattern: the
        // third new picture was begun after.
        if (shot > 0 && interleaved) {
            p.act(shot == 1 ? "windowmove --sync %w 0 1" : "windowmove --sync %w 1 1");
            EXPECT_TRUE(keepsDrawing(p) && keepsDrawing(p) && keepsDrawing(p));
        }
        const Picture pic = grab(p);
        SCOPED_TRACE("at " + std::to_string(pic.left) + "," + std::to_string(pic.top));
        ASSERT_EQ(pic.width, halves ? 961 : 481);
        expectEyes(pic, m, r.swapped, r.samples, r.disparity);
    }
}

INSTANTIATE_TEST_SUITE_P(InAWindow, StereoModes, ::testing::ValuesIn([] {
    std::vector<ModeRun> runs;
    for (int mode = 0; mode < static_cast<int>(std::size(MODES)); ++mode)
        if (std::string(MODES[mode].where) != "buffers")
            runs.push_back({mode, false, 0});
    runs.push_back({0, true, 0});    // red-blue, eyes swapped
    runs.push_back({9, true, 4});    // rows, eyes swapped, anti-aliased
    runs.push_back({0, false, 4});   // red-blue, anti-aliased
    // Half the eye separation, half the disparity; none, none; converged on
    // the field's centre, next to none.
    runs.push_back({0, false, 0, {"--eye-separation", "0.5"}, 0.5, "HalfSeparation"});
    runs.push_back({10, false, 0, {"--eye-separation", "0"}, 0, "NoSeparation"});
    runs.push_back({6, true, 0, {"--convergence", "15"}, 0, "Converged"});
    return runs;
}()), [](const ::testing::TestParamInfo<ModeRun>& info) {
    std::string name = MODES[info.param.mode].name;
    name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
    return name + (info.param.swapped ? "SwapEyes" : "") + (info.param.samples ? "Samples" : "") + info.param.label;
});

// --check on every correct stack here, in every stereo mode, and at every
// window size: it judges frames of its own size, and on the screen. A window
// one pixel wide at the screen's left edge (where it starts without a window
// manager) shows nothing there, and the check says it cannot judge.

}  // namespace
