// What the program says and does for each command line, with no display at
// all where it needs none, and as scripts read it: the options, GLUT's, the
// swap interval, -iconic under a window manager, and runs of frames that
// always end.
#include <gtest/gtest.h>

#include "harness.h"
#include "picture.h"

#include <cstdio>
#include <regex>

namespace {

TEST(CommandLine, EveryOneAnswersAsDocumented) {
    // (Under Wine, a run with no display would leave Wine's server unable to make windows while it lasts.)
    const std::string run = runCommand(WINDOWS ? "" : "DISPLAY WAYLAND_DISPLAY"), usage = shell(run + " --help; echo $?");
    const std::string manual = slurp(QUENDRIX_MANUAL);
    EXPECT_EQ(usage.substr(usage.size() - 3), "\n0\n");
    for (const char* option : {"--stereo", "--swap-eyes", "--eye-separation", "--convergence", "--samples", "--fullscreen",
                               "--frames", "--swap-interval", "--info", "--check", "--offscreen", "--phase", "--results",
                               "--save-images", "-geometry",
                               "-display", "-iconic", "-direct", "-indirect", "-gldebug", "-sync", "--help",
                               "--version"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
        EXPECT_NE(manual.find(std::regex_replace(option, std::regex("-"), "\\-")), std::string::npos) << option;
    }
    // Refused, status 2: what was wrong, and where to look.
    const std::pair<const char*, std::string> refused[] = {
        {"--frame 5", "unrecognized option '--frame'"}, {"--info=yes", "option '--info' doesn't allow an argument"},
        {"extra", "unexpected argument 'extra'"}, {"-- --help", "unexpected argument '--help'"},  // -- ends the options
        {"-display", "option '-display' requires an argument"},
        {"--frames 12x", "--frames needs a whole number of frames from 1 to 1000000000, not '12x'"},
        {"--swap-interval=-1", "--swap-interval needs a whole number from 0 to 1000, not '-1'"},
        {"--samples 1", "--samples needs a whole number of samples from 2 to 64, not '1'"},
        {"--eye-separation -1", "--eye-separation needs a number of units from 0 to 100, not '-1'"},
        {"--convergence 0", "--convergence needs a distance in units from 1 to 100000, not '0'"},
        {"--convergence", "--convergence needs a distance in units from 1 to 100000"},
        {"--stereo=anaglyph", "--stereo needs one of red-blue, red-cyan, green-magenta, yellow-blue, side-by-side, "
                              "cross-eyed, half-side-by-side, top-bottom, half-top-bottom, rows, columns, checkerboard, "
                              "quad, left, right, not 'anaglyph'"},
        {"-geometry garbage", "-geometry needs WxH, +X+Y or WxH+X+Y (X's geometry, - for offsets from the right and "
                              "bottom), not 'garbage'"},
        {"--offscreen --info", "--offscreen needs --frames or --check: off-screen, nothing else would ever be seen"}};
    for (const auto& [args, message] : refused)
        EXPECT_EQ(shell(run + " " + args + " 2>&1; echo $?"),
                  "quendrix: " + message + "\nTry 'quendrix --help' for more information.\n2\n") << args;
    const std::string noScreen = "; on a machine with no screen, give --offscreen with --frames or --check, or run it "
                                 "under 'xvfb-run -a'\n77\n";
    const std::pair<std::string, std::string> answers[] = {
        {" --version", "quendrix " QUENDRIX_VERSION "\nCopyright (C) 2026 The Quendrix developers\nLicense MIT: "
                       "<https://opensource.org/licenses/MIT>\nThis is free software: you are free to change and "
                       "redistribute it.\nThere is NO WARRANTY, to the extent permitted by law.\n0\n"},
        {" --frame 5 --help | head -c 6", "Usage:0\n"},  // --help wins
        {" --help 2>&1 >/dev/full", "quendrix: write error on standard output: No space left on device\n99\n"},
        {" --version 2>&1 >&-", "quendrix: write error on standard output: Bad file descriptor\n99\n"},
        {" --check 2>&1", "check not judged: no X display: DISPLAY is not set" + noScreen},
        {" 2>&1", "quendrix: no X display: DISPLAY is not set" + noScreen},
        {" -display :999 2>&1", "quendrix: cannot open the X display ':999'" + noScreen},
    };
    for (const auto& [args, answer] : answers) {  // no X display, no Windows
        EXPECT_EQ(WINDOWS && answer.find("X display") != std::string::npos ? answer : shell(run + args + "; echo $?"),
                  answer) << args;
    }
    if (!WINDOWS) {  // a Wayland desktop without XWayland
        EXPECT_EQ(shell(runCommand("DISPLAY WAYLAND_DISPLAY=wayland-0") + " 2>&1; echo $?"),
                  "quendrix: no X display: the program needs X11, which Wayland gives through XWayland, and DISPLAY is "
                  "not set (is XWayland running?); with no display at all, --offscreen draws --frames and --check\n77\n");
    }
    // The result, the verdict and --info, lost.
    for (const std::string args : {" --info --frames 64 >/dev/full", " --frames 20 --info >&-", " --check >&-"})
        EXPECT_EQ(shell("{ " + runCommand("") + " 2>&1" + args + "; echo $?; } | tail -n 2"),
                  std::string("quendrix: write error on standard output: ") +
                      (args.back() == '-' ? "Bad file descriptor" : "No space left on device") + "\n99\n") << args;
    // What the display has not got is said before any window opens (quad:
    // Check/NotJudged.NoQuadBufferedVisual).
    EXPECT_EQ(shell(runCommand("") + " --samples 5 2>&1; echo $?"),
              "quendrix: the display offers no visual with 5 samples a pixel; try fewer --samples\n77\n");
    EXPECT_NE(shell(runCommand("") + " --samples 2 --info --frames 1 2>/dev/null").find("\nsamples: 4\n"), std::string::npos);
}
TEST(CommandLine, GeometryPlacesTheWindowFramesEndsTheRunInfoNamesTheDriver) {
    Program p({"-geometry", "640x360+30+40", "--frames", "512", "--info", "--"});
    ASSERT_TRUE(p.shown());
    const std::string placed = p.act("getwindowgeometry %w");
    EXPECT_NE(placed.find("Geometry: 640x360"), std::string::npos) << placed;
    // Windows places the frame there; the inside lies a border and a title bar further.
    int x = -1, y = -1;
    std::sscanf(placed.c_str() + std::min(placed.find("Position: "), placed.size()), "Position: %d,%d", &x, &y);
    EXPECT_TRUE(WINDOWS ? x > 30 && x < 60 && y > 40 && y < 100 : x == 30 && y == 40) << placed;
    EXPECT_EQ(p.status(120), 0);
    std::string info, rest;
    expectResult(p, 512, &info);
    EXPECT_TRUE(std::regex_match(info, std::regex("GL_RENDERER: .+\nGL_VERSION: .+\nGL_VENDOR: .+\n"
                                                  "swap interval: ([0-9]+|unknown)\nsamples: 0\n"
                                                  "parallax at 640 x 360: nearest sphere [0-9]+\\.[0-9] px in front \\([0-9]+"
                                                  "\\.[0-9]{2}% of the width\\), farthest [0-9.]+ px in front \\([0-9.]+%\\)\n")))
        << info;
    const std::vector<long> frames = records(p, &rest);
    EXPECT_TRUE(frames.empty() || frames.back() < 512) << "ran past its frames";
    EXPECT_EQ(rest, lineEnd(frames)) << "standard error holds the extension list and the records only";
    if (WINDOWS)
        return;  // Windows places the window's frame there
    // Offsets from the screen's far edges, with the default size.
    Program corner({"-geometry", "-10-20"});
    ASSERT_TRUE(corner.shown());
    EXPECT_NE(corner.act("getwindowgeometry %w").find("Position: 790,524 "), std::string::npos)
        << corner.act("getwindowgeometry %w");
}

// The swap interval each run asks the driver for, on one that takes it and
// on one that keeps its own (tests/broken_gl.cpp, which says what is asked),
// and what --info and standard error say. Under Wine, WGL's own answers.
TEST(CommandLine, SwapIntervalAskedForAndReported) {
    const std::pair<std::string, std::string> runs[] = {
        {"swapcontrol --frames 20 --info", "asked for 0\nswap interval: 0\n"},
        {"swapcontrol --frames 20 --info --swap-interval 2", "asked for 2\nswap interval: 2\n"},
        {"swapcontrol --info >/dev/full", "quendrix: write error on standard output: No space left on device\n"},
        {"fixedswap --frames 20 --swap-interval 2", "asked for 2\nquendrix: the driver cannot set the swap interval to 2\n"},
    };  // (the third, a plain run, ends at its --info line)
    for (const auto& [args, answer] : runs) {
        const size_t mode = args.find(' '), info = answer.find("swap interval:");
        if (WINDOWS && info == std::string::npos)
            continue;  // Wine's GL is reached past a preloaded library, and takes any interval
        EXPECT_EQ(shell(runCommand(WINDOWS ? "" : "BROKEN_GL=" + args.substr(0, mode) + " LD_PRELOAD=" QUENDRIX_BROKEN_GL) +
                        " 2>&1" + args.substr(mode) + " | grep -a '^swap\\|^quendrix\\|^asked'"),
                  WINDOWS ? answer.substr(info) : answer) << args;
    }
}

// Under a window manager that frames windows, -geometry's minus keeps the
// frame, not the window inside it, that far from the screen's right and
// bottom edges (the frame's edges from _NET_FRAME_EXTENTS), and the check
// judges its window there.
TEST(CommandLine, X11GeometryFromTheFarEdgesUnderAWindowManager) {
    Program wm;
    ASSERT_TRUE(startWindowManager(&wm));
    for (const std::string offset : {"0", "10"}) {
        Program p({"-geometry", "-" + offset + "-" + offset});
        ASSERT_TRUE(p.shown());
        int left = -1, right = -1, top = -1, bottom = -1, x = 0, y = 0, w = 0, h = 0;
        const auto placed = [&] {
            const std::string info = shell("xwininfo -id " + p.window + "; xprop -id " + p.window + " _NET_FRAME_EXTENTS");
            const auto after = [&](const char* text) { return info.c_str() + std::min(info.find(text), info.size()); };
            return std::sscanf(after("upper-left X:"), "upper-left X: %d Absolute upper-left Y: %d", &x, &y) == 2 &&
                   std::sscanf(after("Width:"), "Width: %d Height: %d", &w, &h) == 2 &&
                   std::sscanf(after(") = "), ") = %d, %d, %d, %d", &left, &right, &top, &bottom) == 4 &&
                   x + w == 1280 - std::stoi(offset) - right && y + h == 1024 - std::stoi(offset) - bottom;
        };
        EXPECT_TRUE(waitFor(placed, 30)) << offset << ": the window at " << x << "," << y << ", " << w << "x" << h
                                         << ", its frame's edges " << left << " " << right << " " << top << " " << bottom;
        EXPECT_TRUE(left >= 0 && top > 0 && x - left >= 0 && y - top >= 0) << "the frame must lie on the screen";
    }
    EXPECT_EQ(shell(runCommand("") + " --check -geometry -10-10 2>/dev/null | tail -n 1"), "check passed\n");
}

}  // namespace
