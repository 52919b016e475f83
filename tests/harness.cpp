#include <gtest/gtest.h>

#include "harness.h"

#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

bool waitFor(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (; !done(); pause(0.02))
        if (std::chrono::steady_clock::now() > end)
            return false;
    return true;
}

// The program's end of a pipe or terminal in the given state, inherited by
// the program. The other end is never read, and stays open till the tests end.
static int brokenStream(ErrorTo to) {
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

std::string inServer(const std::string& serverArgs, const std::string& command) {
    // Xvfb writes its display number to descriptor 3 once it takes connections.
    return "{ f=$(mktemp); Xvfb -displayfd 3 -nolisten tcp " + serverArgs + " 3>$f >/dev/null 2>&1 & x=$!; "
           "for i in $(seq 600); do [ -s $f ] && break; sleep 0.05; done; DISPLAY=:$(cat $f) " + command +
           "; s=$?; kill $x; wait $x; rm -f $f; (exit $s); }";
}

bool startWindowManager(Program* wm) {
    wm->start("openbox --startup 'xprop -root -f OPENBOX_STARTED 8s -set OPENBOX_STARTED yes'", ErrorTo::File);
    return waitFor([] { return shell("xprop -root OPENBOX_STARTED").find("yes") != std::string::npos; });
}

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

// env: assignments for this run; a LD_PRELOAD there joins the build's.
Program::Program(const std::vector<std::string>& args, ErrorTo to, const std::string& env) {
    std::string command = runCommand(env);
    for (const std::string& a : args)
        command += " '" + a + "'";
    start(command, to);
}

void Program::start(const std::string& command, ErrorTo to, const std::string& input) {
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
                             (to == ErrorTo::File     ? ">" + errPath
                              : to == ErrorTo::Closed ? closed
                                                      : ">&" + fdText + " " + fdText + ">&-");
    const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
    EXPECT_EQ(posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    if (fd >= 0)
        close(fd);
}

Program::~Program() {
    if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    unlink(errPath.c_str());
    unlink(outPath.c_str());
}

int Program::status(double seconds) {
    int status = -1;
    return waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds) ? (pid = -1, status) : -1;
}

double Program::cpuSeconds() const {
    clockid_t clock;
    timespec t = {};
    if (clock_getcpuclockid(pid, &clock) == 0)
        clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// xdotool's search ignores case, hence the anchors. A search dies of an X
// error if a window goes while it looks (Wine makes and ends many): that is
// "not yet".
bool Program::shown() {
    return waitFor([&] {
        window = xdotool("search --onlyvisible --name '^Quendrix$'");
        return !(window = window.substr(0, window.find('\n'))).empty();
    });
}

// With no window manager the program places its window at the screen's
// corner; Wine places its windows itself, and is told.
bool Program::findWindow() {
    shown();
    EXPECT_EQ(act("getwindowname %w"), "Quendrix\n");
    if (WINDOWS)
        act("windowmove --sync %w 0 0");
    return !window.empty();
}

std::string Program::act(std::string command) {
    for (size_t at; (at = command.find("%w")) != std::string::npos;)
        command.replace(at, 2, window);
    return xdotool(command);
}

Display* testDisplay() {
    static Display* display = [] {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // a window gone: an empty picture
        return XOpenDisplay(nullptr);
    }();
    return display;
}

void mapKey(int keycode, const char* keysym) {
    KeySym symbol = XStringToKeysym(keysym);
    XChangeKeyboardMapping(testDisplay(), keycode, 1, &symbol, 1);
    XSync(testDisplay(), False);
}

std::vector<long> records(const Program& p, std::string* rest, int lines, long* lastSeconds) {
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

std::string lineEnd(const std::vector<long>& frames) { return frames.empty() ? "" : "\n"; }


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

const std::string PYTHON = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";

std::string validDocument(const std::string& path, const std::string& members) {
    return shell(PYTHON + " -c \"import json, sys; d = json.load(open(sys.argv[1])); " VALIDATE "; print('valid'" +
                 members + ")\" '" + path + "' 2>&1");
}
