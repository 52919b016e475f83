#include "app/platform.h"

#include "render/gl.h"

#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

#if defined(__APPLE__)
#include <dlfcn.h>
#elif defined(FREEGLUT) && !defined(_WIN32)
#include <GL/freeglut_ext.h>
#endif

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "render/report.h"

#if defined(QUENDRIX_X11)
#include <GL/glx.h>
#endif

#if !defined(_WIN32)
// Ended by a signal, the program still ends the line of records, so that
// the shell's next line starts on a line of its own; then the signal takes
// its course, and the shell sees how the program ended.
static void endLineAndDie(int number) {
    endReportLine();
    std::raise(number);
}
#endif

void prepareProcess() {
#if !defined(_WIN32)
    struct sigaction ending = {};
    ending.sa_handler = endLineAndDie;
    ending.sa_flags = SA_RESETHAND;
    static const int endings[] = {SIGINT, SIGTERM, SIGHUP};
    for (int number : endings)
        sigaction(number, &ending, nullptr);
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1) {
            // open returns the lowest free descriptor, which is this one.
            int opened = open("/dev/null", O_RDWR);
            if (opened != -1 && opened != fd)
                close(opened);
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

void tuneAllocator() {
#if defined(__GLIBC__) && !defined(QUENDRIX_NO_ALLOCATOR_TUNING)
    // The GL driver allocates and frees megabytes per frame. By default glibc
    // trims the heap top and unmaps large blocks as soon as they are freed,
    // so every frame pays for brk/munmap and fresh zeroed pages. Keeping the
    // memory costs one frame's working set, which is reused frame after frame.
    // 16 MiB is the largest mmap threshold every glibc takes (32-bit ones
    // refuse more); the driver's blocks are 64 KiB to 1 MiB. A refused value
    // leaves glibc's default in place: slower, never wrong.
    bool accepted = mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024) == 1;
    accepted = mallopt(M_MMAP_THRESHOLD, 16 * 1024 * 1024) == 1 && accepted;
    accepted = mallopt(M_TOP_PAD, 16 * 1024 * 1024) == 1 && accepted;
#if !defined(NDEBUG)
    static const char refused[] = "quendrix: glibc refused an allocator setting; frames may be slower\n";
    if (!accepted)
        writeError(refused, sizeof refused - 1);
#endif
    (void)accepted;
#endif
}

void platformGlutInit(int* argc, char** argv) {
#if defined(_WIN32)
    // On Windows freeglut takes DISPLAY for the name of a display device and
    // warns when it is none; an X display name there (under Wine, or set for
    // an X server on Windows) means nothing to it. -display still reaches it.
    _putenv("DISPLAY=");
#endif
    glutInit(argc, argv);
}

#if defined(QUENDRIX_X11)
// Leave at once: exit handlers of the GL driver may still try to talk to the
// server or draw to the window that is gone, and hang or crash doing so.
[[noreturn]] static void leave(const char* message) {
    endReportLine();
    writeError(message, std::strlen(message));
    _exit(1);
}

static int connectionLost(Display*) { leave("quendrix: lost the connection to the X server\n"); }

static Display* windowDisplay = nullptr;
static Window window = 0;
static XErrorHandler otherErrors = nullptr;

static int windowError(Display* display, XErrorEvent* error) {
    if (error->resourceid == window && (error->error_code == BadWindow || error->error_code == BadDrawable))
        leave("quendrix: the window was destroyed\n");
    return otherErrors ? otherErrors(display, error) : 0;
}
#endif

void watchWindow() {
#if defined(QUENDRIX_X11)
    // GLUT draws into the window itself: the current drawable is its id.
    windowDisplay = glXGetCurrentDisplay();
    window = glXGetCurrentDrawable();
    XSetIOErrorHandler(connectionLost);
    otherErrors = XSetErrorHandler(windowError);
#endif
}

void windowStillThere() {
#if defined(QUENDRIX_X11)
    XWindowAttributes attributes;
    if (windowDisplay)
        XGetWindowAttributes(windowDisplay, window, &attributes);  // BadWindow once it is gone
#endif
}

GlEntry extensionEntry(const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<GlEntry>(wglGetProcAddress(name));
#elif defined(__APPLE__)
    return reinterpret_cast<GlEntry>(dlsym(RTLD_DEFAULT, name));
#elif defined(FREEGLUT)
    return reinterpret_cast<GlEntry>(glutGetProcAddress(name));
#else
    (void)name;
    return nullptr;
#endif
}

bool hasExtension(const char* extensions, const char* name) {
    if (!extensions || !name || !*name)
        return false;
    const size_t length = std::strlen(name);
    for (const char* p = extensions; (p = std::strstr(p, name)) != nullptr; p += length) {
        bool startsToken = p == extensions || p[-1] == ' ';
        bool endsToken = p[length] == ' ' || p[length] == '\0';
        if (startsToken && endsToken)
            return true;
    }
    return false;
}
