// The window the user sees, the GL drawable inside it, and their size.
#pragma once

// The drawable's size in pixels, 480 x 480 at start: the size the passes
// draw at. A new size is taken only between frames (adoptWindowSize).
extern int winWidth;
extern int winHeight;

// Where the drawable's top left pixel is on the screen: the interleaved
// modes count their rows and columns from the screen's top left, as a
// passive monitor polarises them. Taken, like the size, between frames; kept
// in the interleaved modes only (0, 0 in the others, which draw without it).
extern int winX;
extern int winY;

// The GLUT windows: the outer one the user sees, titled "Quendrix", and the
// GL drawable inside it, whose size only the program sets; on systems where
// no other client can resize a window behind the driver's back, one window
// is both.
extern int topWindow;
extern int drawWindow;

// Opens the outer window at the default size, or -geometry's, full screen
// with --fullscreen and minimised with -iconic, and makes its GL context
// current.
void openWindow();

// Opens the drawable and keeps it fitted to the outer window; leaves it
// current. It has a GL context of its own: GLUT makes the outer window
// current for every handler of the outer window, and were the two to share
// one context, it would move between them, and Mesa drops a drawable's back
// buffer when its context comes back to it: the left eye's image, which
// waits there between two calls of the display handler.
void openDrawable();

// The check judges frames of one size: the drawable keeps width x height
// pixels, whatever the outer window's size, and the outer window is asked
// for that size too, so that the screen can show all of them.
void holdDrawableSize(int width, int height);

// Takes the size the window or the drawable was last given, and where the
// drawable went on the screen. Called between frames, so that both eyes of
// a frame are drawn at one size and with one pattern of pixels.
void adoptWindowSize();

// One side of the drawable for a side of the outer window: no larger than
// the driver draws or the screen shows, and at least one pixel.
int drawableSide(int side, int largest, int screen);

// Whether the drawable is held at a size for the check, and that size.
bool drawableHeld();
void heldDrawableSize(int* width, int* height);

// Off-screen, the drawable is a surface of the frame size, which never
// changes: -geometry's size, else the default, held there for the check.
// What EGL cannot give ends the program here, with a message.
void openOffscreenDrawable();
