// --check on the real program: it passes on every correct stack here, fails
// on GL stacks that draw wrongly (tests/broken_gl.cpp), and says it could
// not judge where it could not.
#include <gtest/gtest.h>

#include "harness.h"
#include "modes.h"

#include <X11/Xlib.h>

#include <chrono>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string CHECK = " --check 2>/dev/null; echo $?";

// A passing check of mode m: every frame's line (the disparity where two
// views are drawn, "one view" where one is), every sphere found, status 0.
std::regex passed(const ModeStatement& m, const std::string& size = "480 x 480") {
    const std::string views = !*m.left || !*m.right ? "one view"
                                                    : "left view -?[0-9.]+ px right of the right \\(-?[0-9.]+ expected\\)";
    return std::regex("frames of " + size + " pixels, stereo mode " + std::string(m.name) + "[^\n]*\n"
                      "([a-z, ]+ \\(T = [0-9a-z. ]+\\): [0-9]+ of [0-9]+ surface pixel channels off, 0 lit where "
                      "nothing may be, [0-9]+ spheres seen, none missing, " + views +
                      ", on the screen ([0-9]+ pixels|0 of [0-9]+ pixels differ): ok\n){8,13}"
                      "spheres: all 361 seen and found in [0-9]+ frames\ncheck passed\n0\n");
}

const ModeStatement& mode(const std::string& name) {
    for (const ModeStatement& m : MODES)
        if (name == m.name)
            return m;
    return MODES[0];
}

std::string withBrokenGl(const std::string& faults) {
    return runCommand("BROKEN_GL=" + faults + " LD_PRELOAD=" QUENDRIX_BROKEN_GL);
}

TEST(Check, PassesOnEveryCorrectStack) {
    // Every mode on llvmpipe; one of each kind (colours, halves, rows, one
    // eye) on softpipe, a rasteriser of another make.
    for (const std::string driver : {"llvmpipe", "softpipe"})
        for (const ModeStatement& mode : MODES) {
            const std::string name = mode.name;
            if (std::string(mode.where) == "buffers" ||
                (driver == "softpipe" && name != "red-blue" && name != "half-side-by-side" && name != "rows" &&
                 name != "left"))
                continue;
            const std::string out = shell(runCommand("GALLIUM_DRIVER=" + driver) + " --stereo " + name + CHECK);
            EXPECT_TRUE(std::regex_match(out, passed(mode))) << driver << " " << name << "\n" << out;
        }
    for (const char* depth : {"16", "30"}) {
        const std::string out = shell(inServer(std::string("-screen 0 1280x1024x") + depth, runCommand("") + " --check") +
                                      " 2>/dev/null; echo $?");
        EXPECT_TRUE(std::regex_match(out, passed(MODES[0]))) << depth << " bits\n" << out;
    }
    // The size asked for, odd and a TV's; one the screen cannot show is not
    // judged, one too small to judge is refused.
    for (const std::string size : {"641x359", "1024x576"}) {  // on the screen with a frame round it too
        const std::string out = shell(runCommand("") + " -geometry " + size + CHECK);
        EXPECT_TRUE(std::regex_match(out, passed(MODES[0], std::regex_replace(size, std::regex("x"), " x ")))) << out;
    }
    EXPECT_EQ(shell(runCommand("") + " -geometry 2000x2000" + CHECK), "check not judged: --check judges frames of the size "
              "asked for, 2000 x 2000, more than this screen shows or the driver draws\n77\n");
    EXPECT_EQ(shell(runCommand("") + " -geometry 8x8" + CHECK), "2\n");
    EXPECT_TRUE(std::regex_match(shell(runCommand("") + " --fullscreen" + CHECK), passed(MODES[0])));
    // Eyes closer together, none apart, converged, in modes of each kind.
    for (const std::string depth : {"rows --eye-separation 0.5 --convergence 15",
                                    "half-side-by-side --convergence 15 --swap-eyes", "red-cyan --eye-separation 0"}) {
        const std::string out = shell(runCommand("") + " --stereo " + depth + CHECK);
        EXPECT_TRUE(std::regex_match(out, passed(mode(depth.substr(0, depth.find(' ')))))) << depth << "\n" << out;
    }
    if (WINDOWS)
        return;  // no preloading there
    // With no stencil buffer the interleaved modes keep to their pixels
    // otherwise; with a 16-bit depth buffer, where spheres cut each other
    // the stack's rounding decides.
    for (const char* name : {"rows", "columns", "checkerboard"}) {
        const std::string out = shell(withBrokenGl("nostencil") + " --stereo " + name + CHECK);
        EXPECT_TRUE(std::regex_match(out, passed(mode(name)))) << "no stencil, " << name << "\n" << out;
    }
    for (const char* name : {"red-blue", "side-by-side", "top-bottom", "left"}) {
        const std::string out = shell(withBrokenGl("depth16") + " --stereo " + name + CHECK);
        EXPECT_TRUE(out.find("depth of 16 bits") != std::string::npos && std::regex_match(out, passed(mode(name))))
            << "16-bit depth, " << name << "\n" << out;
    }
}

