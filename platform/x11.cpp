// The window system on Linux and the BSDs: X11, with GL through GLX. GLUT
// draws through Xlib here; the program keeps a watch on the connection and
// its windows, hears keys of every layout on a connection of its own, and
// reads what its window shows. (The process and its streams: posix.cpp;
// the swap interval and extension entries through GLX: glx.cpp.)
#include "platform/platform.h"
#include "platform/system.h"

#include "platform/gl.h"

#include <GL/freeglut_ext.h>
#include <GL/glx.h>
#include <X11/Xutil.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// Key presses come to a connection of our own as well as to GLUT's: the X
// server hands a window's key events to every client that asks for them.
static Display* keyDisplay = nullptr;

std::string openDisplay(int argc, char* const* argv) {
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
    // A Wayland desktop runs X11 programs under XWayland, which sets DISPLAY.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!name || !*name) && wayland && *wayland)
        return "no X display: the program needs X11, which Wayland gives through XWayland, and DISPLAY is not set "
               "(is XWayland running?); with no display at all, --offscreen draws --frames and --check";
    const std::string why = name && *name ? std::string("cannot open the X display '") + name + "'"
                                          : std::string("no X display: DISPLAY is not set");
    return why + "; on a machine with no screen, give --offscreen with --frames or --check, or run it under "
                 "'xvfb-run -a'";
}

bool windowManagerRunning() {
    // A window manager owns the selection WM_S<screen> while it runs (the
    // ICCCM's rule); one that died leaves none.
    if (!keyDisplay)
        return true;
    const std::string name = "WM_S" + std::to_string(DefaultScreen(keyDisplay));
    return XGetSelectionOwner(keyDisplay, XInternAtom(keyDisplay, name.c_str(), False)) != None;
}

// Leave at once: exit handlers of the GL driver may still try to talk to the
// server or draw to the window that is gone, and hang or crash doing so.
[[noreturn]] static void leave(const char* why) {
    complain(why);
    windowSystemFailed(why);
}

static int connectionLost(Display*) { leave("lost the connection to the X server"); }

static Display* windowDisplay = nullptr;
static Window windows[2] = {0, 0};  // the outer window, and the GL drawable inside it

// Some requests may fail without fault of ours: a window of another client
// can vanish while the program asks about it. Those requests run between
// grabErrors and releaseErrors, which tells the first error's code; an error
// anywhere else is the end of the run (unexpectedError).
static int caughtError = Success;
static bool bracketOpen = false;
static XErrorHandler afterBracket = nullptr;

static int catchError(Display*, XErrorEvent* error) {
    if (caughtError == Success)
        caughtError = error->error_code;
    return 0;
}

static void grabErrors() {
    caughtError = Success;
    bracketOpen = true;
    afterBracket = XSetErrorHandler(catchError);
}

// display: the connection the requests went on, to wait for their answers;
// none where each request waited for its own.
static int releaseErrors(Display* display) {
    if (display)
        XSync(display, False);
    XSetErrorHandler(afterBracket);
    bracketOpen = false;
    return caughtError;
}

// Asked on the other connection: an error handler must make no requests on
// the connection whose error it handles.
static bool windowGone(Display* failing) {
    Display* other = failing == keyDisplay ? windowDisplay : keyDisplay;
    XWindowAttributes attributes;
    if (!windows[0] || !other || other == failing)
        return false;
    grabErrors();
    XGetWindowAttributes(other, windows[0], &attributes);
    return releaseErrors(other) == BadWindow;
}

// GLUT's requests and the GL driver's fail on the program's window once
// another client destroyed it. Any other error is a fault no request was
// ready for; Xlib's default handler would end the process through exit,
// where the GL driver's exit handlers may hang on the server.
static int unexpectedError(Display* display, XErrorEvent* error) {
    if (windowGone(display))
        leave("the window was destroyed");
    char text[160] = "", message[320];
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::snprintf(message, sizeof message, "the X server refused a request (%s; request %d.%d)", text,
                  error->request_code, error->minor_code);
    leave(message);
}

static const char* programName = "quendrix";

// GLUT's errors end the process, as GLUT would end it, but for those that
// follow an error the program was ready for (below).
static void glutError(const char* format, va_list args) {
    if (bracketOpen && caughtError != Success)
        return;
    char message[512];
    const int length = std::snprintf(message, sizeof message, "freeglut (%s): ", programName);
    if (length > 0 && static_cast<size_t>(length) < sizeof message)
        std::vsnprintf(message + length, sizeof message - static_cast<size_t>(length), format, args);
    endErrorLine();
    writeError(message, std::strlen(message));
    writeError("\n", 1);
    windowSystemFailed(message);
}

