// --check on the real program: it passes on every correct stack here, and
// fails on GL stacks that draw wrongly (tests/broken_gl.cpp).
#include <gtest/gtest.h>

#include "harness.h"
#include "modes.h"

#include <regex>
#include <string>

namespace {

TEST(Check, PassesOnEveryCorrectStack) {
    const std::regex passed("frames of 480 x 480 pixels, stereo mode [a-z -]+, channels of [^\n]*\n"
                            "([a-z]+ \\(T = [0-9a-z ]+\\): [0-9]+ of [0-9]+ surface pixel channels off, 0 lit where "
                            "nothing may be, [^\n]*, on the screen 0 of [0-9]+ pixels differ: ok\n){3}"
                            "check passed\n0\n");
    const std::string check = " --check 2>/dev/null; echo $?";
    for (const std::string driver : {"llvmpipe", "softpipe"})
        for (const ModeStatement& mode : MODES) {
            if (std::string(mode.where) == "buffers")
                continue;
            const std::string out = shell(runCommand("GALLIUM_DRIVER=" + driver) + " --stereo " + mode.name + check);
            EXPECT_TRUE(std::regex_match(out, passed)) << driver << " " << mode.name << "\n" << out;
        }
    for (const char* depth : {"16", "30"}) {
        const std::string server = std::string("xvfb-run -a -s '-screen 0 1280x1024x") + depth + " -nolisten tcp' ";
        const std::string out = shell(server + runCommand("") + check);
        EXPECT_TRUE(std::regex_match(out, passed)) << depth << " bits\n" << out;
    }
    for (const char* size : {"32x32", "2000x2000", "1x480", "8x8"}) {
        const std::string out = shell(runCommand("") + " -geometry " + size + check);
        EXPECT_TRUE(std::regex_match(out, passed) ||
                    (std::string(size) == "1x480" && out.find("check not judged: the window was not on the screen") !=
                                                         std::string::npos && out.substr(out.size() - 2) == "2\n"))
            << size << "\n" << out;
    }
    EXPECT_TRUE(std::regex_match(shell(runCommand("") + " --fullscreen" + check), passed));
    // Eyes closer together, none apart, converged, in modes of each kind.
    for (const char* depth : {"rows --eye-separation 0.5 --convergence 15", "half-side-by-side --convergence 15 --swap-eyes",
                              "red-cyan --eye-separation 0"}) {
        const std::string out = shell(runCommand("") + " --stereo " + depth + check);
        EXPECT_TRUE(std::regex_match(out, passed)) << depth << "\n" << out;
    }
    // With no stencil buffer the interleaved modes keep to their pixels otherwise.
    for (const char* mode : {"rows", "columns", "checkerboard"}) {
        if (WINDOWS)
            break;  // no preloading there
        const std::string out =
            shell(runCommand("BROKEN_GL=nostencil LD_PRELOAD=" QUENDRIX_BROKEN_GL) + " --stereo " + mode + check);
        EXPECT_TRUE(std::regex_match(out, passed)) << "no stencil, " << mode << "\n" << out;
    }
}

// --check fails on GL stacks that draw wrongly (tests/broken_gl.cpp), one
// fault at a time, in the modes where the fault shows: each of its
// judgements (the surface, the pixels where nothing may be, the screen)
// is the one that sees some of them.
TEST(Check, FailsOnEveryBrokenStack) {
    if (WINDOWS)
        return;  // Wine's GL reaches Mesa past a preloaded library
    const std::regex failed("frames of [^\n]*\n([a-z]+ \\(T = [^\n]*: FAILED\n){3}check FAILED\n1\n");
    const std::pair<const char*, const char*> broken[] = {
        {"mask", "red-blue"}, {"mask", "red-cyan"}, {"mask", "green-magenta"}, {"mask", "yellow-blue"},
        {"green", "red-blue"}, {"right", "red-blue"}, {"up", "red-blue"}, {"narrow", "red-blue"},
        {"right", "side-by-side"}, {"up", "half-top-bottom"}, {"narrow", "half-side-by-side"}, {"up", "rows"},
        {"eyes", "red-blue"}, {"depth", "red-blue"}, {"lighting", "red-blue"}, {"cull", "red-blue"},
        {"behind", "red-blue"}, {"depthclear", "red-blue"}, {"swap", "red-blue"}, {"stipple", "rows"},
        {"stipple", "columns"}, {"stipple", "checkerboard"}, {"nostencil,stipple", "rows"}, {"right", "left"},
        {"shear", "red-cyan --convergence 15"}};
    for (const auto& [how, mode] : broken) {
        const std::string out = shell(runCommand(std::string("BROKEN_GL=") + how + " LD_PRELOAD=" QUENDRIX_BROKEN_GL) +
                                      " --check --stereo " + mode + " 2>/dev/null; echo $?");
        EXPECT_TRUE(std::regex_match(out, failed)) << how << " in " << mode << "\n" << out;
    }
}


}  // namespace
