#include "harness.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

const char* programPath() { return QUENDRIX_BINARY; }

void sleepSeconds(double seconds) {
    timespec ts;
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
    while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
    }
}

static double now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Xlib reports protocol errors (a window gone between two calls) through a
// handler that exits by default; the tests check results instead.
static int ignoreXError(Display*, XErrorEvent*) { return 0; }

bool XServer::start(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    std::string fdText = std::to_string(fds[1]);
    pid_ = fork();
    if (pid_ == 0) {
        close(fds[0]);
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", fdText.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
        close(fds[0]);
        return false;
    }
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    double deadline = now() + 30.0;
    while (now() < deadline) {
        pollfd p = {fds[0], POLLIN, 0};
        if (poll(&p, 1, 200) <= 0)
            continue;
        char c;
        ssize_t n = read(fds[0], &c, 1);
        if (n <= 0 || c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        stop();
        return false;
    }
    name_ = ":" + number;
    XSetErrorHandler(ignoreXError);
    return true;
}

void XServer::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status;
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
}

namespace {
XServer* shared = nullptr;

class ServerEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        shared = new XServer;
        // A window test that cannot get its X server fails; it is never skipped.
        ASSERT_TRUE(shared->start()) << "could not start Xvfb (is the xvfb package installed?)";
    }
    void TearDown() override {
        delete shared;
        shared = nullptr;
    }
};
const auto* environment = ::testing::AddGlobalTestEnvironment(new ServerEnvironment);
}  // namespace

XServer& sharedServer() { return *shared; }

ChannelStats channelStats(const Picture& picture, int channel) {
    ChannelStats s;
    std::set<int> levels;
    double sx = 0, sy = 0;
    s.minX = picture.width;
    s.minY = picture.height;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            int v = picture.at(x, y, channel);
            if (v == 0)
                continue;
            ++s.lit;
            sx += x;
            sy += y;
            levels.insert(v);
            if (x < s.minX) s.minX = x;
            if (x > s.maxX) s.maxX = x;
            if (y < s.minY) s.minY = y;
            if (y > s.maxY) s.maxY = y;
        }
    if (s.lit > 0) {
        s.cx = sx / static_cast<double>(s.lit);
        s.cy = sy / static_cast<double>(s.lit);
    }
    s.levels = static_cast<int>(levels.size());
    return s;
}

bool savePpm(const Picture& picture, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << picture.width << " " << picture.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(picture.rgb.data()), static_cast<std::streamsize>(picture.rgb.size()));
    return static_cast<bool>(out);
}

Program::~Program() {
    kill();
    if (dpy_)
        XCloseDisplay(dpy_);
    if (!errorPath_.empty())
        unlink(errorPath_.c_str());
}

bool Program::start(const std::vector<std::string>& args, ErrorTo errorTo, int errorFd) {
    if (errorTo == ErrorTo::File) {
        char path[] = "/tmp/quendrix-stderr-XXXXXX";
        int fd = mkstemp(path);
        if (fd < 0)
            return false;
        close(fd);
        errorPath_ = path;
    }
    std::vector<std::string> argv = {programPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = fork();
    if (pid_ == 0) {
        setenv("DISPLAY", display_.c_str(), 1);
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        unsetenv("GLUT_FPS");  // freeglut would print a rate of its own
#if defined(QUENDRIX_SANITIZER_PRELOAD)
        setenv("LD_PRELOAD", QUENDRIX_SANITIZER_PRELOAD, 1);
        setenv("LSAN_OPTIONS", "print_suppressions=0:suppressions=" QUENDRIX_LSAN_SUPPRESSIONS, 1);
#endif
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        if (errorTo == ErrorTo::File) {
            int fd = open(errorPath_.c_str(), O_WRONLY | O_TRUNC);
            dup2(fd, 2);
        } else if (errorTo == ErrorTo::Descriptor) {
            dup2(errorFd, 2);
        } else {
            close(2);
        }
        // Nothing but 0-2 (or fewer) reaches the program.
        for (int fd = 3; fd < 1024; ++fd)
            close(fd);
        std::vector<char*> raw;
        for (auto& a : argv)
            raw.push_back(const_cast<char*>(a.c_str()));
        raw.push_back(nullptr);
        execv(raw[0], raw.data());
        _exit(127);
    }
    if (pid_ < 0)
        return false;
    dpy_ = XOpenDisplay(display_.c_str());
    return dpy_ != nullptr;
}

static bool titleOf(Display* dpy, Window w, std::string* title) {
    char* name = nullptr;
    if (!XFetchName(dpy, w, &name) || !name)
        return false;
    *title = name;
    XFree(name);
    return true;
}

bool Program::waitForWindow(double seconds) {
    double deadline = now() + seconds;
    while (now() < deadline && running()) {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        if (XQueryTree(dpy_, DefaultRootWindow(dpy_), &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count; ++i) {
                std::string title;
                XWindowAttributes a;
                if (titleOf(dpy_, children[i], &title) && title == "Quendrix" &&
                    XGetWindowAttributes(dpy_, children[i], &a) && a.map_state == IsViewable) {
                    window_ = children[i];
                }
            }
            if (children)
                XFree(children);
        }
        if (window_) {
            // With no window manager the window sits at (-1, -1), partly off
            // the screen, where its pixels cannot be read.
            XMoveWindow(dpy_, window_, 0, 0);
            XSync(dpy_, False);
            sleepSeconds(0.5);
            return true;
        }
        sleepSeconds(0.05);
    }
    return false;
}

bool Program::windowSize(int* width, int* height) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy_, window_, &a))
        return false;
    *width = a.width;
    *height = a.height;
    return true;
}

