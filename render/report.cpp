#include "render/report.h"

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <cstdlib>
#include <cstring>
#include <windows.h>
#else
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

// The steady clock, not the calendar: stepping the system time (time
// synchronisation, a resumed virtual machine) must not bend the average.
using Clock = std::chrono::steady_clock;

static int64_t startTime = 0;           // whole seconds, as the report counts them
static Clock::time_point startInstant;  // the same moment, finely, for a timed run
static bool recordPending = false;      // a record ends the line on standard error

static int64_t clockSecond() {
    return std::chrono::duration_cast<std::chrono::seconds>(Clock::now().time_since_epoch()).count();
}

bool makeReport(int64_t count, int64_t start, int64_t now, RateReport* report) {
    if (!reportIsDue(count) || now <= start)
        return false;
    report->frames = count / 2;
    report->seconds = now - start;
    report->rate = static_cast<double>(report->frames) / static_cast<double>(report->seconds);
    return true;
}

size_t formatReport(const RateReport& r, char* buf, size_t size) {
    int n = std::snprintf(buf, size, "\r%" PRId64 " frames in %" PRId64 "s (%.4ffps)",
                          r.frames, r.seconds, r.rate);
    if (n < 0)
        return 0;
    return static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
}

void reportStartCheck(int64_t count) {
    if (count == 0) {
        startInstant = Clock::now();
        startTime = clockSecond();
    }
}

void reportCheck(int64_t count) {
    if (!reportIsDue(count))
        return;  // the clock is read only when a report is due
    RateReport report;
    if (!makeReport(count, startTime, clockSecond(), &report))
        return;
    char line[96];
    writeError(line, formatReport(report, line, sizeof line));
    recordPending = true;
}

void endReportLine() {
    if (recordPending)
        writeError("\n", 1);
    recordPending = false;
}

bool writeRunResult(int64_t frames) {
    // Whole milliseconds, so that the rate printed is exactly frames over the
    // seconds printed.
    int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - startInstant).count();
    if (ms < 1)
        ms = 1;
    char line[96];
    std::snprintf(line, sizeof line, "%" PRId64 " frames in %" PRId64 ".%03" PRId64 "s (%.4ffps)\n", frames, ms / 1000,
                  ms % 1000, static_cast<double>(frames) * 1000.0 / static_cast<double>(ms));
    endReportLine();
    return writeOutput(line);
}

bool writeOutput(const char* text) {
    errno = 0;
    if (std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0)
        return true;
    const std::string message =
        std::string("quendrix: write error on standard output: ") + std::strerror(errno ? errno : EIO) + "\n";
    endReportLine();
    writeError(message.data(), message.size());
    return false;
}

#if defined(_WIN32)
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

void prepareErrorStream() {
    if (errorPrepared)
        return;
    errorPrepared = true;
    // No standard error, or a handle that is no file, pipe or console in this
    // process: nothing is written.
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE self = GetCurrentProcess();
    if (error == nullptr || error == INVALID_HANDLE_VALUE || GetFileType(error) == FILE_TYPE_UNKNOWN ||
        !DuplicateHandle(self, error, self, &errorHandle, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
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

void writeError(const char* text, size_t length) {
    if (!errorPrepared)
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
#else
static int errorFd = 2;

void prepareErrorStream() {
    // A terminal whose output is held (Ctrl-S, or an emulator that stopped
    // reading) reports room and then blocks a write until all of it is taken.
    // Opening the terminal anew gives a file description of our own, whose
    // non-blocking mode the shell does not share.
    if (!isatty(2))
        return;
    const char* name = ttyname(2);
    int fd = name ? open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC) : -1;
    if (fd >= 0)
        errorFd = fd;
}

void writeError(const char* text, size_t length) {
    // Standard error may be a pipe nobody reads: a blocking write there would
    // stall the animation. Write only what the descriptor takes at once, in
    // pieces no larger than PIPE_BUF, which a pipe reporting room accepts
    // whole. SIGPIPE is ignored at start-up, so a gone reader is just EPIPE.
    while (length > 0) {
        pollfd out = {errorFd, POLLOUT, 0};
        int ready;
        do {
            ready = poll(&out, 1, 0);
        } while (ready < 0 && errno == EINTR);
        if (ready != 1 || (out.revents & POLLOUT) == 0)
            return;
        size_t piece = length < PIPE_BUF ? length : PIPE_BUF;
        ssize_t written = write(errorFd, text, piece);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        text += written;
        length -= static_cast<size_t>(written);
    }
}
#endif
