// The real program in a real X server (the test command runs this binary
// under xvfb-run, with Mesa's software GL): its window, its pixels, its
// standard streams and its exit status. xdotool finds, moves, resizes, hides,
// destroys and keys the window; the pixels are read with XGetImage.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <regex>
#include <set>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace {

// The program as built here, or the command in QUENDRIX_PROGRAM: a Windows
// build under Wine, whose lines end with CR LF, read here as LF. Tests about
// X11 itself have X11 in their names; under Wine the others run.
const std::string PROGRAM = getenv("QUENDRIX_PROGRAM") ? getenv("QUENDRIX_PROGRAM") : QUENDRIX_BINARY;
const bool WINDOWS = PROGRAM.size() > 4 && PROGRAM.compare(PROGRAM.size() - 4, 4, ".exe") == 0;

std::string shell(const std::string& command) {
    std::string out;
    char buf[512];
    FILE* p = popen(command.c_str(), "r");
    while (p && std::fgets(buf, sizeof buf, p))
        out += buf;
    if (p)
        pclose(p);
    return WINDOWS ? std::regex_replace(out, std::regex("\r\n"), "\n") : out;
}

std::string xdotool(const std::string& args) { return shell("timeout 30 xdotool " + args + " 2>/dev/null"); }

void pause(double seconds) { usleep(static_cast<useconds_t>(seconds * 1e6)); }

std::string slurp(const std::string& path) { return shell("cat '" + path + "' 2>/dev/null"); }

// Where the program's standard error goes: a file the test reads, or one of
// the states a user can leave it in, in which the program must go on.
enum class ErrorTo { File, Closed, ReaderGone, FullPipe, HeldTerminal };

// The program's end of a pipe or terminal in the given state, inherited by
// the program. The other end is never read, and stays open till the tests end.
int brokenStream(ErrorTo to) {
    int fds[2];
    if (to == ErrorTo::HeldTerminal ? openpty(&fds[0], &fds[1], nullptr, nullptr, nullptr) : pipe2(fds, O_CLOEXEC))
        return -1;
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    fcntl(fds[1], F_SETFD, 0);
    const int flags = fcntl(fds[1], F_GETFL);
    fcntl(fds[1], F_SETFL, flags | O_NONBLOCK);  // filled without blocking, handed over blocking
    char block[256] = {};
    while (to != ErrorTo::ReaderGone && write(fds[1], block, sizeof block) > 0) {
    }
    fcntl(fds[1], F_SETFL, flags);
    // A held terminal with a little room reports room, then holds a longer
    // write until someone reads.
    if (to == ErrorTo::HeldTerminal && read(fds[0], block, sizeof block) != sizeof block)
        ADD_FAILURE() << "cannot make room in the terminal";
    if (to == ErrorTo::ReaderGone)
        close(fds[0]);
    return fds[1];
}

// The program's command line, less its arguments, with extra environment.
std::string runCommand(std::string env) {
    std::string preload = QUENDRIX_PRELOAD;
    const size_t at = env.find("LD_PRELOAD=");
    if (at != std::string::npos) {
        const size_t end = env.find(' ', at);
        preload += " " + env.substr(at + 11, end - at - 11);
        env.erase(at, end == std::string::npos ? std::string::npos : end - at);
    }
    return "env -u GLUT_FPS LIBGL_ALWAYS_SOFTWARE=1 LD_PRELOAD='" + preload + "' " QUENDRIX_RUN_ENV " " + env + " " +
           PROGRAM;
}

// One run of the real program, its output streams in files.
struct Program {
    pid_t pid = -1;
    std::string window, errPath, outPath;
    Program() = default;