void platformGlutInit(int* argc, char** argv) {
    // Xlib's handler is one for the whole process, and GLUT sets none.
    XSetErrorHandler(unexpectedError);
    XSetIOErrorHandler(connectionLost);
    programName = argv[0];
    glutInitErrorFunc(glutError);
    // GLUT reads properties of the window manager's window as it starts; a
    // manager that died leaves its window's id on the root window, and the
    // read fails. GLUT complains, and goes on as without a window manager.
    grabErrors();
    glutInit(argc, argv);
    releaseErrors(nullptr);
}

bool displayOffers(bool stereo, int samples, bool stencil) {
    if (!keyDisplay)
        return true;
    int count = 0;
    GLXFBConfig* configs = glXGetFBConfigs(keyDisplay, DefaultScreen(keyDisplay), &count);
    bool found = false;
    for (int i = 0; i < count && !found; ++i) {
        auto get = [&](int attribute) {
            int value = 0;
            glXGetFBConfigAttrib(keyDisplay, configs[i], attribute, &value);
            return value;
        };
        found = get(GLX_DOUBLEBUFFER) && (get(GLX_RENDER_TYPE) & GLX_RGBA_BIT) &&
                (get(GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) && get(GLX_DEPTH_SIZE) > 0 && get(GLX_X_RENDERABLE) &&
                (!stereo || get(GLX_STEREO)) && (samples == 0 || get(GLX_SAMPLES) >= samples) &&
                (!stencil || get(GLX_STENCIL_SIZE) > 0);
    }
    if (configs)
        XFree(configs);
    return found;
}

// The GL driver reads the drawable's size from the server when it draws, and
// another client may resize the outer window at any moment, to a size the
// driver cannot draw; a child window only the program sizes has no such race.
bool drawInChildWindow() { return true; }

void resizeDrawable(int width, int height) {
    if (windowDisplay && windows[1])
        XResizeWindow(windowDisplay, windows[1], static_cast<unsigned>(width), static_cast<unsigned>(height));
}

void watchWindow() {
    // GLUT draws into the window itself: the current drawable is its id.
    const Window window = glXGetCurrentDrawable();
    windowDisplay = glXGetCurrentDisplay();
    windows[windows[0] ? 1 : 0] = window;
    if (keyDisplay) {
        XSelectInput(keyDisplay, window, KeyPressMask);
        XFlush(keyDisplay);
    }
}

void placeWindowFromEdges(int x, int y, bool fromRight, bool fromBottom) {
    // As X programs do for a -geometry with a minus: the gravity and a
    // position the user gave in WM_NORMAL_HINTS, where a manager that frames
    // the window reads them, then a move it places by them. GLUT set the
    // hints when it made the window, and waited for it to be shown.
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable window = glXGetCurrentDrawable();
    XSizeHints* hints = display && window ? XAllocSizeHints() : nullptr;
    if (!hints)
        return;
    long supplied = 0;
    XGetWMNormalHints(display, window, hints, &supplied);
    hints->flags |= USPosition | PWinGravity;
    hints->x = x;
    hints->y = y;
    hints->win_gravity = fromBottom ? fromRight ? SouthEastGravity : SouthWestGravity
                                    : fromRight ? NorthEastGravity : NorthWestGravity;
    XSetWMNormalHints(display, window, hints);
    XFree(hints);
    XMoveWindow(display, window, x, y);
    XFlush(display);
}

void nameWindowClass() {
    // Right after glutCreateWindow the current drawable is GLUT's top-level
    // window. Setting a property needs no answer from the server.
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (!display || !drawable)
        return;
    char name[] = "quendrix", windowClass[] = "Quendrix";
    XClassHint hint = {name, windowClass};
    XSetClassHint(display, drawable, &hint);
}

void windowStillThere() {
    XWindowAttributes attributes;
    if (!windowDisplay)
        return;
    grabErrors();
    XGetWindowAttributes(windowDisplay, windows[0], &attributes);
    if (releaseErrors(windowDisplay) == BadWindow)
        leave("the window was destroyed");
}

bool windowViewable() {
    Display* display = glXGetCurrentDisplay();
    XWindowAttributes attributes;
    return display && XGetWindowAttributes(display, glXGetCurrentDrawable(), &attributes) &&
           attributes.map_state == IsViewable;
}

void whenWindowMoves(void (*moved)(int, int)) { glutPositionFunc(moved); }

// The window manager's own way, as a desktop's key for it does: GLUT's asks
// about whichever of its windows is current when it gets to it, and a
// window manager ignores a request about the drawable inside.
bool askFullScreen(bool on) {
    if (!windowDisplay || !windows[0] || !windowManagerRunning())
        return false;
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = windows[0];
    event.xclient.message_type = XInternAtom(windowDisplay, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = on ? 1 : 0;  // add, remove
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(windowDisplay, "_NET_WM_STATE_FULLSCREEN", False));
    event.xclient.data.l[3] = 1;  // from an application
    XSendEvent(windowDisplay, DefaultRootWindow(windowDisplay), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(windowDisplay);
    return true;
}

void drawableOnScreen(int* x, int* y) {
    // The drawable sits at the outer window's corner; under a window manager
    // the outer window sits inside the manager's frame, so only the server
    // knows where it is on the screen.
    const Window drawable = windows[1] ? windows[1] : windows[0];
    Window child = 0;
    if (!windowDisplay || !drawable ||
        !XTranslateCoordinates(windowDisplay, drawable, DefaultRootWindow(windowDisplay), 0, 0, x, y, &child))
        *x = *y = 0;
}

// One channel of a pixel, widened or narrowed to 8 bits as GL reads it back.
static unsigned char channel(unsigned long pixel, unsigned long mask) {
    if (!mask)
        return 0;
    const int shift = __builtin_ctzl(mask), bits = __builtin_popcountl(mask);
    const unsigned long value = (pixel & mask) >> shift;
    if (bits >= 8)
        return static_cast<unsigned char>(value >> (bits - 8));
    // Fewer bits are repeated to fill 8: five bits abcde give abcdeabc.
    unsigned long wide = value;
    int filled = bits;
    for (; filled < 8; filled += bits)
        wide = (wide << bits) | value;
    return static_cast<unsigned char>(wide >> (filled - 8));
}

// Whether a window of another client, stacked above the top-level window
// that holds ours, covers any of the rectangle (in root coordinates). Only
// windows that draw count: mapped, and not input-only. Each may be gone by
// the time it is asked about: the caller brackets the errors.
static bool coveredByOthers(Display* display, Window topLevel, int left, int top, int right, int bottom) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return false;
    bool above = false, covered = false;
    for (unsigned i = 0; i < count && !covered; ++i) {  // bottom to top
        XWindowAttributes a;
        if (children[i] == topLevel) {
            above = true;
        } else if (above && XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable &&
                   a.c_class == InputOutput) {
            const int edge = 2 * a.border_width;
            covered = a.x < right && a.x + a.width + edge > left && a.y < bottom && a.y + a.height + edge > top;
        }
    }
    if (children)
        XFree(children);
    return covered;
}

// Inside every ancestor, the root (the screen) last: reading beyond it would
// fail, and what another window's border hides is not ours. The ancestors
// are the window manager's, and may vanish meanwhile: the caller brackets
// the errors. Gives the top-level window that holds ours, and where ours
// lies on the root window.
static ScreenRead insideAncestors(Display* display, Window window, int width, int height, Window* topLevel,
                                  int* rootX, int* rootY) {
    for (Window current = window;;) {
        Window root = 0, parent = 0, *children = nullptr, child = 0;
        unsigned count = 0;
        if (!XQueryTree(display, current, &root, &parent, &children, &count))
            return SCREEN_UNREADABLE;
        if (children)
            XFree(children);
        if (!parent)
            return SCREEN_READ;
        XWindowAttributes outer;
        int x = 0, y = 0;
        if (!XGetWindowAttributes(display, parent, &outer) ||
            !XTranslateCoordinates(display, window, parent, 0, 0, &x, &y, &child))
            return SCREEN_UNREADABLE;
        if (x < 0 || y < 0 || x + width > outer.width || y + height > outer.height)
            return SCREEN_PARTLY_OFF;
        if (parent == root)
            *topLevel = current, *rootX = x, *rootY = y;
        current = parent;
    }
}

// The window's pixels as the server holds them. XGetImage fails (BadMatch)
// where the window is not all on the screen by the time the server reads it.
static bool readPixels(Display* display, Window window, int width, int height, unsigned char* rgb) {
    grabErrors();
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    const bool failed = releaseErrors(display) != Success;
    if (!image || failed) {
        if (image)
            XDestroyImage(image);
        return false;
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            unsigned char* out = rgb + (static_cast<size_t>(y) * width + x) * 3;
            out[0] = channel(pixel, image->red_mask);
            out[1] = channel(pixel, image->green_mask);
            out[2] = channel(pixel, image->blue_mask);
        }
    XDestroyImage(image);
    return true;
}

ScreenRead readScreen(int width, int height, unsigned char* rgb) {
    Display* display = glXGetCurrentDisplay();
    const Window window = glXGetCurrentDrawable();
    XWindowAttributes attributes;
    if (!display || !XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable)
        return SCREEN_NOT_VIEWABLE;
    if (attributes.width < width || attributes.height < height)
        return SCREEN_PARTLY_OFF;
    Window topLevel = window;
    int rootX = 0, rootY = 0;
    grabErrors();
    ScreenRead placed = insideAncestors(display, window, width, height, &topLevel, &rootX, &rootY);
    if (placed == SCREEN_READ && coveredByOthers(display, topLevel, rootX, rootY, rootX + width, rootY + height))
        placed = SCREEN_COVERED;
    releaseErrors(display);
    if (placed != SCREEN_READ)
        return placed;
    return readPixels(display, window, width, height, rgb) ? SCREEN_READ : SCREEN_UNREADABLE;
}

bool characterKeyPressed() {
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
    return false;
}
