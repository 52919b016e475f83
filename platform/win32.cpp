// Windows: the process, a standard error written by a thread of its own,
// GL through WGL, and what the window shows read back through GDI. GLUT
// handles the window and its keys itself here.
#include "platform/platform.h"
#include "platform/system.h"
#include "platform/outcome.h"

#include "platform/gl.h"

#include <GL/freeglut_ext.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// ---- The process

static bool outputClosed = false;

// Standard error may be a pipe nobody reads, a console whose output is held
// (a selection in it, or Pause), or a slow file: a write there waits until
// it is taken. A pipe cannot be asked soundly for room (the room it reports
// shrinks by what a waiting reader asks for, so it reads as full while the
// reader waits), and its non-blocking mode would be switched for every
// process that writes to the same pipe, the shell's own handle included. So
// a thread of our own does the writing: the program only queues the text,
// and what does not fit while the writer is held up is dropped.
static bool errorPrepared = false;
static HANDLE errorHandle = nullptr;  // our own handle on standard error, or none
static HANDLE errorQueued = nullptr;  // set when text is queued
static SRWLOCK errorLock = SRWLOCK_INIT;
static CONDITION_VARIABLE errorWritten = CONDITION_VARIABLE_INIT;
static char errorQueue[1 << 16];
static size_t errorQueueLength = 0;
static bool errorWriting = false;  // the writer is in a write, since errorWriteStart
static ULONGLONG errorWriteStart = 0;

static DWORD WINAPI errorWriter(void*) {
    static char text[sizeof errorQueue];
    for (;;) {
        AcquireSRWLockExclusive(&errorLock);
        const size_t length = errorQueueLength;
        std::memcpy(text, errorQueue, length);
        errorQueueLength = 0;
        errorWriting = length > 0;
        errorWriteStart = GetTickCount64();
        ReleaseSRWLockExclusive(&errorLock);
        WakeAllConditionVariable(&errorWritten);
        if (length == 0) {
            WaitForSingleObject(errorQueued, INFINITE);
            continue;
        }
        DWORD written = 0;
        for (size_t at = 0; at < length; at += written) {
            if (!WriteFile(errorHandle, text + at, static_cast<DWORD>(length - at), &written, nullptr) || written == 0)
                break;  // a reader that has gone, a closed console: dropped
        }
    }
}

// At exit the writer finishes what is queued, unless it has been held up in
// one write for a fifth of a second: then the rest is dropped, and the
// process ends with the writer still waiting.
static void finishErrors() {
    AcquireSRWLockExclusive(&errorLock);
    while ((errorQueueLength > 0 || errorWriting) && !(errorWriting && GetTickCount64() - errorWriteStart > 200))
        SleepConditionVariableSRW(&errorWritten, &errorLock, 20, 0);
    ReleaseSRWLockExclusive(&errorLock);
}

static bool usable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

static void prepareErrorStream() {
    if (errorPrepared)
        return;
    errorPrepared = true;
    // No standard error, or a handle that is no file, pipe or console in this
    // process: nothing is written.
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE self = GetCurrentProcess();
    if (!usable(error) || !DuplicateHandle(self, error, self, &errorHandle, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        errorHandle = nullptr;
        return;
    }
    errorQueued = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE writer = errorQueued ? CreateThread(nullptr, 0, errorWriter, nullptr, 0, nullptr) : nullptr;
    if (!writer) {
        CloseHandle(errorHandle);
        errorHandle = nullptr;
        return;
    }
    CloseHandle(writer);
    std::atexit(finishErrors);
}

void prepareProcess() {
    outputClosed = !usable(GetStdHandle(STD_OUTPUT_HANDLE));
    prepareErrorStream();
}

bool standardOutputWasClosed() { return outputClosed; }

void writeErrorBytes(const char* text, size_t length) {
    prepareErrorStream();  // a message before start-up, such as a write error of --help
    if (!errorHandle)
        return;
    // Lines end with CR LF, as the C run-time writes standard error.
    size_t needed = length;
    for (size_t i = 0; i < length; ++i)
        needed += text[i] == '\n';
    AcquireSRWLockExclusive(&errorLock);
    if (needed <= sizeof errorQueue - errorQueueLength) {
        for (size_t i = 0; i < length; ++i) {
            if (text[i] == '\n')
                errorQueue[errorQueueLength++] = '\r';
            errorQueue[errorQueueLength++] = text[i];
        }
    }
    ReleaseSRWLockExclusive(&errorLock);
    SetEvent(errorQueued);
}

// ---- The deadline: a timer of the system's thread pool

static HANDLE deadlineTimer = nullptr;
static const char* deadlineOutput = nullptr;
static const char* deadlineError = nullptr;
static int deadlineStatus = 1;

// Lines end with CR LF, as the C run-time writes standard output.
static DWORD WINAPI writeDeadlineOutput(void*) {
    DWORD written = 0;
    for (const char* at = deadlineOutput; at && *at; ++at)
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), *at == '\n' ? "\r\n" : at, *at == '\n' ? 2 : 1, &written, nullptr);
    return 0;
}

