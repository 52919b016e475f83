#include "render/report.h"

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <io.h>
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
static int errorFd = 2;

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
void prepareErrorStream() {}

void writeError(const char* text, size_t length) {
    _write(errorFd, text, static_cast<unsigned>(length));
}
#else
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
