// The real program in a real X server (the test command runs this binary
// under xvfb-run, with Mesa's software GL): its window, its pixels, its
// standard streams and its exit status. xdotool finds, moves, resizes, hides,
// destroys and keys the window; the pixels are read with XGetImage.
#include <gtest/gtest.h>

#include "modes.h"  // the stereo modes as their manual states them

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <pty.h>
#include <regex>
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

// Polls until done() holds, for at most the given seconds; false if it never
// did. The program goes at the pace the machine's load allows: tests wait for
// what it does, never for a time.
bool waitFor(const std::function<bool()>& done, double seconds = 60) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (; !done(); pause(0.02))
        if (std::chrono::steady_clock::now() > end)
            return false;
    return true;
}

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

Display* testDisplay();

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
        testDisplay();  // a client that stays: the X server resets, dropping the program, when its last one leaves
        static int runs = 0;
        errPath = ::testing::TempDir() + "quendrix-" + std::to_string(getpid()) + "-" + std::to_string(++runs);
        outPath = errPath + ".out";
        const int fd = to > ErrorTo::Closed ? brokenStream(to) : -1;
        const std::string fdText = std::to_string(fd);
        // Wine started with descriptor 2 closed gives it to the first file it
        // opens: in the processes it starts for itself (explorer.exe, services.exe,
        // ...) that is the pipe of their requests to the Wine server, and one
        // stray message of theirs hangs the server. So under Wine "closed" is
        // open for reading only: every write fails, as on a closed descriptor.
        const std::string closed = WINDOWS ? "</dev/null" : ">&-";
        const std::string line = "exec " + command + " <" + input + " >" + outPath + " 2" +
                                 (to == ErrorTo::File ? ">" + errPath : to == ErrorTo::Closed ? closed : ">&" + fdText + " " + fdText + ">&-");
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
        int status = -1;
        return waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds) ? (pid = -1, status) : -1;
    }
    double cpuSeconds() const {
        clockid_t clock;
        timespec t = {};
        if (clock_getcpuclockid(pid, &clock) == 0)
            clock_gettime(clock, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    }
    // Waits for the window titled exactly "Quendrix" (xdotool's search
    // ignores case) to be shown. A search dies of an X error if a window goes
    // while it looks (Wine makes and ends many): that is "not yet".
    bool shown() {
        return waitFor([&] {
            window = xdotool("search --onlyvisible --name '^Quendrix$'");
            return !(window = window.substr(0, window.find('\n'))).empty();
        });
    }
    // With no window manager it sits partly off the screen, where its pixels
    // cannot be read, so it is moved.
    bool findWindow() {
        shown();
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
    double cx[3] = {};              // their centroid across
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
                    ++pic.lit[c], pic.cx[c] += x;
            }
    for (int c = 0; c < 3; ++c)
        pic.cx[c] /= std::max(pic.lit[c], 1L);
    XDestroyImage(image);
    return pic;
}

bool keepsDrawing(const Program& p) {
    const std::string first = grab(p).pixels;
    return !first.empty() &&
           waitFor([&] { const std::string now = grab(p).pixels; return !now.empty() && now != first; });
}

// Drawn at the window's size: both images there, the field in the middle.
bool centred(const Picture& p) {
    return std::min(p.lit[0], p.lit[2]) > 1000 && std::abs((p.cx[0] + p.cx[2]) / 2 - p.width / 2.0) < 60;
}

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

