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

// A passing check in the mode these arguments name: every frame's line
// (the disparity where two views are drawn, "one view" where one is),
// every sphere found, status 0.
std::regex passed(const std::string& args, const std::string& size = "480 x 480") {
    const size_t at = args.find("--stereo ");
    return std::regex("frames of " + size + " pixels, stereo mode " + (at == std::string::npos ? "red-blue" : words(args.substr(at + 9))[0]) +
                      "[ ,][^\n]*\n([a-z, ]+ \\(T = [0-9a-z. ]+\\): [0-9]+ of [0-9]+ surface pixel channels off, 0 lit where "
                      "nothing may be, [0-9]+ spheres seen, none missing, (one view|left view -?[0-9.]+ px right of the right "
                      "\\(-?[0-9.]+ expected\\)), on the screen ([0-9]+ pixels|0 of [0-9]+ pixels differ): ok\n){8,13}"
                      "spheres: all 361 seen and found in [0-9]+ frames\ncheck passed\n0\n");
}

// The check's standard output and status, with these arguments (split at
// spaces) and environment; in an X server of its own when serverArgs says.
std::string check(const std::string& args, const std::string& env = "", const std::string& serverArgs = "") {
    const std::vector<std::string> argv = words(args + " --check");
    return serverArgs.empty() ? outputAndStatus(argv, env)
                              : shell(inServer(serverArgs, runCommand(env, argv)) + " 2>/dev/null; echo $?");
}

// A correct stack of another kind than the tests' usual one (llvmpipe in an
// X server of depth 24, no multisampling), or other depths, in modes of each
// kind (colours, halves, rows, columns and squares, one eye) where it could
// matter: the check passes on it, and says so in its first line where it
// names it.
struct Stack {
    const char* name;
    const char* env;
    const char* serverArgs;
    std::vector<const char*> runs;
    const char* says = "";
};
class CorrectStack : public testing::TestWithParam<Stack> {};

TEST_P(CorrectStack, PassesTheCheck) {
    const Stack& s = GetParam();
    if (WINDOWS && std::string(s.env).find("BROKEN_GL") != std::string::npos)
        GTEST_SKIP() << "no preloading there";
    for (const std::string args : s.runs) {
        const std::string out = check(args, s.env, s.serverArgs);
        EXPECT_TRUE(std::regex_match(out, passed(args)) && out.find(s.says) != std::string::npos) << args << "\n" << out;
    }
}

INSTANTIATE_TEST_SUITE_P(Check, CorrectStack, testing::Values(
    // A rasteriser of another make.
    Stack{"Softpipe", "GALLIUM_DRIVER=softpipe", "", {"--stereo red-blue", "--stereo half-side-by-side", "--stereo rows",
                                                      "--stereo left"}},
    Stack{"ServerDepth16", "", "-screen 0 1280x1024x16", {""}},
    Stack{"ServerDepth30", "", "-screen 0 1280x1024x30", {""}},
    // With no stencil buffer the interleaved modes keep to their pixels otherwise.
    Stack{"NoStencilBuffer", BROKEN_GL("nostencil"), "", {"--stereo rows", "--stereo columns", "--stereo checkerboard"}},
    // Where spheres cut each other, the stack's rounding decides.
    Stack{"DepthBuffer16Bits", BROKEN_GL("depth16"), "", {"--stereo red-blue", "--stereo side-by-side",
                                                          "--stereo top-bottom", "--stereo left"}, "depth of 16 bits"},
    // A multisampled pixel may show its neighbours' values, and a sample just
    // past a viewport's edge may be drawn; the screen shows the samples
    // resolved. The halves with 2 samples, the eyes swapped, as well.
    Stack{"Multisampled", "", "", {"--stereo red-blue --samples 4", "--stereo side-by-side --samples 4",
                                   "--stereo half-side-by-side --samples 2 --swap-eyes",
                                   "--stereo half-top-bottom --samples 2 --swap-eyes", "--stereo rows --samples 4",
                                   "--stereo columns --samples 4", "--stereo checkerboard --samples 4",
                                   "--stereo left --samples 4"}, "multisampled"},
    // Eyes closer together, none apart, converged, in modes of each kind.
    Stack{"EyesMovedAndConverged", "", "", {"--stereo rows --eye-separation 0.5 --convergence 15",
                                            "--stereo half-side-by-side --convergence 15 --swap-eyes",
                                            "--stereo red-cyan --eye-separation 0"}}),
    [](const testing::TestParamInfo<Stack>& info) { return std::string(info.param.name); });

