// Runs the real program in a real X server (Xvfb with Mesa's software GL) and
// looks at its window, its pixels, its standard error and its exit status.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Kept free of Xlib's headers, whose macros (None, Bool, Status) collide
// with GoogleTest's names.
struct _XDisplay;
using XWindowId = unsigned long;

// An Xvfb of our own on a free display, stopped when the object goes.
class XServer {
public:
    bool start(int width = 1280, int height = 1024);
    void stop();
    ~XServer() { stop(); }
    const std::string& display() const { return name_; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};

// The X server shared by the window tests, started once per test binary.
XServer& sharedServer();

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;  // width * height * 3, top row first
    unsigned char at(int x, int y, int channel) const { return rgb[(static_cast<size_t>(y) * width + x) * 3 + channel]; }
    bool empty() const { return rgb.empty(); }
};

// What a picture holds in one colour channel.
struct ChannelStats {
    long lit = 0;           // pixels with a nonzero value
    double cx = 0, cy = 0;  // centroid of the lit pixels
    int levels = 0;         // distinct nonzero values
    int minX = 0, maxX = 0, minY = 0, maxY = 0;
};
ChannelStats channelStats(const Picture& picture, int channel);
bool savePpm(const Picture& picture, const std::string& path);

// How the program's standard error is connected.
enum class ErrorTo { File, Closed, Descriptor };

// One run of the real program on a given X server.
class Program {
public:
    explicit Program(const std::string& display) : display_(display) {}
    ~Program();
    // Starts the program; with ErrorTo::Descriptor, errorFd becomes its stderr.
    bool start(const std::vector<std::string>& args = {}, ErrorTo errorTo = ErrorTo::File, int errorFd = -1);
    pid_t pid() const { return pid_; }

    // Waits for the window titled "Quendrix" to be viewable; moves it to
    // (0, 0) so that all of it lies on the screen.
    bool waitForWindow(double seconds = 20.0);
    XWindowId window() const { return window_; }
    bool windowSize(int* width, int* height);
    bool windowTitle(std::string* title);

    // Closes the test's own connection to the server while it is still up:
    // once the server is gone, any request on it would end this process.
    void closeConnection();

    Picture grab();
    void sendKey(unsigned long keysym);
    void resize(int width, int height);
    void unmap();
    void map();

    // CPU seconds used so far (user + system).
    double cpuSeconds() const;
    bool running();
    // Waits for exit; returns false on timeout. *status as from waitpid.
    bool waitExit(double seconds, int* status);
    void kill();
    std::string errorText() const;  // the stderr file, when ErrorTo::File

    _XDisplay* connection() const { return dpy_; }

private:
    std::string display_;
    _XDisplay* dpy_ = nullptr;
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
    XWindowId window_ = 0;
    std::string errorPath_;
};

// Path of the program under test.
const char* programPath();
void sleepSeconds(double seconds);
