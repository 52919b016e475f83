// The small layer between the program and the operating system: the parts
// that differ between Windows, X11 and macOS.
#pragma once

// Makes sure descriptors 0, 1 and 2 are open (on the null device if need be)
// before anything else opens a file or a connection, and that writing to a
// standard error whose reader has gone cannot kill the process.
void prepareProcess();

// Keeps freed heap memory in the process instead of handing it back to the
// kernel and faulting it in again on every frame (glibc only).
void tuneAllocator();

// GLUT's initialisation; on Windows the GLUT header routes it through the
// entry that also receives the process's exit routine.
void platformGlutInit(int* argc, char** argv);

// Ends the process with a message and status 1 when the window system's
// connection is lost or the current window is destroyed by another client,
// rather than leaving it to the toolkit. Called once the window exists.
void watchWindow();

// Names the current window's class, ("quendrix", "Quendrix") on X11, by
// which desktops match it to its desktop entry (StartupWMClass) and window
// managers to their rules. Called right after the window is created.
void nameWindowClass();

// Asks the window system about the window, so that its loss is noticed even
// while nothing is drawn; ends the process if it is gone.
void windowStillThere();

// The entry of an OpenGL extension function in the current context, or null.
// On X11 the loader hands out an entry for any name, so callers check the
// extension string first.
typedef void (*GlEntry)();
GlEntry extensionEntry(const char* name);

// True when the space-separated extension list holds name as a whole token.
bool hasExtension(const char* extensions, const char* name);