// What a picture of stereo mode m shows, against the manual: each eye's
// image in the pixels and channels it owns, nothing lit anywhere else, and
// the left viewpoint's image right of the right one's by the disparity of
// the field's centre: half a unit each way at 15 units, in proportion to the
// height of the picture, or to half of it where it is squeezed to half its
// width or has half the height. (Spheres in front of the centre part more,
// those behind less.) Returns that ratio, or 0 for one eye alone.
double expectEyes(const Picture& pic, const ModeStatement& m, bool swapped = false, int samples = 0) {
    const std::string where = m.where;
    const bool halves = where.find("halves") != std::string::npos;
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
    EXPECT_EQ(std::min(lit[0], lit[1]) > 1000, !oneEye) << "a frame without one eye's image";
    EXPECT_EQ(low > 100, samples > 0) << low << " pixel channels of intermediate level: anti-aliased edges";
    if (oneEye)
        return 0;
    const double height = where == "top bottom" || where == "squeezed halves" ? pic.height / 2.0 : pic.height;
    const double expected = height / 2 / std::tan(25 * M_PI / 180) / 15;
    const double ratio = (sum[0] / lit[0] - sum[1] / lit[1]) / expected * (swapped ? -1 : 1);
    EXPECT_TRUE(ratio > 0.7 && ratio < 1.5) << "disparity " << ratio << " times the " << expected << " px expected";
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
    EXPECT_TRUE(waitFor([&] { return slurp(p.errPath).compare(0, 3, "GL_") == 0; })) << "the extension list first";

    // The first frame on screen holds the right eye's image alone; the rest hold both.
    EXPECT_TRUE(keepsDrawing(p) && keepsDrawing(p)) << "the picture does not move";
    double ratio = 0;
    for (int shot = 0; shot < 12; ++shot, pause(0.25))  // a frame of one eye only would show in some
        ratio += expectEyes(grab(p), MODES[0]) / 12;
    EXPECT_TRUE(ratio > 0.95 && ratio < 1.3) << ratio;

    p.act("key --window %w Left F1 Shift_L Control_R");
    EXPECT_EQ(p.status(0.5), -1) << "arrow, function and modifier keys must not end the program";

    // The viewport and the aspect ratio follow the window: the field stays
    // centred, and the disparity follows the height.
    p.act("windowsize --sync %w 800 400");
    Picture wide;
    EXPECT_TRUE(waitFor([&] { return centred(wide = grab(p)); })) << "the field is not centred at 800 x 400";
    ASSERT_EQ(wide.width, 800);
    expectEyes(wide, MODES[0]);

    // Larger than the GL driver can draw, again and again while it draws.
    for (int cycle = 0; cycle < 8; ++cycle)
        p.act("windowsize --sync %w 32767 32767 sleep 0." + std::to_string(cycle) +
              " windowsize --sync %w 480 480 sleep 0.2");
    ASSERT_EQ(p.status(0.5), -1) << "a giant window ended the program";
    EXPECT_TRUE(keepsDrawing(p)) << "not drawing again after the giant size";
    Picture back;
    EXPECT_TRUE(waitFor([&] { return centred(back = grab(p)); })) << "not drawn at 480 x 480 again";
    expectEyes(back, MODES[0]);

    std::string rest;  // records come every 64 frames, which a loaded machine draws slowly
    EXPECT_TRUE(waitFor([&] { return records(p, &rest).size() >= 2; }));
    p.act("key --window %w q");
    EXPECT_EQ(p.status(10), 0);
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
// Once bg has run (the shell then says "resumed"), a stopped program is the terminal's doing.
TEST(Window, X11StoppedByItsTerminalItLeavesTheServerToOthers) {
    const std::string job = ::testing::TempDir() + "quendrix-job-" + std::to_string(getpid()) + ".sh";
    std::FILE* script = std::fopen(job.c_str(), "w");
    ASSERT_TRUE(script) << job;
    // The job's own shell names its pid: how many shells stand between
    // script and the job depends on $SHELL, which script runs the command in.
    const std::string pidPath = job + ".pid";
    std::fprintf(script, "stty tostop\n%s &\necho $! >%s\nfg\nbg\necho resumed\nsleep 300\n",
                 runCommand("").c_str(), pidPath.c_str());
    std::fclose(script);
    Program session;  // a terminal of its own, and a shell with job control
    session.start("script -qfec 'bash -m " + job + "' /dev/null", ErrorTo::File);
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
class Trouble : public ::testing::TestWithParam<Hazard> {};

TEST_P(Trouble, NeverStallsAndEndsAsItShould) {
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
    // (Under Wine, a run with no display would leave Wine's server unable to make windows while it lasts.)
    const std::string run = (WINDOWS ? "" : "env -u DISPLAY ") + PROGRAM, usage = shell(run + " --help; echo $?");
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
        {" --help 2>&1 >&-", "quendrix: write error on standard output: Bad file descriptor\n1\n"},
        {" -- --frames 5 2>&1", "quendrix: unexpected argument '--frames'\n" + tryHelp + "2\n"},  // -- ends the options
        {" 2>&1", "quendrix: no X display: DISPLAY is not set; on a machine with no screen, run it under "
                  "'xvfb-run -a'\n1\n"},
        {" -display :999 2>&1", "quendrix: cannot open the X display ':999'; on a machine with no screen, run it "
                                "under 'xvfb-run -a'\n1\n"},
    };
    for (const auto& [args, answer] : answers)  // no X display, no Windows
        EXPECT_EQ(WINDOWS && answer.find("X display") != std::string::npos ? answer : shell(run + args + "; echo $?"),
                  answer) << args;
    // The result, the verdict and --info, lost.
    for (const std::string args : {" --info --frames 64 >/dev/full", " --frames 20 --info >&-", " --check >&-"})
        EXPECT_EQ(shell("{ " + runCommand("") + " 2>&1" + args + "; echo $?; } | tail -n 2"),
                  std::string("quendrix: write error on standard output: ") +
                      (args.back() == '-' ? "Bad file descriptor" : "No space left on device") + "\n1\n") << args;
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
                                                  "swap interval: ([0-9]+|unknown)\nsamples: 0\n"))) << info;
    const std::vector<long> frames = records(p, &rest);
    EXPECT_TRUE(frames.empty() || frames.back() < 512) << "ran past its frames";
    EXPECT_EQ(rest, lineEnd(frames)) << "standard error holds the extension list and the records only";
}