// Standard output gets a second to take the line, so that a reader who
// never reads cannot keep the process alive; then the process ends at once,
// as _exit ends it elsewhere, with no DLL's detach to hang in.
static std::string deadlinePath, deadlineText;

void deadlineDocument(const std::string& path, const std::string& document) {
    deadlinePath = path;
    deadlineText = document;
}

static VOID CALLBACK deadlinePassed(void*, BOOLEAN) {
    HANDLE writer = CreateThread(nullptr, 0, writeDeadlineOutput, nullptr, 0, nullptr);
    if (writer)
        WaitForSingleObject(writer, 1000);
    // A thread of the pool: the document is written as the program writes it.
    if (!deadlinePath.empty() && !(deadlinePath == "-" ? writeDocument(deadlineText)
                                                          : writeFileWhole(deadlinePath, deadlineText)))
        deadlineStatus = exitStatus(UNDELIVERED);
    if (deadlineError) {
        endErrorLine();
        writeError(deadlineError, std::strlen(deadlineError));
    }
    finishErrors();
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(deadlineStatus));
}

void armDeadline(unsigned seconds, int status, const char* outputLine, const char* errorLine) {
    disarmDeadline();
    deadlineOutput = outputLine;
    deadlineError = errorLine;
    deadlineStatus = status;
    if (!CreateTimerQueueTimer(&deadlineTimer, nullptr, deadlinePassed, nullptr, seconds * 1000, 0,
                               WT_EXECUTEONLYONCE))
        deadlineTimer = nullptr;
}

void disarmDeadline() {
    if (deadlineTimer)
        DeleteTimerQueueTimer(nullptr, deadlineTimer, nullptr);  // does not wait for a callback under way
    deadlineTimer = nullptr;
}

// ---- The display and the windows: GLUT's own

std::string openDisplay(int, char* const*) { return std::string(); }

// The system places every window.
bool windowManagerRunning() { return true; }

void platformGlutInit(int* argc, char** argv) {
    // freeglut takes DISPLAY for the name of a display device and warns when
    // it is none; an X display name there (under Wine, or set for an X server
    // on Windows) means nothing to it. -display still reaches it. The GLUT
    // header routes glutInit through the entry that also receives the
    // process's exit routine.
    _putenv("DISPLAY=");
    glutInit(argc, argv);
}

// GLUT asks the system for a pixel format like the one the window will get.
bool displayOffers(bool, int, bool) { return glutGet(GLUT_DISPLAY_MODE_POSSIBLE) != 0; }

// Wine does not show GL drawn into child windows under Xvfb, and no other
// client can resize a window here behind the driver's back.
bool drawInChildWindow() { return false; }
void resizeDrawable(int, int) {}

void watchWindow() {}

bool windowViewable() {
    HWND window = WindowFromDC(wglGetCurrentDC());
    return window && IsWindowVisible(window) && !IsIconic(GetAncestor(window, GA_ROOT));
}

// freeglut takes the window's frame away and gives it back.
bool askFullScreen(bool on) {
    on ? glutFullScreen() : glutLeaveFullScreen();
    return true;
}

void whenWindowMoves(void (*moved)(int, int)) { glutPositionFunc(moved); }

void drawableOnScreen(int* x, int* y) {
    POINT corner = {0, 0};
    HWND window = WindowFromDC(wglGetCurrentDC());
    if (!window || !ClientToScreen(window, &corner))
        corner = {0, 0};
    *x = corner.x;
    *y = corner.y;
}