// The size asked for, odd and a TV's (on the screen with a frame round it
// too), and full screen; one the screen cannot show is not judged, one too
// small to judge is refused.
TEST(Check, JudgesFramesOfTheSizeAskedFor) {
    for (const std::string size : {"641x359", "1024x576"})
        EXPECT_TRUE(std::regex_match(check("-geometry " + size), passed("", std::regex_replace(size, std::regex("x"), " x "))));
    EXPECT_EQ(check("-geometry 2000x2000"), "check not judged: --check judges frames of the size "
              "asked for, 2000 x 2000, more than this screen shows or the driver draws\n77\n");
    EXPECT_EQ(check("-geometry 8x8"), "2\n");
    EXPECT_TRUE(std::regex_match(check("--fullscreen"), passed("")));
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
    const std::string out = check(rest.substr(0, bar), "BROKEN_GL=" + faults + " LD_PRELOAD=" QUENDRIX_BROKEN_GL);
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

// Every mode in one run, on a stack that ignores the stipple: a line each,
// the interleaved modes failing, quad not offered here, the worst the last
// line and the status.
TEST(Check, EveryModeInOneRun) {
    std::string lines, failed = WINDOWS ? "" : "rows, columns, checkerboard";  // no preloading there
    for (const ModeStatement& m : MODES)
        lines += m.name + std::string(std::string(m.where) == "buffers" ? ": not offered\n"
                                      : failed.find(m.name) == std::string::npos ? ": check passed\n"
                                      : ": check FAILED (--save-images DIR keeps what each frame must show, what was "
                                        "drawn and where they differ)\n");
    EXPECT_EQ(check("--stereo all", WINDOWS ? "" : BROKEN_GL("stipple")),
              lines + (WINDOWS ? "check passed\n0\n" : "check FAILED in " + failed + "\n1\n"));
}

// What could not be seen is not judged (status 77), and says why, one line
// on standard error or on standard output; a check that could not draw at
// all has drawn nothing wrong. Minimised from the start, it ends at once.
struct Unseen {
    const char* name;
    const char* env;
    const char* args;
    const char* says;
    const char* serverArgs = "";
};
class NotJudged : public testing::TestWithParam<Unseen> {};

TEST_P(NotJudged, SaysWhyWithStatus77) {
    const Unseen& u = GetParam();
    if (WINDOWS && std::string(u.name).compare(0, 3, "X11") == 0)
        GTEST_SKIP() << "X11 itself";
    const std::string command = runCommand(u.env, words(u.args + std::string(" --check")));
    const auto start = std::chrono::steady_clock::now();
    const std::string out = shell((*u.serverArgs ? inServer(u.serverArgs, command) : command) + " 2>&1; echo $?");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 9);
    EXPECT_TRUE(out.find(u.says) != std::string::npos && std::regex_search(out, std::regex("check not judged[^\n]*\n(.*\n)?77\n$")))
        << out;
}

const char* const OFF_SCREEN = "check not judged: part of the window lay off the screen";
INSTANTIATE_TEST_SUITE_P(Check, NotJudged, testing::Values(
    Unseen{"Minimised", "", "-iconic", WINDOWS ? "the system drew nothing into it" : "started minimised, with nothing"},
    Unseen{"NoQuadBufferedVisual", "", "--stereo quad", "no quad-buffered stereo visual"},
    // One pixel of the window on the screen: its stack swaps nothing, but the screen cannot tell.
    Unseen{"X11OnePixelOnTheScreen", BROKEN_GL("swap"), "-geometry +1279+1023", OFF_SCREEN},
    Unseen{"X11PartlyOffTheRightEdge", "", "-geometry +1000+0", OFF_SCREEN},
    Unseen{"X11PartlyOffTheBottomEdge", "", "-geometry +0+800", OFF_SCREEN},
    Unseen{"X11NoGlx", "", "", "GLX extension not supported", "-extension GLX"},
    // (Mesa's indirect GLX reads past a server string with strtol; not ours.)
    Unseen{"X11ContextNamesNoRenderer", "LIBGL_ALWAYS_INDIRECT=1 ASAN_OPTIONS=replace_str=0:intercept_strlen=0:"
                                        "intercept_strchr=0:intercept_strndup=0", "", "names no renderer"}),
    [](const testing::TestParamInfo<Unseen>& info) { return std::string(info.param.name); });

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
// The clock runs ten times as fast (libfaketime), the deadline's alarm too:
// its 30 seconds pass in 3.
TEST(Check, X11AWindowNeverShownEndsAllTheSame) {
    const std::string nomap = BROKEN_GL("nomap") " LD_PRELOAD=" FAKETIME_LIBRARY " FAKETIME=+0x10 FAKETIME_NO_CACHE=1";
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
