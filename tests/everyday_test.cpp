// The everyday run, start to key: the picture, the keys, resizing, hiding,
// the clock and the records, and a hostile world around it (standard error
// closed or never read, the X connection killed, the window destroyed).
#include <gtest/gtest.h>

#include "harness.h"
#include "picture.h"

#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <unistd.h>

namespace {

// The window at its size and place, the extension list first, both eyes in
// every frame shown and moving; keys that must not end it, then q, status
// 0, and on standard error only well-formed records.
TEST(EverydayRun, DrawsBothEyesTillQ) {
    Program p(std::vector<std::string>{});
    ASSERT_TRUE(p.findWindow());
    const std::string placed = p.act("getwindowgeometry %w");
    EXPECT_NE(placed.find("Geometry: 480x480"), std::string::npos);
    EXPECT_TRUE(WINDOWS || placed.find("Position: 0,0 ") != std::string::npos) << "not wholly on the screen: " << placed;
    EXPECT_TRUE(waitFor([&] { return slurp(p.errPath).compare(0, 3, "GL_") == 0; })) << "the extension list first";

    // The first frame on screen holds the right eye's image alone; the rest hold both.
    EXPECT_TRUE(keepsDrawing(p) && keepsDrawing(p)) << "the picture does not move";
    double ratio = 0;
    for (int shot = 0; shot < 12; ++shot, pause(0.25))  // a frame of one eye only would show in some
        ratio += expectEyes(grab(p), MODES[0]) / 12;
    EXPECT_TRUE(ratio > 0.95 && ratio < 1.3) << ratio;

    p.act("key --window %w F1 F3 Shift_L Control_R");  // the arrows change the depth: DepthKeys
    EXPECT_EQ(p.status(0.5), -1) << "function and modifier keys must not end the program";
    std::string rest;  // records come every 64 frames, which a loaded machine draws slowly
    EXPECT_TRUE(waitFor([&] { return records(p, &rest).size() >= 2; }));
    p.act("key --window %w q");
    EXPECT_EQ(p.status(10), 0);
    const std::vector<long> frames = records(p, &rest);
    EXPECT_GE(frames.size(), 2u) << "no records after the extension list and its line feed";
    EXPECT_EQ(rest, lineEnd(frames)) << "after the records, nothing but the line feed that ends them";
}

// The viewport and the aspect ratio follow the window: the field stays
// centred, and the disparity follows the height. Larger than the GL driver
// can draw, again and again while it draws, it goes on.
TEST(EverydayRun, ResizedItDrawsAtTheNewSize) {
    Program p(std::vector<std::string>{});
    ASSERT_TRUE(p.findWindow());
    p.act("windowsize --sync %w 800 400");
    Picture wide;
    EXPECT_TRUE(waitFor([&] { return centred(wide = grab(p)); })) << "the field is not centred at 800 x 400";
    EXPECT_EQ(wide.width, 800);
    expectEyes(wide, MODES[0]);
    for (int cycle = 0; cycle < 8; ++cycle)
        p.act("windowsize --sync %w 32767 32767 sleep 0." + std::to_string(cycle) +
              " windowsize --sync %w 480 480 sleep 0.2");
    ASSERT_EQ(p.status(0.5), -1) << "a giant window ended the program";
    EXPECT_TRUE(keepsDrawing(p)) << "not drawing again after the giant size";
    Picture back;
    EXPECT_TRUE(waitFor([&] { return centred(back = grab(p)); })) << "not drawn at 480 x 480 again";
    expectEyes(back, MODES[0]);
}

// With the calendar clock running ten times too fast (libfaketime), the
// window's class, hidden and shown, and a key of a layout beyond Latin-1.
TEST(EverydayRun, X11ClassHiddenShownKeysAndTheClock) {
    Program p({}, ErrorTo::File,
              "LD_PRELOAD=" FAKETIME_LIBRARY " FAKETIME=+0x10 FAKETIME_DONT_FAKE_MONOTONIC=1 FAKETIME_NO_CACHE=1");
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(p.findWindow());
    // What desktops match to the desktop entry's StartupWMClass. GLUT shows
    // the window as it creates it, so the class comes a moment later.
    XClassHint hint = {};
    ASSERT_TRUE(waitFor([&] { return testDisplay() && XGetClassHint(testDisplay(), std::stoul(p.window), &hint); }));
    EXPECT_EQ(std::string(hint.res_name) + " " + hint.res_class, "quendrix Quendrix");
    XFree(hint.res_name), XFree(hint.res_class);

    // Hidden, it neither draws nor reports, and sleeps; shown, it goes on.
    // Once it has finished the frame it was drawing, its CPU time and its
    // records stand still: a rate, which load can only lower.
    p.act("windowunmap --sync %w");
    EXPECT_TRUE(waitFor([&] { const double c = p.cpuSeconds(); pause(0.5); return p.cpuSeconds() - c < 0.02; }))
        << "hidden, the program never stops";
    const double hiddenCpu = p.cpuSeconds();
    const std::string hiddenErr = slurp(p.errPath);
    pause(2.0);
    EXPECT_LT(p.cpuSeconds() - hiddenCpu, 0.2) << "hidden, the program should sleep";
    EXPECT_EQ(slurp(p.errPath), hiddenErr) << "reports went on while hidden";
    p.act("windowmap --sync %w");
    const double shownCpu = p.cpuSeconds();
    EXPECT_TRUE(keepsDrawing(p)) << "the animation did not resume";
    EXPECT_TRUE(waitFor([&] { return p.cpuSeconds() - shownCpu > 0.2; })) << "shown, it should draw continuously";

    // Records of two whole seconds or more, on a clock that must not be the
    // calendar's: that one would count ten times as many.
    std::string rest;
    long seconds = 0;
    EXPECT_TRUE(waitFor([&] { return !records(p, &rest, 1, &seconds).empty() && seconds >= 2; })) << "no records";

    // The a key of a Russian keyboard.
    mapKey(38, "Cyrillic_ef");
    p.act("key --window %w Cyrillic_ef");
    EXPECT_EQ(p.status(10), 0);
    mapKey(38, "a");
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_FALSE(records(p, &rest, 1, &seconds).empty());
    EXPECT_LE(seconds, elapsed + 1) << "the records follow the calendar clock, which ran fast";
}

// A stack that resizes the window as each eighth frame begins brings GLUT's
// news of a new size between the frame's two eyes: both are drawn at one
// size all the same (tests/broken_gl.cpp reports a frame whose are not).
TEST(EverydayRun, X11BothEyesOfAFrameAtOneSize) {
    const std::string err = shell(runCommand("BROKEN_GL=resize LD_PRELOAD=" QUENDRIX_BROKEN_GL) +
                                  " --frames 200 2>&1 >/dev/null | tr '\\r' '\\n' | grep '^resized\\|^eyes'");
    EXPECT_NE(err.find("resized the window to 500x480\n"), std::string::npos) << "the window was never resized";
    EXPECT_EQ(err.find("eyes of one frame"), std::string::npos) << err;
}

// `stty tostop`, a run, Ctrl-Z and `bg`: the next record the program writes
// stops it, wherever it is; the X server must stay free for everyone else.
// Once bg has run (the shell then says "resumed"), a stopped program is the terminal's doing.
TEST(EverydayRun, X11StoppedByItsTerminalItLeavesTheServerToOthers) {
    const std::string job = ::testing::TempDir() + "quendrix-job-" + std::to_string(getpid()) + ".sh";
    // The job's own shell names its pid: how many shells stand between
    // script and the job depends on $SHELL, which script runs the command in.
    const std::string pidPath = job + ".pid";
    std::ofstream(job) << "stty tostop\n" << runCommand() << " &\necho $! >" << quote(pidPath) << "\nfg\nbg\necho resumed\nsleep 300\n";
    Program session;  // a terminal of its own, and a shell with job control
    session.start({"script", "-qfec", "bash -m " + quote(job), "/dev/null"}, ErrorTo::File);
    ASSERT_TRUE(session.findWindow());
    const std::string program = std::to_string(std::atoi(slurp(pidPath).c_str()));
    ASSERT_GT(std::stoi(program), 0) << "no pid in " << pidPath;
    kill(std::stoi(program), SIGTSTP);  // Ctrl-Z
    ASSERT_TRUE(waitFor([&] { return slurp(session.outPath).find("resumed") != std::string::npos; })) << "no bg";
    EXPECT_TRUE(waitFor([&] { return slurp("/proc/" + program + "/stat").find(") T ") != std::string::npos; }))
        << "the background program was never stopped by its terminal";
    EXPECT_FALSE(shell("timeout 5 xdotool getdisplaygeometry").empty()) << "the X server is frozen";
    kill(-std::stoi(program), SIGKILL);
    unlink(job.c_str());
    unlink(pidPath.c_str());
}

// Ways a run meets a hostile world, and how it must end.
struct Hazard {
    const char* name;
    ErrorTo errorTo;
    const char* act;      // xdotool, after some seconds of drawing
    int status;           // exit status
    const char* message;  // what follows the records on standard error
};
class Hazards : public ::testing::TestWithParam<Hazard> {};

TEST_P(Hazards, NeverStallsAndEndsAsItShould) {
    const Hazard& t = GetParam();
    Program p({}, t.errorTo);
    ASSERT_TRUE(p.findWindow()) << "no window";
    // The extension list and some records have been tried: over a second and,
    // however loaded the machine, hundreds of frames' work.
    const double cpu = p.cpuSeconds();
    pause(2.0);
    EXPECT_TRUE(waitFor([&] { return p.cpuSeconds() - cpu > 1; })) << "the program stopped working";
    EXPECT_TRUE(keepsDrawing(p)) << "the program stopped drawing";
    p.act(t.act);
    EXPECT_EQ(p.status(5), t.status << 8) << "hung, killed, or ended otherwise";
    if (t.errorTo == ErrorTo::File) {
        std::string rest;
        const std::vector<long> frames = records(p, &rest);
        EXPECT_EQ(rest, lineEnd(frames) + t.message);
    }
}

const char* const LOST = "quendrix: lost the connection to the X server\n";
const char* const DESTROYED = "quendrix: the window was destroyed\n";
INSTANTIATE_TEST_SUITE_P(EverydayRun, Hazards, ::testing::Values(
    Hazard{"StandardErrorClosed", ErrorTo::Closed, "key --window %w space", 0, ""},
    Hazard{"ReaderGone", ErrorTo::ReaderGone, "key --window %w space", 0, ""},
    Hazard{"FullPipe", ErrorTo::FullPipe, "key --window %w space", 0, ""},
    Hazard{"TerminalNeverRead", ErrorTo::HeldTerminal, "key --window %w space", 0, ""},
    Hazard{"X11ConnectionKilled", ErrorTo::File, "windowkill %w", 1, LOST},
    Hazard{"X11WindowDestroyed", ErrorTo::File, "windowclose %w", 1, DESTROYED},
    Hazard{"X11HiddenWindowDestroyed", ErrorTo::File, "windowunmap --sync %w sleep 1 windowclose %w", 1, DESTROYED}),
    [](const ::testing::TestParamInfo<Hazard>& info) { return std::string(info.param.name); });

// Under a window manager (openbox), -iconic starts the window minimised: a
// run of frames and the check still end, and a plain run rests till shown.
// Killed, the window manager leaves its _NET_SUPPORTING_WM_CHECK on the root
// window, naming a window that is gone: the program starts all the same.
TEST(EverydayRun, X11IconicUnderAWindowManagerAndAfterItDied) {
    Program wm;
    // The tests' own connection, held, keeps the X server from resetting when the window manager goes.
    ASSERT_TRUE(testDisplay() && startWindowManager(&wm));
    const auto wmCheck = [] { return shell("xprop -root _NET_SUPPORTING_WM_CHECK | grep -o '0x[0-9a-f]*' | tr -d '\\n'"); };
    EXPECT_EQ(Program({"--frames", "100", "-iconic"}).status(120), 0) << "a --frames run did not end";
    EXPECT_EQ(Program({"--check", "-iconic"}).status(120), 77 << 8) << "--check did not end, or judged nothing on the screen";

    Program p({"-iconic"});
    p.window = xdotool("search --sync --name '^Quendrix$' | head -n 1 | tr -d '\\n'");
    EXPECT_TRUE(waitFor([&] { return shell("xprop -id " + p.window + " WM_STATE").find("Iconic") != std::string::npos &&
                                     xdotool("search --onlyvisible --name '^Quendrix$'").empty(); })) << "not minimised";
    const double cpu = p.cpuSeconds();
    pause(2.0);
    EXPECT_LT(p.cpuSeconds() - cpu, 0.2) << "minimised, the program should sleep";
    p.act("windowactivate --sync %w");
    EXPECT_TRUE(waitFor([&] { return keepsDrawing(p); }, 30)) << "shown, it does not draw";  // once openbox's animation ends

    const std::string gone = wmCheck();
    kill(wm.pid, SIGKILL);
    ASSERT_TRUE(waitFor([&] { return shell("xprop -id " + gone + " 2>&1").find("BadWindow") != std::string::npos; }) &&
                wmCheck() == gone) << "the dead window manager's window must be gone, and still named on the root window";
    EXPECT_EQ(Program({"--frames", "20"}).status(120), 0) << "the dead window manager's mark stops the start";
}

// A run of frames is work a script waits for: it ends with its result
// wherever the window is. (A context that cannot draw is refused at once,
// as Check/NotJudged.X11ContextNamesNoRenderer sees.)
struct Launch {
    const char* name;
    std::vector<std::string> args;
    const char* act;  // xdotool, %w the window, once it is shown
    const char* shows = "";  // in what the xdotool command prints
};
class FramesRun : public ::testing::TestWithParam<Launch> {};

TEST_P(FramesRun, AlwaysEnds) {
    const Launch& r = GetParam();
    std::vector<std::string> args = r.args;
    args.insert(args.end(), {"--frames", "200"});
    Program p(args);
    if (*r.act) {
        ASSERT_TRUE(p.shown());
        EXPECT_TRUE(waitFor([&] { return p.act(r.act).find(r.shows) != std::string::npos; }));
    }
    EXPECT_EQ(p.status(120), 0) << "hung, or ended otherwise";
    std::string before;
    expectResult(p, 200, &before);
}

INSTANTIATE_TEST_SUITE_P(EverydayRun, FramesRun, ::testing::Values(
    Launch{"Hidden", {}, "windowunmap --sync %w"},
    Launch{"OffScreen", {"-geometry", "100x100+2000+10"}, ""},
    Launch{"OnePixel", {"-geometry", "1x1"}, ""},
    Launch{"OneRow", {"-geometry", "480x1"}, ""},
    Launch{"LargerThanTheDriverDraws", {"-geometry", "20000x20000"}, ""},
    // With no window manager, a full-screen window starts at the corner.
    Launch{"X11FullScreen", {"--fullscreen"}, "getwindowgeometry %w", "Position: 0,0 (screen: 0)\n  Geometry: 1280x1024"}),
    [](const ::testing::TestParamInfo<Launch>& info) { return std::string(info.param.name); });

}  // namespace