    // env: assignments for this run; a LD_PRELOAD there joins the build's.
    explicit Program(const std::vector<std::string>& args, ErrorTo to = ErrorTo::File, const std::string& env = "") {
        std::string command = runCommand(env);
        for (const std::string& a : args)
            command += " '" + a + "'";
        start(command, to);
    }
    void start(const std::string& command, ErrorTo to, const std::string& input = "/dev/null") {
        static int runs = 0;
        errPath = ::testing::TempDir() + "quendrix-" + std::to_string(getpid()) + "-" + std::to_string(++runs);
        outPath = errPath + ".out";
        const int fd = to > ErrorTo::Closed ? brokenStream(to) : -1;
        const std::string fdText = std::to_string(fd);
        const std::string line = "exec " + command + " <" + input + " >" + outPath + " 2>" +
                                 (to == ErrorTo::File ? errPath : to == ErrorTo::Closed ? "&-" : "&" + fdText + " " + fdText + ">&-");
        const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
        EXPECT_EQ(posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
        if (fd >= 0)
            close(fd);
    }
    ~Program() {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        unlink(errPath.c_str());
        unlink(outPath.c_str());
    }

    // The status from waitpid, or -1 while it has not ended within the time.
    int status(double seconds) {
        for (int status = 0;; seconds -= 0.02, pause(0.02)) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return status;
            }
            if (seconds <= 0)
                return -1;
        }
    }
    double cpuSeconds() const {
        clockid_t clock;
        timespec t = {};
        if (clock_getcpuclockid(pid, &clock) == 0)
            clock_gettime(clock, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    }
    // Waits for the window titled exactly "Quendrix" (xdotool's search
    // ignores case) to be shown. With no window manager it sits partly off
    // the screen, where its pixels cannot be read, so it is moved.
    bool findWindow() {
        window = xdotool("search --sync --onlyvisible --name '^Quendrix$'");
        window = window.substr(0, window.find('\n'));
        EXPECT_EQ(act("getwindowname %w"), "Quendrix\n");
        act("windowmove --sync %w 0 0");
        return !window.empty();
    }
    // An xdotool command line, %w standing for the window.
    std::string act(std::string command) {
        for (size_t at; (at = command.find("%w")) != std::string::npos;)
            command.replace(at, 2, window);
        return xdotool(command);
    }
};

// What a window shows, by channel: red, green, blue.
struct Picture {
    int width = 0, height = 0;
    long lit[3] = {};               // pixels with a nonzero value
    double cx[3] = {}, cy[3] = {};  // their centroid
    std::set<unsigned long> levels[3];  // distinct values
    std::string pixels;
    std::vector<unsigned char> rgb;     // 8 bits a channel, the top row first
    unsigned char at(int x, int y, int c) const { return rgb[(static_cast<size_t>(y) * width + x) * 3 + c]; }
};

// The tests' own connection to the X server.
Display* testDisplay() {
    static Display* display = [] {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // a window gone: an empty picture
        return XOpenDisplay(nullptr);
    }();
    return display;
}

// Gives a key of the keyboard another symbol, as a keyboard layout does.
void mapKey(int keycode, const char* keysym) {
    KeySym symbol = XStringToKeysym(keysym);
    XChangeKeyboardMapping(testDisplay(), keycode, 1, &symbol, 1);
    XSync(testDisplay(), False);
}

Picture grab(const Program& p) {
    Display* display = testDisplay();
    Picture pic;
    XWindowAttributes a;
    XImage* image = nullptr;
    if (!display || !XGetWindowAttributes(display, std::stoul(p.window), &a) ||
        !(image = XGetImage(display, std::stoul(p.window), 0, 0, a.width, a.height, AllPlanes, ZPixmap)))
        return pic;
    pic.width = a.width;
    pic.height = a.height;
    pic.pixels.assign(image->data, static_cast<size_t>(image->bytes_per_line) * a.height);
    const unsigned long masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const unsigned long v = ((XGetPixel(image, x, y) & masks[c]) >> __builtin_ctzl(masks[c])) & 255;
                pic.rgb.push_back(static_cast<unsigned char>(v));
                if (v != 0)
                    ++pic.lit[c], pic.cx[c] += x, pic.cy[c] += y, pic.levels[c].insert(v);
            }
    for (int c = 0; c < 3; ++c)
        pic.cx[c] /= std::max(pic.lit[c], 1L), pic.cy[c] /= std::max(pic.lit[c], 1L);
    XDestroyImage(image);
    return pic;
}

bool keepsDrawing(const Program& p) {
    const Picture first = grab(p);
    pause(0.4);
    return !first.pixels.empty() && first.pixels != grab(p).pixels;
}

// Lit spheres in red and blue, never green, and the red image to the right of
// the blue one by the disparity of a point at the field's centre: the
// projection shifts x_ndc by f / aspect * 0.5 / 15 either way. Spheres in
// front of the centre part more than those behind, so the centroids part by
// somewhat more, how much depending on the tumble. Returns the ratio.
double expectAnaglyph(const Picture& p) {
    const double expected = 1 / std::tan(25 * M_PI / 180) / (1.0 * p.width / p.height) / 15 * p.width / 2;
    EXPECT_EQ(p.lit[1], 0) << "the anaglyph is red/blue: nothing is drawn into green";
    EXPECT_GT(std::min(p.lit[0], p.lit[2]), 1000) << "a frame without the red or the blue image";
    EXPECT_GT(std::min(p.levels[0].size(), p.levels[2].size()), 20u) << "lit spheres are shaded, not flat";
    EXPECT_NEAR(p.cy[0], p.cy[2], 8.0) << "the eyes are side by side";
    const double ratio = (p.cx[0] - p.cx[2]) / expected;
    EXPECT_TRUE(ratio > 0.7 && ratio < 1.5) << "disparity " << ratio << " times the " << expected
                                            << " px expected; negative: the eyes are swapped";
    return ratio;
}

