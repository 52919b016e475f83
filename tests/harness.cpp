#include <gtest/gtest.h>

#include "harness.h"

#include <X11/Xlib.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

const std::string PROGRAM = getenv("QUENDRIX_PROGRAM") ? getenv("QUENDRIX_PROGRAM") : QUENDRIX_BINARY;
const bool WINDOWS = PROGRAM.size() > 4 && PROGRAM.compare(PROGRAM.size() - 4, 4, ".exe") == 0;

// Under Wine lines end with CR LF.
static std::string lines(const std::string& text) { return WINDOWS ? std::regex_replace(text, std::regex("\r\n"), "\n") : text; }

std::string shell(const std::string& command) {
    testDisplay();  // as Program::start does
    std::string out;
    char buf[512];
    FILE* p = popen(command.c_str(), "r");
    while (p && std::fgets(buf, sizeof buf, p))
        out += buf;
    if (p)
        pclose(p);
    return lines(out);
}

std::string quote(const std::string& word) { return "'" + std::regex_replace(word, std::regex("'"), "'\\''") + "'"; }

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

std::string xdotool(const std::string& args) { return shell("timeout 30 xdotool " + args + " 2>/dev/null"); }

void pause(double seconds) { usleep(static_cast<useconds_t>(seconds * 1e6)); }

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return lines(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

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
    return "{ f=$(mktemp); Xvfb -displayfd 3 -nolisten tcp " + serverArgs + " 3>\"$f\" >/dev/null 2>&1 & x=$!; "
           "for i in $(seq 600); do [ -s \"$f\" ] && break; sleep 0.05; done; DISPLAY=:$(cat \"$f\") " + command +
           "; s=$?; kill $x; wait $x; rm -f \"$f\"; (exit $s); }";
}

bool startWindowManager(Program* wm) {
    wm->start({"openbox", "--startup", "xprop -root -f OPENBOX_STARTED 8s -set OPENBOX_STARTED yes"}, ErrorTo::File);
    return waitFor([] { return shell("xprop -root OPENBOX_STARTED").find("yes") != std::string::npos; });
}

static std::vector<std::string> runEnvironment(const std::string& env) {
    std::vector<std::string> out = {"GLUT_FPS", "LIBGL_ALWAYS_SOFTWARE=1"}, extra = words(QUENDRIX_RUN_ENV " " + env);
    std::string preload = QUENDRIX_PRELOAD;
    for (const std::string& e : extra)
        if (e.compare(0, 11, "LD_PRELOAD=") == 0)
            preload += " " + e.substr(11);
        else
            out.push_back(e);
    out.push_back("LD_PRELOAD=" + preload);
    return out;
}

std::string runCommand(const std::string& env, std::vector<std::string> args) {
    std::string command = "env", assignments;  // env takes its options first
    for (const std::string& e : runEnvironment(env))
        (e.find('=') == std::string::npos ? command += " -u " + quote(e) : assignments += " " + quote(e));
    const std::vector<std::string> program = words(PROGRAM);
    args.insert(args.begin(), program.begin(), program.end());
    for (const std::string& word : args)
        assignments += " " + quote(word);
    return command + assignments;
}

Program::Program(const std::vector<std::string>& args, ErrorTo to, const std::string& env) {
    std::vector<std::string> argv = words(PROGRAM);
    argv.insert(argv.end(), args.begin(), args.end());
    start(argv, to, runEnvironment(env));
}

// The child's standard streams: no input, output to outPath, standard
// error as `to` says (fd: the broken stream's end).
static void redirect(const Program& p, ErrorTo to, int fd) {
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = open(p.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    dup2(in, 0), dup2(out, 1);
    if (to == ErrorTo::File)
        dup2(open(p.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644), 2);
    else if (to == ErrorTo::Closed)
        // Wine started with descriptor 2 closed gives it to the first file it
        // opens: in the processes it starts for itself (explorer.exe, ...)
        // that is the pipe of their requests to the Wine server, and one
        // stray message of theirs hangs the server. So under Wine "closed" is
        // open for reading only: every write fails, as on a closed descriptor.
        WINDOWS ? dup2(in, 2) : close(2);
    else
        dup2(fd, 2), close(fd);
}

void Program::start(const std::vector<std::string>& argv, ErrorTo to, const std::vector<std::string>& env) {
    testDisplay();  // a client that stays: the X server resets, dropping the program, when its last one leaves
    static int runs = 0;
    errPath = ::testing::TempDir() + "quendrix-" + std::to_string(getpid()) + "-" + std::to_string(++runs);
    outPath = errPath + ".out";
    const int fd = to > ErrorTo::Closed ? brokenStream(to) : -1;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if ((pid = fork()) == 0) {
        redirect(*this, to, fd);
        for (const std::string& e : env)
            e.find('=') == std::string::npos ? unsetenv(e.c_str()) : putenv(const_cast<char*>(e.c_str()));
        execvp(args[0], args.data());
        _exit(127);
    }
    EXPECT_GT(pid, 0);
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

std::string outputAndStatus(const std::vector<std::string>& args, const std::string& env) {
    Program p(args, ErrorTo::File, env);
    const int status = p.status(180);
    return slurp(p.outPath) + (WIFEXITED(status) ? std::to_string(WEXITSTATUS(status)) : "hung or killed") + "\n";
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
                 members + ")\" " + quote(path) + " 2>&1");
}
