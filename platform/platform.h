// What every operating and window system gives the program, implemented by
// the files CMake chooses for a system: x11.cpp, glx.cpp, egl.cpp (the
// off-screen surface) and posix.cpp on Linux and the BSDs; win32.cpp and
// noegl.cpp on Windows; macos.cpp, posix.cpp and noegl.cpp on macOS. What is
// the same everywhere is in common.cpp.
#pragma once

#include <cstddef>
#include <string>

// ---- The process

// Called first thing: makes sure descriptors 0, 1 and 2 are open (on the
// null device if need be) before anything else opens a file or a connection,
// remembering which standard stream was closed; sets standard error up so
// that writing to it never blocks; makes a reader that has gone harmless;
// and keeps the heap the GL driver churns through in the process (glibc).
void prepareProcess();

// True when standard output was closed when the program started: nothing
// written there reaches anyone, and a result must not be called delivered.
bool standardOutputWasClosed();

// ---- The deadline

// Ends the process once the seconds have passed, unless it is armed again or
// disarmed first: writes outputLine to standard output and errorLine to
// standard error (either may be null; both are kept, not copied) and exits
// with the status at once, running no exit handlers, for whatever the
// program was waiting for (a window the system never shows) may never come.
void armDeadline(unsigned seconds, int status, const char* outputLine, const char* errorLine);
void disarmDeadline();

// The results document the deadline writes, where --results asks for one:
// written whole to path (a temporary name beside it, renamed), or to
// standard output for "-" or a path that names it; a document that cannot
// be written makes the status 99. Empty path: none.
void deadlineDocument(const std::string& path, const std::string& document);

// ---- Standard error

// Writes to standard error without ever blocking, stalling or raising a
// signal: whatever cannot be written at once is dropped.
void writeError(const char* text, size_t length);

// Ends the line on standard error with a line feed if the last text written
// there left it open (a frame-rate record), so that what comes next, the
// shell's prompt included, starts on a line of its own.
void endErrorLine();

// Says what went wrong on standard error, on a line of its own:
// "quendrix: <what>".
void complain(const std::string& what);

// How the program ends when the window system fails it (the connection
// lost, the window destroyed, an error of GLUT's), once the failure is said
// on standard error: end(why) never returns; why is the failure in words,
// "the window was destroyed", as said after "quendrix: ". Unless one is set, at once with
// the status of a run that failed partway.
void onWindowSystemFailure(void (*end)(const char* why));
[[noreturn]] void windowSystemFailed(const char* why);

// Ends the process with the status at once, running no exit handlers.
[[noreturn]] void leaveAtOnce(int status);

// ---- Standard output

// Writes text to standard output and flushes it. On a write error (a full
// disk, a closed descriptor) says so on standard error and returns false:
// results that were never delivered must not end with status 0.
bool writeOutput(const char* text);

// With --results -, standard output holds the results document alone: from
// then on writeOutput's text goes to standard error, and writeDocument
// writes to standard output. False on a write error, after a message.
void keepOutputForDocument();
bool writeDocument(const std::string& text);

// ---- Files

// Writes the bytes to the file at path whole, or leaves it as it was: to a
// temporary name beside it, renamed into place, so that a failed write
// leaves no empty or partial file and an old one whole. A path that names
// standard output (/dev/stdout, the terminal it writes to) is written
// through standard output, after what was written there; another that is
// not a regular file (a device, a pipe) is written as it is. False on
// failure, with errno saying why.
bool writeFileWhole(const std::string& path, const std::string& bytes);

// ---- The display

// Opens the program's own connection to the window system, for the keys and
// for asking what the display offers, with these arguments (GLUT's -display,
// else the environment); it stays open for the whole run. Empty when it
// opened; otherwise one line that says why not.
std::string openDisplay(int argc, char* const* argv);

// Whether a window manager places the windows on this display; with none,
// a window the program does not place itself sits where X puts it.
bool windowManagerRunning();

// GLUT's initialisation, with the window system's errors handled by the
// program from the first request on (see watchWindow).
void platformGlutInit(int* argc, char** argv);

// Whether the display offers a double-buffered RGB visual with depth, with
// left and right buffers if stereo, with at least samples samples a pixel,
// and with a stencil buffer if stencil. True where the system cannot tell
// before a window exists: the window's own buffers are then the answer.
bool displayOffers(bool stereo, int samples, bool stencil);