// The frames of the records after the extension line (and as many more
// lines), each "\r<frames> frames in <s>s (<rate>fps)" and well formed; *rest
// is what follows them.
std::vector<long> records(const Program& p, std::string* rest, int lines = 1, long* lastSeconds = nullptr) {
    static const std::regex record("\r([0-9]+) frames in ([0-9]+)s \\(([0-9]+\\.[0-9]{4})fps\\)");
    const std::string err = slurp(p.errPath);
    std::vector<long> frames;
    std::smatch m;
    size_t start = 0;
    for (int line = 0; line < lines; ++line)
        start = err.find('\n', start) + 1;
    auto at = err.cbegin() + static_cast<long>(start);
    for (; std::regex_search(at, err.cend(), m, record, std::regex_constants::match_continuous); at = m[0].second) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.4f", std::stod(m[1]) / std::stod(m[2]));
        EXPECT_EQ(m[3].str(), rate);
        EXPECT_TRUE(frames.empty() || std::stol(m[1]) > frames.back());
        frames.push_back(std::stol(m[1]));
        if (lastSeconds)
            *lastSeconds = std::stol(m[2]);
    }
    *rest = std::string(at, err.cend());
    return frames;
}

// When the program ends after a record, a line feed ends the record's line.
std::string lineEnd(const std::vector<long>& frames) { return frames.empty() ? "" : "\n"; }

TEST(Window, AnEveryDayRunFromStartToKey) {
    Program p(std::vector<std::string>{});
    ASSERT_TRUE(p.findWindow());
    EXPECT_NE(p.act("getwindowgeometry %w").find("Geometry: 480x480"), std::string::npos);
    EXPECT_EQ(slurp(p.errPath).compare(0, 3, "GL_"), 0) << "the extension list first";

    EXPECT_TRUE(keepsDrawing(p)) << "the picture does not move";
    double ratio = 0;
    for (int shot = 0; shot < 12; ++shot, pause(0.25))  // a frame of one eye only would show in some
        ratio += expectAnaglyph(grab(p)) / 12;
    EXPECT_TRUE(ratio > 0.95 && ratio < 1.3) << ratio;

    p.act("key --window %w Left F1 Shift_L Control_R");
    EXPECT_EQ(p.status(0.5), -1) << "arrow, function and modifier keys must not end the program";

    // The viewport and the aspect ratio follow the window: the field stays
    // centred, and the disparity follows the height.
    p.act("windowsize --sync %w 800 400");
    pause(0.7);
    const Picture wide = grab(p);
    ASSERT_EQ(wide.width, 800);
    expectAnaglyph(wide);
    EXPECT_NEAR((wide.cx[0] + wide.cx[2]) / 2, 400, 60);

    // Larger than the GL driver can draw, again and again while it draws.
    for (int cycle = 0; cycle < 8; ++cycle)
        p.act("windowsize --sync %w 32767 32767 sleep 0." + std::to_string(cycle) +
              " windowsize --sync %w 480 480 sleep 0.2");
    ASSERT_EQ(p.status(0.5), -1) << "a giant window ended the program";
    EXPECT_TRUE(keepsDrawing(p)) << "not drawing again after the giant size";
    expectAnaglyph(grab(p));

    p.act("key --window %w q");
    EXPECT_EQ(p.status(10), 0);
    std::string rest;
    const std::vector<long> frames = records(p, &rest);
    EXPECT_GE(frames.size(), 2u) << "no records after the extension list and its line feed";
    EXPECT_EQ(rest, lineEnd(frames)) << "after the records, nothing but the line feed that ends them";
}

