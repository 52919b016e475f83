// The real program in a real X server (the test command runs this binary
// under xvfb-run, with Mesa's software GL): its window, its pixels, its
// standard streams and its exit status. xdotool finds, moves, resizes, hides,
// destroys and keys the window; the pixels are read with XGetImage.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <regex>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The program as built here, or the command in QUENDRIX_PROGRAM: a Windows
// build under Wine, whose lines end with CR LF, read here as LF.
const std::string PROGRAM = getenv("QUENDRIX_PROGRAM") ? getenv("QUENDRIX_PROGRAM") : QUENDRIX_RUN_ENV " " QUENDRIX_BINARY;
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

// One run of the real program, its output streams in files.
struct Program {
    pid_t pid = -1;
    std::string window, errPath, outPath;

    explicit Program(const std::vector<std::string>& args, ErrorTo to = ErrorTo::File) {
        static int runs = 0;
        errPath = ::testing::TempDir() + "quendrix-" + std::to_string(getpid()) + "-" + std::to_string(++runs);
        outPath = errPath + ".out";
        const int fd = to > ErrorTo::Closed ? brokenStream(to) : -1;
        std::string command = "exec env -u GLUT_FPS LIBGL_ALWAYS_SOFTWARE=1 " + PROGRAM;
        for (const std::string& a : args)
            command += " '" + a + "'";
        const std::string fdText = std::to_string(fd);
        command += " </dev/null >" + outPath + " 2>" +
                   (to == ErrorTo::File ? errPath : to == ErrorTo::Closed ? "&-" : "&" + fdText + " " + fdText + ">&-");
        const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
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
    // Waits for the window titled exactly "Quendrix" to be shown. With no
    // window manager it sits partly off the screen, where its pixels cannot
    // be read, so it is moved.
    bool findWindow() {
        window = xdotool("search --sync --onlyvisible --name '^Quendrix$'");
        window = window.substr(0, window.find('\n'));
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
};

Picture grab(const Program& p) {
    static Display* display = [] {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // a window gone: an empty picture
        return XOpenDisplay(nullptr);
    }();
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

// The frames of the records after the extension line, each "\r<frames>
// frames in <s>s (<rate>fps)" and well formed; *rest is what follows them.
std::vector<long> records(const Program& p, std::string* rest) {
    static const std::regex record("\r([0-9]+) frames in ([0-9]+)s \\(([0-9]+\\.[0-9]{4})fps\\)");
    const std::string err = slurp(p.errPath);
    std::vector<long> frames;
    std::smatch m;
    auto at = err.cbegin() + static_cast<long>(err.find('\n') + 1);
    for (; std::regex_search(at, err.cend(), m, record, std::regex_constants::match_continuous); at = m[0].second) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.4f", std::stod(m[1]) / std::stod(m[2]));
        EXPECT_EQ(m[3].str(), rate);
        EXPECT_TRUE(frames.empty() || std::stol(m[1]) > frames.back());
        frames.push_back(std::stol(m[1]));
    }
    *rest = std::string(at, err.cend());
    return frames;
}

// When the program ends after a record, a line feed ends the record's line.
std::string lineEnd(const std::vector<long>& frames) { return frames.empty() ? "" : "\n"; }

TEST(Window, AnEveryDayRunFromStartToKey) {
    Program p({"--frobnicate", "-x", "42", "extra"});  // strangers change nothing
    ASSERT_TRUE(p.findWindow());
    EXPECT_NE(p.act("getwindowgeometry %w").find("Geometry: 480x480"), std::string::npos);
    EXPECT_EQ(slurp(p.errPath).compare(0, 3, "GL_"), 0) << "the extension list first";

    EXPECT_TRUE(keepsDrawing(p)) << "the picture does not move";
    double ratio = 0;
    for (int shot = 0; shot < 12; ++shot, pause(0.25))  // a frame of one eye only would show in some
        ratio += expectAnaglyph(grab(p)) / 12;
    EXPECT_TRUE(ratio > 0.95 && ratio < 1.3) << ratio;

    p.act("key --window %w Left F1");
    EXPECT_EQ(p.status(0.5), -1) << "arrow and function keys must not end the program";

    // The viewport and the aspect ratio follow the window: the field stays
    // centred, and the disparity follows the height.
    p.act("windowsize --sync %w 800 400");
    pause(0.7);
    const Picture wide = grab(p);
    ASSERT_EQ(wide.width, 800);
    expectAnaglyph(wide);
    EXPECT_NEAR((wide.cx[0] + wide.cx[2]) / 2, 400, 60);

    // Larger than the GL driver can draw: it waits, and draws again after.
    // The driver may take a new size before GLUT reports it, so again and again.
    for (int cycle = 0; cycle < 8; ++cycle)
        p.act("windowsize --sync %w 32767 32767 sleep 0.3 windowsize --sync %w 480 480 sleep 0.2");
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

// Tests about X11 itself have X11 in their names; the Windows build under
// Wine runs all the others (tests/run.sh).
TEST(Window, X11HiddenItSleepsShownItGoesOn) {
    Program p({});
    ASSERT_TRUE(p.findWindow());
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
    p.act("key --window %w q");
    EXPECT_EQ(p.status(10), 0);
}

// Ways a run meets a hostile world, and how it must end.
struct Trouble {
    const char* name;
    ErrorTo errorTo;
    const char* act;      // xdotool, after two seconds of drawing
    int status;           // exit status
    const char* message;  // what follows the records on standard error
};
class Trouble_ : public ::testing::TestWithParam<Trouble> {};

TEST_P(Trouble_, NeverStallsAndEndsAsItShould) {
    const Trouble& t = GetParam();
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
INSTANTIATE_TEST_SUITE_P(Window, Trouble_, ::testing::Values(
    Trouble{"ErrorClosed", ErrorTo::Closed, "key --window %w space", 0, ""},
    Trouble{"ReaderGone", ErrorTo::ReaderGone, "key --window %w space", 0, ""},
    Trouble{"FullPipe", ErrorTo::FullPipe, "key --window %w space", 0, ""},
    Trouble{"HeldTerminal", ErrorTo::HeldTerminal, "key --window %w space", 0, ""},
    Trouble{"X11ConnectionKilled", ErrorTo::File, "windowkill %w", 1, LOST},  // the server drops it
    Trouble{"X11WindowDestroyed", ErrorTo::File, "windowclose %w", 1, DESTROYED},
    Trouble{"X11HiddenWindowDestroyed", ErrorTo::File, "windowunmap --sync %w sleep 1 windowclose %w", 1, DESTROYED}),
    [](const ::testing::TestParamInfo<Trouble>& info) { return std::string(info.param.name); });

TEST(Options, HelpVersionAndABadFrameCountNeedNoDisplay) {
    const std::string run = "env -u DISPLAY " + PROGRAM;
    EXPECT_EQ(shell(run + " --version; echo $?"), "quendrix " QUENDRIX_VERSION "\n0\n");
    EXPECT_EQ(shell(run + " --frames 12x 2>&1 >/dev/null; echo $?"),
              "quendrix: --frames needs a whole number of frames from 1 to 1000000000, not '12x'\n2\n");
    const std::string usage = shell(run + " --help; echo $?"), manual = slurp(QUENDRIX_MANUAL);
    EXPECT_EQ(usage.substr(usage.size() - 3), "\n0\n");
    for (const char* option : {"--fullscreen", "--frames", "--info", "-geometry", "-display", "--help", "--version"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
        EXPECT_NE(manual.find(std::regex_replace(option, std::regex("-"), "\\-")), std::string::npos) << option;
    }
}

TEST(Options, FullscreenCoversTheScreen) {
    Program p({"--fullscreen"});
    ASSERT_TRUE(p.findWindow());
    pause(0.5);
    const std::string screen = std::regex_replace(xdotool("getdisplaygeometry"), std::regex(" (.*)\n"), "x$1");
    EXPECT_NE(p.act("getwindowgeometry %w").find("Geometry: " + screen), std::string::npos) << screen;
    p.act("key --window %w q");
    EXPECT_EQ(p.status(10), 0);
}

TEST(Options, GeometryPlacesTheWindowFramesEndsTheRunWithATimedLineInfoNamesTheDriver) {
    Program p({"-geometry", "640x360+30+40", "--frames", "512", "--info"});
    const std::string placed = xdotool("search --sync --onlyvisible --name '^Quendrix$' getwindowgeometry");
    EXPECT_NE(placed.find("Geometry: 640x360"), std::string::npos) << placed;
    // Windows places the frame there; the inside lies a border and a title bar further.
    int x = -1, y = -1;
    std::sscanf(placed.c_str() + std::min(placed.find("Position: "), placed.size()), "Position: %d,%d", &x, &y);
    EXPECT_TRUE(WINDOWS ? x > 30 && x < 60 && y > 40 && y < 100 : x == 30 && y == 40) << placed;
    EXPECT_EQ(p.status(120), 0);
    const std::string out = slurp(p.outPath);
    EXPECT_TRUE(std::regex_match(out, std::regex("GL_RENDERER: .+\nGL_VERSION: .+\nGL_VENDOR: .+\n"))) << out;
    std::string rest;
    std::smatch m;
    const std::vector<long> frames = records(p, &rest);
    EXPECT_TRUE(frames.empty() || frames.back() < 512) << "ran past its frames";
    const std::regex last(lineEnd(frames) + "512 frames in ([0-9]+\\.[0-9]{3})s \\(([0-9]+\\.[0-9]{4})fps\\)\n");
    ASSERT_TRUE(std::regex_match(rest, m, last)) << rest;
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.4f", 512 / std::stod(m[1]));
    EXPECT_EQ(m[2].str(), rate);
}

}  // namespace