// GLUT would place the frame's top left corner at x, y, its far edges a
// border and a title bar beyond the window's: counted from the right or the
// bottom, the frame's far edge goes where the window's would be.
void placeWindowFromEdges(int x, int y, bool fromRight, bool fromBottom) {
    HWND window = WindowFromDC(wglGetCurrentDC());
    RECT frame, inside;
    if (!window || !GetWindowRect(window, &frame) || !GetClientRect(window, &inside))
        return;
    const int left = fromRight ? x + inside.right - (frame.right - frame.left) : x;
    const int top = fromBottom ? y + inside.bottom - (frame.bottom - frame.top) : y;
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void nameWindowClass() {}
void windowStillThere() {}
bool characterKeyPressed() { return false; }  // GLUT hears the keys itself

// ---- What the window shows

static BOOL CALLBACK addMonitor(HMONITOR, HDC, LPRECT area, LPARAM monitors) {
    reinterpret_cast<std::vector<RECT>*>(monitors)->push_back(*area);
    return TRUE;
}

// Whether all of the window's client area within width x height is on a
// monitor and not cut off by a parent. Monitors, not the virtual screen's
// bounding box: monitors of different sizes leave parts of that box that no
// screen shows.
static bool wholeOnScreen(HWND window, int width, int height, RECT* onScreen) {
    POINT origin = {0, 0};
    if (!ClientToScreen(window, &origin))
        return false;
    const RECT asked = {origin.x, origin.y, origin.x + width, origin.y + height};
    RECT clip;
    if (!GetClientRect(window, &clip))
        return false;
    OffsetRect(&clip, origin.x, origin.y);
    for (HWND child = window; GetWindowLongW(child, GWL_STYLE) & WS_CHILD;) {
        HWND parent = GetParent(child);
        RECT area;
        POINT corner = {0, 0};
        if (!parent || !GetClientRect(parent, &area) || !ClientToScreen(parent, &corner))
            return false;
        OffsetRect(&area, corner.x, corner.y);
        IntersectRect(&clip, &clip, &area);
        child = parent;
    }
    std::vector<RECT> monitors;
    if (!EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&monitors)))
        return false;
    long seen = 0;  // monitors do not overlap
    for (RECT part : monitors)
        if (IntersectRect(&part, &part, &clip) && IntersectRect(&part, &part, &asked))
            seen += (part.right - part.left) * (part.bottom - part.top);
    *onScreen = asked;
    return seen == static_cast<long>(width) * height;
}

// Whether a visible window above ours in the stacking order covers any of
// the rectangle (screen coordinates).
static bool coveredByOthers(HWND window, const RECT& area) {
    for (HWND other = GetWindow(GetAncestor(window, GA_ROOT), GW_HWNDPREV); other;
         other = GetWindow(other, GW_HWNDPREV)) {
        RECT rect, common;
        if (IsWindowVisible(other) && !IsIconic(other) && GetWindowRect(other, &rect) &&
            IntersectRect(&common, &rect, &area))
            return true;
    }
    return false;
}

ScreenRead readScreen(int width, int height, unsigned char* rgb) {
    HWND window = WindowFromDC(wglGetCurrentDC());
    if (!window || width <= 0 || height <= 0 || !IsWindowVisible(window) || IsIconic(GetAncestor(window, GA_ROOT)))
        return SCREEN_NOT_VIEWABLE;
    RECT area;
    if (!wholeOnScreen(window, width, height, &area))
        return SCREEN_PARTLY_OFF;
    if (coveredByOthers(window, area))
        return SCREEN_COVERED;
    // GL's front buffer need not be what the screen shows (under Wine it
    // reads black). The window's device context is: the screen itself, or
    // the window's surface on a composited desktop.
    HDC source = GetDC(window);
    HDC copy = source ? CreateCompatibleDC(source) : nullptr;
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;  // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = copy ? CreateDIBSection(copy, &format, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    HGDIOBJ before = bitmap ? SelectObject(copy, bitmap) : nullptr;
    const size_t count = static_cast<size_t>(width) * height;
    const bool read = before && BitBlt(copy, 0, 0, width, height, source, 0, 0, SRCCOPY) && GdiFlush();
    if (read) {
        const unsigned char* bgrx = static_cast<const unsigned char*>(bits);
        for (size_t i = 0; i < count; ++i) {
            rgb[3 * i] = bgrx[4 * i + 2];
            rgb[3 * i + 1] = bgrx[4 * i + 1];
            rgb[3 * i + 2] = bgrx[4 * i];
        }
    }
    if (before)
        SelectObject(copy, before);
    if (bitmap)
        DeleteObject(bitmap);
    if (copy)
        DeleteDC(copy);
    if (source)
        ReleaseDC(window, source);
    return read ? SCREEN_READ : SCREEN_UNREADABLE;
}

// ---- The swap interval and extension entries: WGL

typedef BOOL(WINAPI* SwapIntervalWgl)(int);
typedef int(WINAPI* GetSwapIntervalWgl)();

bool setSwapInterval(int interval) {
    auto set = reinterpret_cast<SwapIntervalWgl>(extensionEntry("wglSwapIntervalEXT"));
    return set && set(interval);
}

int swapInterval() {
    auto get = reinterpret_cast<GetSwapIntervalWgl>(extensionEntry("wglGetSwapIntervalEXT"));
    return get ? get() : -1;
}

GlEntry extensionEntry(const char* name) { return reinterpret_cast<GlEntry>(wglGetProcAddress(name)); }

bool namesStandardOutput(const std::string& path) {
    if (_stricmp(path.c_str(), "CON") != 0 && _stricmp(path.c_str(), "CONOUT$") != 0)
        return false;
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;  // the console standard output is on
}

std::string linkTarget(const std::string& path) { return path; }  // MoveFileEx replaces a link's target

bool regularOrAbsent(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
}

bool replaceFile(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = EACCES;
    return false;
}

long processId() { return static_cast<long>(GetCurrentProcessId()); }
