// The small layer between the program and the operating system: the parts
// that differ between Windows, X11 and macOS.
#pragma once

#include <string>

// Makes sure descriptors 0, 1 and 2 are open (on the null device if need be)
// before anything else opens a file or a connection, and that writing to a
// standard error whose reader has gone cannot kill the process.
void prepareProcess();

// Keeps freed heap memory in the process instead of handing it back to the
// kernel and faulting it in again on every frame (glibc only).
void tuneAllocator();

// Empty when the window system can be reached with these arguments (GLUT's
// -display, else the environment); otherwise one line that says why not.
std::string unreachableDisplay(int argc, char* const* argv);

// GLUT's initialisation; on Windows the GLUT header routes it through the
// entry that also receives the process's exit routine.
void platformGlutInit(int* argc, char** argv);

// Whether the program draws into a window of its own inside the one the user
// sees. On X11 the GL driver reads the drawable's size from the server when
// it draws, and another client may resize the outer window at any moment,
// to a size the driver cannot draw; a child window only the program sizes
// has no such race. Elsewhere the outer window is drawn into (Wine, for one,
// does not show GL drawn into child windows under Xvfb).
#if defined(QUENDRIX_X11)
constexpr bool DRAW_IN_CHILD_WINDOW = true;
#else
constexpr bool DRAW_IN_CHILD_WINDOW = false;
#endif

// Watches the current GLUT window, called once for each of the program's
// windows, the outer one first: the process ends with a message and status 1
// when the window system's connection is lost or another client destroys the
// window, rather than leaving it to the toolkit; and the window's key presses
// are heard on every keyboard layout (see characterKeyPressed).
void watchWindow();

// Names the current window's class, ("quendrix", "Quendrix") on X11, by
// which desktops match it to its desktop entry (StartupWMClass) and window
// managers to their rules. Called right after the window is created.
void nameWindowClass();

// Asks the window system about the outer window, so that its loss is noticed
// even while nothing is drawn; ends the process if it is gone.
void windowStillThere();

// True once a key that types a character was pressed in a watched window,
// whatever the keyboard layout. GLUT hands its keyboard handler only Latin-1
// characters; Cyrillic, Greek, Hebrew or the euro sign never reach it.
bool characterKeyPressed();

// Whether a key symbol types a character (a letter, digit, sign or space in
// any script), as opposed to a function, cursor, modifier or dead key.
bool keysymTypesCharacter(unsigned long keysym);

// Sets the swap interval of the current window (0: never wait for the
// screen's refresh; N: every N-th refresh). False when the driver cannot.
bool setSwapInterval(int interval);

// The swap interval in effect as the driver reports it, or -1 when it cannot
// say.
int swapInterval();

// The entry of an OpenGL extension function in the current context, or null.
// On X11 the loader hands out an entry for any name, so callers check the
// extension string first.
typedef void (*GlEntry)();
GlEntry extensionEntry(const char* name);

// True when the space-separated extension list holds name as a whole token.
bool hasExtension(const char* extensions, const char* name);