bool Program::windowTitle(std::string* title) { return titleOf(dpy_, window_, title); }

Picture Program::grab() {
    Picture p;
    int width, height;
    if (!windowSize(&width, &height))
        return p;
    XImage* image = XGetImage(dpy_, window_, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (!image)
        return p;
    p.width = width;
    p.height = height;
    p.rgb.resize(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned long pixel = XGetPixel(image, x, y);
            size_t i = (static_cast<size_t>(y) * width + x) * 3;
            p.rgb[i] = static_cast<unsigned char>((pixel & image->red_mask) >> __builtin_ctzl(image->red_mask));
            p.rgb[i + 1] = static_cast<unsigned char>((pixel & image->green_mask) >> __builtin_ctzl(image->green_mask));
            p.rgb[i + 2] = static_cast<unsigned char>((pixel & image->blue_mask) >> __builtin_ctzl(image->blue_mask));
        }
    XDestroyImage(image);
    return p;
}

void Program::closeConnection() {
    if (dpy_)
        XCloseDisplay(dpy_);
    dpy_ = nullptr;
}

void Program::sendKey(unsigned long keysym) {
    XEvent e;
    std::memset(&e, 0, sizeof e);
    e.xkey.type = KeyPress;
    e.xkey.display = dpy_;
    e.xkey.window = window_;
    e.xkey.root = DefaultRootWindow(dpy_);
    e.xkey.subwindow = None;
    e.xkey.time = CurrentTime;
    e.xkey.x = e.xkey.y = 10;
    e.xkey.same_screen = True;
    e.xkey.keycode = XKeysymToKeycode(dpy_, keysym);
    XSendEvent(dpy_, window_, True, KeyPressMask, &e);
    e.xkey.type = KeyRelease;
    XSendEvent(dpy_, window_, True, KeyReleaseMask, &e);
    XSync(dpy_, False);
}

void Program::resize(int width, int height) {
    XResizeWindow(dpy_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(dpy_, False);
}

void Program::unmap() {
    XUnmapWindow(dpy_, window_);
    XSync(dpy_, False);
}

void Program::map() {
    XMapWindow(dpy_, window_);
    XSync(dpy_, False);
}

double Program::cpuSeconds() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    // Fields 3..13 precede utime (14) and stime (15).
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool Program::running() {
    if (pid_ <= 0 || reaped_)
        return false;
    int status;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        reaped_ = true;
        status_ = status;
        return false;
    }
    return true;
}

bool Program::waitExit(double seconds, int* status) {
    double deadline = now() + seconds;
    while (running() && now() < deadline)
        sleepSeconds(0.02);
    if (!reaped_)
        return false;
    *status = status_;
    return true;
}

void Program::kill() {
    if (running()) {
        ::kill(pid_, SIGKILL);
        int status;
        waitExit(10.0, &status);
    }
}

std::string Program::errorText() const {
    std::ifstream in(errorPath_, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