// A multisampled pixel may show its neighbours' values, and a sample just
// past a viewport's edge may be drawn; the screen shows the samples resolved.
TEST(Check, PassesMultisampledInEveryMode) {
    for (const ModeStatement& mode : MODES) {
        if (std::string(mode.where) == "buffers")
            continue;
        for (const std::string samples : {"4", "2 --swap-eyes"}) {
            if (samples != "4" && std::string(mode.where).find("half") == std::string::npos &&
                std::string(mode.where).find("top bottom") == std::string::npos)
                continue;  // the halves with 2 samples, the eyes swapped, as well
            const std::string out = shell(runCommand("") + " --stereo " + mode.name + " --samples " + samples + CHECK);
            EXPECT_TRUE(std::regex_match(out, passed(mode)) && out.find("multisampled") != std::string::npos)
                << mode.name << ", samples " << samples << "\n" << out;
        }
    }
}

// --check fails on GL stacks that draw wrongly, one fault at a time, in the
// modes where the fault shows: each of its judgements (the surface, each
// sphere in each eye's view, a patch of wrong pixels, the pixels where
// nothing may be, the screen after the swap and between the eyes) is the one
// that sees some of them. A sphere left out is named missing.
// Each case "faults|arguments|sphere named missing": BROKEN_GL and more of
// the broken stack's environment, the check's arguments, and where a sphere
// is left out, the sphere its verdict names missing (and from which view).
class BrokenStack : public testing::TestWithParam<const char*> {};

TEST_P(BrokenStack, FailsTheCheck) {
    if (WINDOWS)
        GTEST_SKIP() << "Wine's GL reaches Mesa past a preloaded library";
    const std::string c = GetParam(), faults = c.substr(0, c.find('|')), rest = c.substr(c.find('|') + 1);
    const size_t bar = rest.find('|');
    const std::string missing = bar == std::string::npos ? "" : "(.*\n)* missing \\(([0-9a-z ]+, )*" + rest.substr(bar + 1) + "[,)]";
    const std::string out = shell(withBrokenGl(faults) + " --check " + rest.substr(0, bar) + CHECK);
    EXPECT_TRUE(std::regex_search(out, std::regex(missing + "(.*\n)*.*: FAILED\n(.*\n)*check FAILED[^\n]*\n1\n$"))) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Check, BrokenStack,
    testing::Values("mask|--stereo red-blue", "mask|--stereo red-cyan", "mask|--stereo green-magenta", "mask|--stereo yellow-blue",
                    "green|", "right|", "up|", "narrow|", "right|--stereo side-by-side", "up|--stereo half-top-bottom",
                    "narrow|--stereo half-side-by-side", "up|--stereo rows", "eyes|", "depth|", "lighting|", "cull|", "behind|",
                    "depthclear|", "swap|", "stipple|--stereo rows", "stipple|--stereo columns", "stipple|--stereo checkerboard",
                    "nostencil,stipple|--stereo rows", "right|--stereo left", "front|", "dim|", "nudge|",
                    "right|--stereo top-bottom --samples 4", "shear|--stereo red-cyan --convergence 15", "fewbits,dim|",
                    "fewbits,dim|--offscreen", "mask|--offscreen", "depth|--offscreen", "eyes|--offscreen", "cull|--offscreen",
                    "stipple|--offscreen --stereo rows", "block|", "block BROKEN_BLOCK=3|--offscreen",
                    "block BROKEN_BLOCK=3|--stereo side-by-side", "beyond|", "beyond|--offscreen", "beyond|--samples 4",
                    "drop BROKEN_SPHERE=1||1", "drop BROKEN_SPHERE=27||27", "drop BROKEN_SPHERE=13 BROKEN_EYE=right||13 right",
                    "drop BROKEN_SPHERE=100 BROKEN_EYE=right|--offscreen|100 right",
                    "drop BROKEN_SPHERE=100 BROKEN_EYE=left|--stereo rows|100 left",
                    "drop BROKEN_SPHERE=193 BROKEN_EYE=right|--stereo side-by-side --samples 4|193 right"),
    [](const testing::TestParamInfo<const char*>& info) {  // drop_SPHERE_13_EYE_right_offscreen
        const std::string args = std::regex_replace(info.param, std::regex("(\\|[^|]*)\\|.*$"), "$1");  // not the sphere
        const std::string words = std::regex_replace(args, std::regex("BROKEN_|--stereo |--"), " ");
        return std::regex_replace(std::regex_replace(words, std::regex("[^A-Za-z0-9]+"), "_"), std::regex("^_|_$"), "");
    });