// With the calendar clock running ten times too fast (libfaketime), the
// window's class, hidden and shown, and a key of a layout beyond Latin-1.
TEST(Window, X11ClassHiddenShownKeysAndTheClock) {
    Program p({}, ErrorTo::File,
              "LD_PRELOAD=" FAKETIME_LIBRARY " FAKETIME='+0 x10' FAKETIME_DONT_FAKE_MONOTONIC=1 FAKETIME_NO_CACHE=1");
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(p.findWindow());
    XClassHint hint = {};  // what desktops match to the desktop entry's StartupWMClass
    ASSERT_TRUE(testDisplay() && XGetClassHint(testDisplay(), std::stoul(p.window), &hint));
    EXPECT_EQ(std::string(hint.res_name) + " " + hint.res_class, "quendrix Quendrix");
    XFree(hint.res_name), XFree(hint.res_class);

    // Hidden, it neither draws nor reports, and sleeps; shown, it goes on.
    p.act("windowunmap --sync %w");
    pause(0.5);
    const double hiddenCpu = p.cpuSeconds();
    const std::string hiddenErr = slurp(p.errPath);
    pause(2.0);
    EXPECT_LT(p.cpuSeconds() - hiddenCpu, 0.2) << "hidden, the program should sleep";
    EXPECT_EQ(slurp(p.errPath), hiddenErr) << "reports went on while hidden";
    p.act("windowmap --sync %w");
    pause(0.5);
    const double shownCpu = p.cpuSeconds();
    EXPECT_TRUE(keepsDrawing(p)) << "the animation did not resume";
    EXPECT_GT(p.cpuSeconds() - shownCpu, 0.2) << "shown, it should draw continuously";

    // The a key of a Russian keyboard.
    mapKey(38, "Cyrillic_ef");
    p.act("key --window %w Cyrillic_ef");
    EXPECT_EQ(p.status(10), 0);
    mapKey(38, "a");
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::string rest;
    long seconds = 0;
    records(p, &rest, 1, &seconds);
    EXPECT_LE(seconds, elapsed + 1) << "the records follow the calendar clock, which ran fast";
}

// `stty tostop`, a run, Ctrl-Z and `bg`: the next record the program writes
// stops it, wherever it is; the X server must stay free for everyone else.
TEST(Window, X11StoppedByItsTerminalItLeavesTheServerToOthers) {
    const std::string job = ::testing::TempDir() + "quendrix-job-" + std::to_string(getpid()) + ".sh";
    std::FILE* script = std::fopen(job.c_str(), "w");
    ASSERT_TRUE(script) << job;
    std::fprintf(script, "stty tostop\n%s &\nfg\nbg\nsleep 300\n", runCommand("").c_str());
    std::fclose(script);
    Program session;  // a terminal of its own, and a shell with job control
    session.start("script -qfec 'bash -m " + job + "' /dev/null", ErrorTo::File);
    ASSERT_TRUE(session.findWindow());
    auto child = [](const std::string& pid) { return slurp("/proc/" + pid + "/task/" + pid + "/children"); };
    const std::string program = std::to_string(std::atoi(child(std::to_string(std::atoi(child(
        std::to_string(session.pid)).c_str()))).c_str()));
    kill(std::stoi(program), SIGTSTP);  // Ctrl-Z
    bool stopped = false;
    for (int i = 0; i < 50 && !stopped; ++i, pause(0.1))  // bg, then the next record
        stopped = i > 10 && slurp("/proc/" + program + "/stat").find(") T ") != std::string::npos;
    EXPECT_TRUE(stopped) << "the background program was never stopped by its terminal";
    EXPECT_FALSE(shell("timeout 5 xdotool getdisplaygeometry").empty()) << "the X server is frozen";
    kill(-std::stoi(program), SIGKILL);
    unlink(job.c_str());
}

// Ways a run meets a hostile world, and how it must end.
struct Hazard {
    const char* name;
    ErrorTo errorTo;
    const char* act;      // xdotool, after two seconds of drawing
    int status;           // exit status
    const char* message;  // what follows the records on standard error
};
class Trouble : public ::testing::TestWithParam<Hazard> {};

TEST_P(Trouble, NeverStallsAndEndsAsItShould) {
    const Hazard& t = GetParam();
    Program p({}, t.errorTo);
    ASSERT_TRUE(p.findWindow()) << "no window";
    pause(2.0);  // the extension list and some records have been tried
    EXPECT_TRUE(keepsDrawing(p)) << "the program stopped drawing";
    p.act(t.act);
    const int status = p.status(5);
    ASSERT_TRUE(WIFEXITED(status)) << "hung or killed by a signal: " << status;
    EXPECT_EQ(WEXITSTATUS(status), t.status);
    if (t.errorTo == ErrorTo::File) {
        std::string rest;
        const std::vector<long> frames = records(p, &rest);
        EXPECT_EQ(rest, lineEnd(frames) + t.message);
    }
}