// Whether the program draws into a window of its own inside the one the
// user sees, a drawable whose size only the program sets (see x11.cpp).
bool drawInChildWindow();

// Gives that drawable a new size now, in the order of the program's own
// requests: the GL driver finds it at the next glViewport.
void resizeDrawable(int width, int height);

// ---- The windows

// Watches the current GLUT window, called once for each of the program's
// windows, the outer one first: the process ends with a message, as
// onWindowSystemFailure says, when the window system's connection is lost or
// another client destroys the window; and the window's key presses are heard on every keyboard layout.
void watchWindow();

// Places the current window, just made, at x, y, counted from the screen's
// right or bottom edge as -geometry's minus says: a frame around the window
// (a window manager's on X, told by the window's gravity; the system's on
// Windows) then keeps that far from those edges, not the window inside it.
void placeWindowFromEdges(int x, int y, bool fromRight, bool fromBottom);

// Names the current window's class, ("quendrix", "Quendrix"), by which
// desktops match it to its desktop entry and window managers to their rules.
void nameWindowClass();

// Asks the window system about the outer window, so that its loss is noticed
// even while nothing is drawn; ends the process if it is gone.
void windowStillThere();

// Whether the current GL window is viewable now: mapped, with its ancestors.
bool windowViewable();

// Calls moved whenever the current window moves on the screen (GLUT's
// position handler, where GLUT has one), with a position not to be trusted:
// under a window manager it may be the frame's, or relative to it.
void whenWindowMoves(void (*moved)(int x, int y));

// Asks the window manager to make the outer window cover the screen (on),
// or to give it back the size and place it had. False where there is no
// window manager to ask: the program then moves and sizes it itself.
bool askFullScreen(bool on);

// Where the GL drawable's top left pixel is on the screen, asked of the
// window system: on X11 a round trip, so asked when the window has moved,
// never once a frame.
void drawableOnScreen(int* x, int* y);

// What the screen shows of the current GL window: read only when all of
// it can be seen, for what the screen shows of a part that cannot be seen
// is not the window's.
enum ScreenRead {
    SCREEN_READ,          // all of it is on the screen, uncovered, and was read
    SCREEN_NOT_VIEWABLE,  // minimised or unmapped
    SCREEN_PARTLY_OFF,    // part of it lies off the screen, or outside its parent
    SCREEN_COVERED,       // part of it lies under another client's window
    SCREEN_UNREADABLE,    // the window system would not give its pixels
};

// Reads width x height pixels from the current GL window's top left as the
// screen shows them: top row first, three bytes a pixel (red, green, blue, 8
// bits each).
ScreenRead readScreen(int width, int height, unsigned char* rgb);

// ---- Keys

// True once a key that types a character was pressed in a watched window,
// whatever the keyboard layout. GLUT hands its keyboard handler only Latin-1
// characters; Cyrillic, Greek, Hebrew or the euro sign never reach it.
bool characterKeyPressed();

// Whether an X key symbol types a character (a letter, digit, sign or space
// in any script), as opposed to a function, cursor, modifier or dead key.
bool keysymTypesCharacter(unsigned long keysym);

// ---- The off-screen surface

// Opens an off-screen surface through EGL, with no display server and no
// GLUT: *width x *height pixels (fewer where EGL makes none that large, and
// the sizes then say so), RGB with depth, a stencil buffer if stencil, at
// least samples samples a pixel; and makes current on it a GL context that
// serves OpenGL 1.1 calls. Empty when it opened; otherwise one line that
// says why not (on a system without EGL, that it is missing).
std::string openOffscreen(int* width, int* height, int samples, bool stencil);

// The EGL device or platform of the off-screen surface, and EGL's version
// and vendor; empty when none is open.
std::string offscreenPlatform();

// ---- The drawable's buffers

// Shows the frame drawn in the back buffer; off-screen, finishes it.
void swapBuffers();

// ---- The swap interval

// Sets the swap interval of the current window (0: never wait for the
// screen's refresh; N: every N-th refresh). False when the driver cannot.
bool setSwapInterval(int interval);

// The swap interval in effect as the driver reports it, or -1 when it cannot
// say.
int swapInterval();

// ---- Extension entries

// The entry of an OpenGL extension function in the current context, or null.
// Some loaders hand out an entry for any name, so callers check the
// extension string first.
typedef void (*GlEntry)();
GlEntry extensionEntry(const char* name);

// True when the space-separated extension list holds name as a whole token.
bool hasExtension(const char* extensions, const char* name);