// Every mode in one run: a line each, quad not offered here, the worst the
// last line and the status.
TEST(Check, EveryModeInOneRun) {
    std::string lines;
    for (const ModeStatement& m : MODES)
        lines += m.name + std::string(std::string(m.where) == "buffers" ? ": not offered\n" : ": check passed\n");
    EXPECT_EQ(shell(runCommand("") + " --stereo all" + CHECK), lines + "check passed\n0\n");
    if (WINDOWS)
        return;  // no preloading there
    EXPECT_EQ(shell("(" + withBrokenGl("stipple") + " --check --stereo all 2>/dev/null; echo $?) | tail -n 2"),
              "check FAILED in rows, columns, checkerboard\n1\n");
}

// What could not be seen is not judged (status 77), and says why, one line
// on standard error or on standard output; a check that could not draw at
// all has drawn nothing wrong. Minimised from the start, it ends at once.
TEST(Check, NotJudgedWhereItCannotSee) {
    const std::string asan = "ASAN_OPTIONS=replace_str=0:intercept_strlen=0:intercept_strchr=0:intercept_strndup=0";
    const std::vector<std::pair<std::string, std::string>> runs = {
        {runCommand("") + " -iconic --check", WINDOWS ? "the system drew nothing into it" : "started minimised, with nothing"},
        {runCommand("") + " --stereo quad --check", "no quad-buffered stereo visual"},
        // One pixel of the window on the screen: its stack swaps nothing,
        // but the screen cannot tell.
        {withBrokenGl("swap") + " -geometry +1279+1023 --check", "check not judged: part of the window lay off the screen"},
        {inServer("-extension GLX", runCommand("") + " --check"), "GLX extension not supported"},
        {runCommand("LIBGL_ALWAYS_INDIRECT=1 " + asan) + " --check", "names no renderer"}};
    for (size_t i = 0; i < (WINDOWS ? 2 : runs.size()); ++i) {
        const auto start = std::chrono::steady_clock::now();
        const std::string out = shell(runs[i].first + " 2>&1; echo $?");
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 9);
        EXPECT_TRUE(out.find(runs[i].second) != std::string::npos &&
                    std::regex_search(out, std::regex("check not judged[^\n]*\n(.*\n)?77\n$")))
            << runs[i].first << "\n" << out;
    }
}

// A window of another client kept on top of the check's window, as a
// notification or an on-screen display is.
TEST(Check, X11AWindowOnTopIsNotJudged) {
    Display* display = testDisplay();
    XSetWindowAttributes attributes = {};
    attributes.override_redirect = True;
    const Window cover = XCreateWindow(display, DefaultRootWindow(display), 100, 100, 60, 40, 0, CopyFromParent,
                                       InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    XMapRaised(display, cover);
    Program p({"--check"});
    int status = -1;
    for (int i = 0; i < 6000 && waitpid(p.pid, &status, WNOHANG) == 0; ++i, pause(0.01))
        XRaiseWindow(display, cover), XFlush(display);
    p.pid = -1;
    XDestroyWindow(display, cover);
    EXPECT_EQ(status, 77 << 8);
    EXPECT_NE(slurp(p.outPath).find("check not judged: another window lay over part of the check's window\n"),
              std::string::npos) << slurp(p.outPath);
}

// A window never shown, as under a window manager that withholds it
// (freeglut waits for it inside glutCreateWindow): the check and a run of
// frames end all the same, within the manual's bound, and say why.
TEST(Check, X11AWindowNeverShownEndsAllTheSame) {
    const std::string nomap = "BROKEN_GL=nomap LD_PRELOAD=" QUENDRIX_BROKEN_GL;
    const std::string results = ::testing::TempDir() + "quendrix-never-" + std::to_string(getpid()) + ".json";
    Program check({"--check", "--results", results}, ErrorTo::File, nomap), frames({"--frames", "5"}, ErrorTo::File, nomap);
    EXPECT_EQ(check.status(60), 77 << 8) << "hung, or ended otherwise";
    EXPECT_EQ(slurp(check.outPath), "check not judged: its window was not shown within 30 seconds\n");
    EXPECT_EQ(validDocument(results, ", d['outcome'], d['check']['last_line']"),
              "valid skipped check not judged: its window was not shown within 30 seconds\n");
    EXPECT_EQ(frames.status(60), 77 << 8) << "hung, or ended otherwise";
    EXPECT_EQ(slurp(frames.errPath), "quendrix: the window was not shown within 30 seconds\n");
}

}  // namespace