// The swap interval each run asks the driver for, on one that takes it and
// on one that keeps its own (tests/broken_gl.cpp, which says what is asked),
// and what --info and standard error say. Under Wine, WGL's own answers.
TEST(Options, SwapIntervalAskedForAndReported) {
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

// Under a window manager (openbox), -iconic starts the window minimised: a
// run of frames and the check still end, and a plain run rests till shown.
// Killed, the window manager leaves its _NET_SUPPORTING_WM_CHECK on the root
// window, naming a window that is gone: the program starts all the same.
TEST(Window, X11IconicUnderAWindowManagerAndAfterItDied) {
    // Openbox runs its --startup command once it manages windows; a window mapped before may be lost.
    Program wm;
    wm.start("openbox --startup 'xprop -root -f OPENBOX_STARTED 8s -set OPENBOX_STARTED yes'", ErrorTo::File);
    // The tests' own connection, held, keeps the X server from resetting when the window manager goes.
    ASSERT_TRUE(testDisplay() && waitFor([] { return shell("xprop -root OPENBOX_STARTED").find("yes") != std::string::npos; }));
    const auto wmCheck = [] { return shell("xprop -root _NET_SUPPORTING_WM_CHECK | grep -o '0x[0-9a-f]*' | tr -d '\\n'"); };
    EXPECT_EQ(Program({"--frames", "100", "-iconic"}).status(120), 0) << "a --frames run did not end";
    EXPECT_EQ(Program({"--check", "-iconic"}).status(120), 2 << 8) << "--check did not end, or judged nothing on the screen";

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
// wherever the window is, or says at once why it cannot draw.
struct Launch {
    const char* name;
    std::vector<std::string> args;
    const char* act;  // xdotool, %w the window, once it is shown
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
        ASSERT_TRUE(p.shown());
        EXPECT_TRUE(waitFor([&] { return p.act(r.act).find(r.shows) != std::string::npos; }));
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
    Launch{"Hidden", {}, "windowunmap --sync %w", ""},
    Launch{"OffScreen", {"-geometry", "100x100+2000+10"}, "", ""},
    Launch{"OnePixel", {"-geometry", "1x1"}, "", ""},
    Launch{"OneRow", {"-geometry", "480x1"}, "", ""},
    Launch{"LargerThanTheDriverDraws", {"-geometry", "20000x20000"}, "", ""},
    // (Mesa's indirect GLX reads past a server string with strtol; not ours.)
    Launch{"X11IndirectContextGivesNothing", {}, "",
           "LIBGL_ALWAYS_INDIRECT=1 ASAN_OPTIONS=replace_str=0:intercept_strlen=0:intercept_strchr=0:intercept_strndup=0"},
    // With no window manager, a full-screen window starts at the corner.
    Launch{"X11FullScreen", {"--fullscreen"}, "getwindowgeometry %w", "", "Position: 0,0 (screen: 0)\n  Geometry: 1280x1024"}),
    [](const ::testing::TestParamInfo<Launch>& info) { return std::string(info.param.name); });

// Every stereo mode in a window of odd width, and even height, so that
// halves and interleaving counted from the wrong edge show.
struct ModeRun {
    int mode;
    bool swapped;
    int samples;
};
class Stereo : public ::testing::TestWithParam<ModeRun> {};

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
    // Until the first record: frames with both eyes are being shown.
    EXPECT_TRUE(waitFor([&] { return slurp(p.errPath).find('\r') != std::string::npos; }));
    const bool interleaved = where == "rows" || where == "columns" || where == "squares";
    for (int shot = 0; shot < 3; ++shot) {
        if (shot == 2 && interleaved)  // the eyes follow the window's pixels, not the screen's
            p.act("windowmove --sync %w 1 1");
        const Picture pic = grab(p);
        ASSERT_EQ(pic.width, halves ? 961 : 481);
        expectEyes(pic, m, r.swapped, r.samples);
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
        {"stipple", "columns"}, {"stipple", "checkerboard"}, {"nostencil,stipple", "rows"}, {"right", "left"}};
    for (const auto& [how, mode] : broken) {
        const std::string out = shell(runCommand(std::string("BROKEN_GL=") + how + " LD_PRELOAD=" QUENDRIX_BROKEN_GL) +
                                      " --check --stereo " + mode + " 2>/dev/null; echo $?");
        EXPECT_TRUE(std::regex_match(out, failed)) << how << " in " << mode << "\n" << out;
    }
}

}  // namespace
