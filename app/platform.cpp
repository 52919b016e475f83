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
#include <OpenGL/OpenGL.h>
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
#include <X11/Xutil.h>
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

#if defined(QUENDRIX_X11)
// Key presses come to a connection of our own as well as to GLUT's: the X
// server hands a window's key events to every client that asks for them.
static Display* keyDisplay = nullptr;
#endif

std::string unreachableDisplay(int argc, char* const* argv) {
#if defined(QUENDRIX_X11)
    const char* name = std::getenv("DISPLAY");
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-display") == 0)
            name = argv[i + 1];
    // Kept open, for the keys: were it closed, an X server whose only
    // client it was would reset, and refuse GLUT's connection meanwhile.
    keyDisplay = XOpenDisplay(name);
    if (keyDisplay) {
        fcntl(ConnectionNumber(keyDisplay), F_SETFD, FD_CLOEXEC);
        return std::string();
    }
    const std::string why = name && *name ? std::string("cannot open the X display '") + name + "'"
                                          : std::string("no X display: DISPLAY is not set");
    return why + "; on a machine with no screen, run it under 'xvfb-run -a'";
#else
    (void)argc;
    (void)argv;
    return std::string();
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
static Window windows[2] = {0, 0};  // the outer window, and the GL drawable inside it
static XErrorHandler otherErrors = nullptr;

static int windowError(Display* display, XErrorEvent* error) {
    const bool ours = error->resourceid == windows[0] || error->resourceid == windows[1];
    if (ours && (error->error_code == BadWindow || error->error_code == BadDrawable))
        leave("quendrix: the window was destroyed\n");
    return otherErrors ? otherErrors(display, error) : 0;
}
#endif

void watchWindow() {
#if defined(QUENDRIX_X11)
    // GLUT draws into the window itself: the current drawable is its id.
    const Window window = glXGetCurrentDrawable();
    if (!windowDisplay) {
        windowDisplay = glXGetCurrentDisplay();
        XSetIOErrorHandler(connectionLost);
        otherErrors = XSetErrorHandler(windowError);
    }
    windows[windows[0] ? 1 : 0] = window;
    if (keyDisplay) {
        XSelectInput(keyDisplay, window, KeyPressMask);
        XFlush(keyDisplay);
    }
#endif
}

void nameWindowClass() {
#if defined(QUENDRIX_X11)
    // Right after glutCreateWindow the current drawable is GLUT's top-level
    // window. Setting a property needs no answer from the server.
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (!display || !drawable)
        return;
    char name[] = "quendrix", windowClass[] = "Quendrix";
    XClassHint hint = {name, windowClass};
    XSetClassHint(display, drawable, &hint);
#endif
}

void windowStillThere() {
#if defined(QUENDRIX_X11)
    XWindowAttributes attributes;
    if (windowDisplay)
        XGetWindowAttributes(windowDisplay, windows[0], &attributes);  // BadWindow once it is gone
#endif
}

bool characterKeyPressed() {
#if defined(QUENDRIX_X11)
    // XPending reads what has arrived without waiting for the server.
    while (keyDisplay && XPending(keyDisplay) > 0) {
        XEvent event;
        XNextEvent(keyDisplay, &event);
        if (event.type == MappingNotify)
            XRefreshKeyboardMapping(&event.xmapping);  // a new layout
        if (event.type != KeyPress)
            continue;
        char text[8];
        KeySym keysym = NoSymbol;
        // The layout's symbol for the key and its modifiers (shift, AltGr).
        const int length = XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
        if (length > 0 || keysymTypesCharacter(keysym))
            return true;
    }
#endif
    return false;
}

bool keysymTypesCharacter(unsigned long keysym) {
    // Latin-1 and the older character sets (Cyrillic, Greek, Hebrew, Thai,
    // Kana, the euro sign, ...) lie below 0x2100; 0xfe00 and up are dead,
    // function, cursor, keypad and modifier keys; Unicode characters are
    // 0x01000000 plus their code point.
    return (keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym < 0x2100) ||
           (keysym >= 0x010000a0 && keysym <= 0x0110ffff);
}

#if defined(QUENDRIX_X11)
typedef void (*SwapIntervalExt)(Display*, GLXDrawable, int);
typedef int (*SwapIntervalMesa)(unsigned);
typedef int (*GetSwapIntervalMesa)();
typedef int (*SwapIntervalSgi)(int);

static bool glxHas(const char* name) {
    Display* display = glXGetCurrentDisplay();
    return display && hasExtension(glXQueryExtensionsString(display, DefaultScreen(display)), name);
}

template <typename Entry>
static Entry glxEntry(const char* name) {
    return reinterpret_cast<Entry>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}
#elif defined(_WIN32)
typedef BOOL(WINAPI* SwapIntervalWgl)(int);
typedef int(WINAPI* GetSwapIntervalWgl)();
#endif

bool setSwapInterval(int interval) {
#if defined(QUENDRIX_X11)
    if (glxHas("GLX_EXT_swap_control")) {
        glxEntry<SwapIntervalExt>("glXSwapIntervalEXT")(glXGetCurrentDisplay(), glXGetCurrentDrawable(), interval);
        return swapInterval() == interval;
    }
    if (glxHas("GLX_MESA_swap_control"))
        return glxEntry<SwapIntervalMesa>("glXSwapIntervalMESA")(static_cast<unsigned>(interval)) == 0;
    if (glxHas("GLX_SGI_swap_control") && interval > 0)  // it cannot turn the wait off
        return glxEntry<SwapIntervalSgi>("glXSwapIntervalSGI")(interval) == 0;
    return false;
#elif defined(_WIN32)
    auto set = reinterpret_cast<SwapIntervalWgl>(extensionEntry("wglSwapIntervalEXT"));
    return set && set(interval);
#elif defined(__APPLE__)
    GLint value = interval;
    return CGLSetParameter(CGLGetCurrentContext(), kCGLCPSwapInterval, &value) == kCGLNoError;
#else
    (void)interval;
    return false;
#endif
}

int swapInterval() {
#if defined(QUENDRIX_X11)
    if (glxHas("GLX_EXT_swap_control")) {
        unsigned value = 0;
        glXQueryDrawable(glXGetCurrentDisplay(), glXGetCurrentDrawable(), GLX_SWAP_INTERVAL_EXT, &value);
        return static_cast<int>(value);
    }
    if (glxHas("GLX_MESA_swap_control"))
        return glxEntry<GetSwapIntervalMesa>("glXGetSwapIntervalMESA")();
    return -1;
#elif defined(_WIN32)
    auto get = reinterpret_cast<GetSwapIntervalWgl>(extensionEntry("wglGetSwapIntervalEXT"));
    return get ? get() : -1;
#elif defined(__APPLE__)
    GLint value = -1;
    return CGLGetParameter(CGLGetCurrentContext(), kCGLCPSwapInterval, &value) == kCGLNoError ? value : -1;
#else
    return -1;
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