const char* const LOST = "quendrix: lost the connection to the X server\n";
const char* const DESTROYED = "quendrix: the window was destroyed\n";
INSTANTIATE_TEST_SUITE_P(Window, Trouble, ::testing::Values(
    Hazard{"StandardErrorClosed", ErrorTo::Closed, "key --window %w space", 0, ""},
    Hazard{"ReaderGone", ErrorTo::ReaderGone, "key --window %w space", 0, ""},
    Hazard{"FullPipe", ErrorTo::FullPipe, "key --window %w space", 0, ""},
    Hazard{"TerminalNeverRead", ErrorTo::HeldTerminal, "key --window %w space", 0, ""},
    Hazard{"X11ConnectionKilled", ErrorTo::File, "windowkill %w", 1, LOST},
    Hazard{"X11WindowDestroyed", ErrorTo::File, "windowclose %w", 1, DESTROYED},
    Hazard{"X11HiddenWindowDestroyed", ErrorTo::File, "windowunmap --sync %w sleep 1 windowclose %w", 1, DESTROYED}),
    [](const ::testing::TestParamInfo<Hazard>& info) { return std::string(info.param.name); });

// What the program says and does for each command line, with no display at
// all where it needs none, and as scripts read it.
TEST(Options, EveryCommandLineAnswersAsDocumented) {
    const std::string run = "env -u DISPLAY " + PROGRAM, usage = shell(run + " --help; echo $?");
    const std::string manual = slurp(QUENDRIX_MANUAL);
    EXPECT_EQ(usage.substr(usage.size() - 3), "\n0\n");
    for (const char* option : {"--stereo", "--swap-eyes", "--samples", "--fullscreen", "--frames", "--swap-interval",
                               "--info", "--check", "-geometry",
                               "-display", "-iconic", "-direct", "-indirect", "-gldebug", "-sync", "--help",
                               "--version"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
        EXPECT_NE(manual.find(std::regex_replace(option, std::regex("-"), "\\-")), std::string::npos) << option;
    }
    const std::string tryHelp = "Try 'quendrix --help' for more information.\n";
    const std::pair<std::string, std::string> answers[] = {
        {" --version", "quendrix " QUENDRIX_VERSION "\nCopyright (C) 2026 The Quendrix developers\nLicense MIT: "
                       "<https://opensource.org/licenses/MIT>\nThis is free software: you are free to change and "
                       "redistribute it.\nThere is NO WARRANTY, to the extent permitted by law.\n0\n"},
        {" --frame 5 --help | head -c 6", "Usage:0\n"},  // --help wins
        {" --frame 5 2>&1", "quendrix: unrecognized option '--frame'\n" + tryHelp + "2\n"},
        {" --info=yes 2>&1", "quendrix: option '--info' doesn't allow an argument\n" + tryHelp + "2\n"},
        {" extra 2>&1", "quendrix: unexpected argument 'extra'\n" + tryHelp + "2\n"},
        {" -display 2>&1", "quendrix: option '-display' requires an argument\n" + tryHelp + "2\n"},
        {" --frames 12x 2>&1",
         "quendrix: --frames needs a whole number of frames from 1 to 1000000000, not '12x'\n" + tryHelp + "2\n"},
        {" --swap-interval=-1 2>&1",
         "quendrix: --swap-interval needs a whole number from 0 to 1000, not '-1'\n" + tryHelp + "2\n"},
        {" --samples 1 2>&1", "quendrix: --samples needs a whole number of samples from 2 to 64, not '1'\n" + tryHelp + "2\n"},
        {" --stereo=anaglyph 2>&1",
         "quendrix: --stereo needs one of red-blue, red-cyan, green-magenta, yellow-blue, side-by-side, cross-eyed, "
         "half-side-by-side, top-bottom, half-top-bottom, rows, columns, checkerboard, quad, left, right, not "
         "'anaglyph'\n" + tryHelp + "2\n"},
        {" --help 2>&1 >/dev/full", "quendrix: write error on standard output: No space left on device\n1\n"},
        {" --version 2>&1 >&-", "quendrix: write error on standard output: Bad file descriptor\n1\n"},
        {" 2>&1", "quendrix: no X display: DISPLAY is not set; on a machine with no screen, run it under "
                  "'xvfb-run -a'\n1\n"},
        {" -display :999 2>&1", "quendrix: cannot open the X display ':999'; on a machine with no screen, run it "
                                "under 'xvfb-run -a'\n1\n"},
    };
    for (const auto& [args, answer] : answers)  // no X display, no Windows
        EXPECT_EQ(WINDOWS && answer.find("X display") != std::string::npos ? answer : shell(run + args + "; echo $?"),
                  answer) << args;
    EXPECT_EQ(shell(runCommand("") + " --info --frames 64 2>&1 >/dev/full | tail -n 1; echo $?"),
              "quendrix: write error on standard output: No space left on device\n0\n");
    EXPECT_EQ(shell(runCommand("") + " --info --frames 64 >/dev/full 2>/dev/null; echo $?"), "1\n");
    // What the display has not got is said before any window opens.
    EXPECT_EQ(shell(runCommand("") + " --stereo quad 2>&1; echo $?"),
              "quendrix: the display offers no quad-buffered stereo visual; try another --stereo mode\n1\n");
    EXPECT_EQ(shell(runCommand("") + " --samples 5 2>&1; echo $?"),
              "quendrix: the display offers no visual with 5 samples a pixel; try fewer --samples\n1\n");
    EXPECT_NE(shell(runCommand("") + " --samples 2 --info --frames 1 2>/dev/null").find("\nsamples: 4\n"), std::string::npos);
}

// The result line of a run of frames on standard output, its rate exactly
// the frames over the seconds printed; what came before it there is *before.
void expectResult(const Program& p, long frames, std::string* before) {
    std::smatch m;
    const std::string out = slurp(p.outPath);
    ASSERT_TRUE(std::regex_search(out, m, std::regex("([0-9]+) frames in ([0-9]+\\.[0-9]{3})s \\(([0-9.]+)fps\\)\n$")))
        << out;
    EXPECT_EQ(std::stol(m[1]), frames);
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.4f", frames / std::stod(m[2]));
    EXPECT_EQ(m[3].str(), rate);
    *before = m.prefix();
}

TEST(Options, GeometryPlacesTheWindowFramesEndsTheRunInfoNamesTheDriver) {
    Program p({"-geometry", "640x360+30+40", "--frames", "512", "--info", "--swap-interval", "1"});
    const std::string placed = xdotool("search --sync --onlyvisible --name '^Quendrix$' getwindowgeometry");
    EXPECT_NE(placed.find("Geometry: 640x360"), std::string::npos) << placed;
    // Windows places the frame there; the inside lies a border and a title bar further.
    int x = -1, y = -1;
    std::sscanf(placed.c_str() + std::min(placed.find("Position: "), placed.size()), "Position: %d,%d", &x, &y);
    EXPECT_TRUE(WINDOWS ? x > 30 && x < 60 && y > 40 && y < 100 : x == 30 && y == 40) << placed;
    EXPECT_EQ(p.status(120), 0);
    std::string info, rest;
    expectResult(p, 512, &info);
    EXPECT_TRUE(std::regex_match(info, std::regex("GL_RENDERER: .+\nGL_VERSION: .+\nGL_VENDOR: .+\n"
                                                  "swap interval: ([0-9]+|unknown)\nsamples: 0\n"))) << info;
    // Where the driver cannot set the interval (Mesa's software GL), one line
    // after the extension list says so; then come the records alone.
    const bool refused = info.find("swap interval: 1\n") == std::string::npos;
    const std::vector<long> frames = records(p, &rest, refused ? 2 : 1);
    EXPECT_TRUE(frames.empty() || frames.back() < 512) << "ran past its frames";
    EXPECT_EQ(rest, lineEnd(frames)) << "standard error holds the extension list and the records only";
    EXPECT_EQ(slurp(p.errPath).find("\nquendrix: the driver cannot set the swap interval to 1\n") != std::string::npos,
              refused);
}

// A run of frames is work a script waits for: it ends with its result
// wherever the window is, or says at once why it cannot draw.
struct Launch {
    const char* name;
    std::vector<std::string> args;
    const char* act;  // xdotool, once the window is there
    std::string env;
    const char* shows = "";  // in what the xdotool command prints
};
class FramesRun : public ::testing::TestWithParam<Launch> {};

TEST_P(FramesRun, AlwaysEnds) {
    const Launch& r = GetParam();
    std::vector<std::string> args = r.args;
    args.insert(args.end(), {"--frames", "200"});
    Program p(args, ErrorTo::File, r.env);
    if (*r.act) {
        ASSERT_FALSE(xdotool("search --sync --name '^Quendrix$'").empty());
        pause(0.3);
        EXPECT_NE(xdotool(std::string("search --name '^Quendrix$' ") + r.act).find(r.shows), std::string::npos);
    }
    const int status = p.status(120);
    ASSERT_TRUE(WIFEXITED(status)) << "hung or killed by a signal: " << status;
    if (r.env.empty()) {
        EXPECT_EQ(WEXITSTATUS(status), 0);
        std::string before;
        expectResult(p, 200, &before);
    } else {  // a context that gives nothing
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(slurp(p.errPath), "quendrix: the OpenGL context names no renderer or has no viewport to draw: "
                                    "the GL stack is broken\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Options, FramesRun, ::testing::Values(
    Launch{"Hidden", {}, "windowunmap --sync", ""},
    Launch{"OffScreen", {"-geometry", "100x100+2000+10"}, "", ""},
    Launch{"OnePixel", {"-geometry", "1x1"}, "", ""},
    Launch{"OneRow", {"-geometry", "480x1"}, "", ""},
    Launch{"LargerThanTheDriverDraws", {"-geometry", "20000x20000"}, "", ""},
    // (Mesa's indirect GLX reads past a server string with strtol; not ours.)
    Launch{"X11IndirectContextGivesNothing", {}, "",
           "LIBGL_ALWAYS_INDIRECT=1 ASAN_OPTIONS=replace_str=0:intercept_strlen=0:intercept_strchr=0:intercept_strndup=0"},
    // With no window manager, a full-screen window starts at the corner.
    Launch{"X11FullScreen", {"--fullscreen"}, "getwindowgeometry", "", "Position: 0,0 (screen: 0)\n  Geometry: 1280x1024"}),
    [](const ::testing::TestParamInfo<Launch>& info) { return std::string(info.param.name); });

// The stereo modes as their manual states them (shared with the unit tests).
#include "modes.h"

// What the window shows in a stereo mode, against the manual: for each eye,
// the pixels and channels it owns; nothing lit anywhere else; each eye's
// image where its viewpoint puts it. Odd widths, and an even height, so
// that halves and interleaving counted from the wrong edge show.
struct ModeRun {
    int mode;
    bool swapped;
    int samples;
};
class Stereo : public ::testing::TestWithParam<ModeRun> {};

// Which eye owns the channel c of pixel (x, y), counted from the top left
// of a w x h window: 0 left, 1 right, -1 none.
int owner(const ModeStatement& m, int x, int y, int c, int w, int h) {
    const std::string where = m.where;
    int eye = 0;
    if (where.find("halves") != std::string::npos)
        eye = (x >= w / 2) != (where == "crossed halves");
    else if (where.find("top bottom") != std::string::npos)
        eye = y >= h / 2;
    else if (where == "rows" || where == "columns" || where == "squares")
        eye = (where == "rows" ? y : where == "columns" ? x : x + y) % 2;
    else  // the anaglyphs: each channel its eye's, if any
        return std::string(m.left).find("rgb"[c]) != std::string::npos    ? 0
               : std::string(m.right).find("rgb"[c]) != std::string::npos ? 1
                                                                          : -1;
    return std::string(eye ? m.right : m.left).empty() ? -1 : eye;
}

TEST_P(Stereo, EachEyeSeesItsOwnViewAndNothingElse) {
    const ModeRun& r = GetParam();
    const ModeStatement& m = MODES[r.mode];
    const std::string where = m.where;
    const bool halves = where.find("halves") != std::string::npos;  // wide enough for the field in each
    std::vector<std::string> args = {"--stereo", m.name, "-geometry", halves ? "961x361" : "481x360"};
    if (r.swapped)
        args.push_back("--swap-eyes");
    if (r.samples)
        args.insert(args.end(), {"--samples", std::to_string(r.samples)});
    Program p(args);
    ASSERT_TRUE(p.findWindow());
    for (int wait = 0; wait < 600 && slurp(p.errPath).find('\r') == std::string::npos; ++wait)
        pause(0.1);  // until the first record: frames with both eyes are being shown
    const bool interleaved = where == "rows" || where == "columns" || where == "squares";
    for (int shot = 0; shot < 3; ++shot) {
        if (shot == 2 && interleaved)  // the eyes follow the window's pixels, not the screen's
            p.act("windowmove --sync %w 1 1");
        const Picture pic = grab(p);
        ASSERT_EQ(pic.width, halves ? 961 : 481);
        long stray = 0, lit[2] = {}, low = 0;
        double sum[2] = {};
        for (int y = 0; y < pic.height; ++y)
            for (int x = 0; x < pic.width; ++x)
                for (int c = 0; c < 3; ++c) {
                    const int v = pic.at(x, y, c), eye = owner(m, x, y, c, pic.width, pic.height);
                    if (v && eye < 0)
                        ++stray;
                    if (!v || eye < 0)
                        continue;
                    ++lit[eye];
                    low += v < 10;  // below the ambient light alone: only where a pixel is partly covered
                    sum[eye] += x - (halves && x >= pic.width / 2 ? pic.width / 2 : 0);
                }
        EXPECT_EQ(stray, 0) << "lit where no eye may draw";
        const bool oneEye = !*m.left || !*m.right;
        EXPECT_GT(std::max(lit[0], lit[1]), 1000);
        EXPECT_EQ(std::min(lit[0], lit[1]) > 1000, !oneEye);
        EXPECT_EQ(low > 100, r.samples > 0) << low << " pixel channels of intermediate level: anti-aliased edges";
        if (oneEye)
            continue;
        // The left viewpoint's image lies right of the right one's, by the
        // disparity of the field's centre: half a unit each way at 15 units,
        // in proportion to the height of the picture, or to half of it where
        // it is squeezed to half its width or has half the height.
        const double height = where == "top bottom" || where == "squeezed halves" ? pic.height / 2.0 : pic.height;
        const double expected = height / 2 / std::tan(25 * M_PI / 180) / 15;
        const double ratio = (sum[0] / lit[0] - sum[1] / lit[1]) / expected * (r.swapped ? -1 : 1);
        EXPECT_TRUE(ratio > 0.7 && ratio < 1.5) << "disparity " << ratio << " times the " << expected << " px expected";
    }
}

INSTANTIATE_TEST_SUITE_P(Window, Stereo, ::testing::ValuesIn([] {
    std::vector<ModeRun> runs;
    for (int mode = 0; mode < static_cast<int>(std::size(MODES)); ++mode)
        if (std::string(MODES[mode].where) != "buffers")
            runs.push_back({mode, false, 0});
    runs.push_back({0, true, 0});    // red-blue, eyes swapped
    runs.push_back({9, true, 4});    // rows, eyes swapped, anti-aliased
    runs.push_back({0, false, 4});   // red-blue, anti-aliased
    return runs;
}()), [](const ::testing::TestParamInfo<ModeRun>& info) {
    std::string name = MODES[info.param.mode].name;
    name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
    return name + (info.param.swapped ? "SwapEyes" : "") + (info.param.samples ? "Samples" : "");
});

// --check on every correct stack here, in every stereo mode, and at every
// window size: it judges frames of its own size, and on the screen. A window
// one pixel wide at the screen's left edge (where it starts without a window
// manager) shows nothing there, and the check says it cannot judge.
TEST(Options, CheckPassesOnEveryCorrectStack) {
    const std::regex passed("frames of 480 x 480 pixels, stereo mode [a-z-]+, channels of [^\n]*\n"
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
TEST(Options, CheckFailsOnEveryBrokenStack) {
    if (WINDOWS)
        return;  // Wine's GL reaches Mesa past a preloaded library
    const std::regex failed("frames of [^\n]*\n([a-z]+ \\(T = [^\n]*: FAILED\n){3}check FAILED\n1\n");
    const std::pair<const char*, const char*> broken[] = {
        {"mask", "red-blue"}, {"mask", "red-cyan"}, {"mask", "green-magenta"}, {"mask", "yellow-blue"},
        {"green", "red-blue"}, {"right", "red-blue"}, {"up", "red-blue"}, {"narrow", "red-blue"},
        {"right", "side-by-side"}, {"up", "half-top-bottom"}, {"narrow", "half-side-by-side"}, {"up", "rows"},
        {"eyes", "red-blue"}, {"depth", "red-blue"}, {"lighting", "red-blue"}, {"cull", "red-blue"},
        {"behind", "red-blue"}, {"depthclear", "red-blue"}, {"swap", "red-blue"}, {"stipple", "rows"},
        {"stipple", "columns"}, {"stipple", "checkerboard"}, {"right", "left"}};
    for (const auto& [how, mode] : broken) {
        const std::string out = shell(runCommand(std::string("BROKEN_GL=") + how + " LD_PRELOAD=" QUENDRIX_BROKEN_GL) +
                                      " --check --stereo " + mode + " 2>/dev/null; echo $?");
        EXPECT_TRUE(std::regex_match(out, failed)) << how << " in " << mode << "\n" << out;
    }
}

}  // namespace
