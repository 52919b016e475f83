#include "render/report.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

#if defined(_WIN32)
#include <io.h>
#else
#include <cerrno>
#include <climits>
#include <poll.h>
#include <unistd.h>
#endif

static int64_t startTime = 0;

static int64_t clockSecond() { return static_cast<int64_t>(std::time(nullptr)); }

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
    if (count == 0)
        startTime = clockSecond();
}

void reportCheck(int64_t count) {
    if (!reportIsDue(count))
        return;  // the clock is read only when a report is due
    RateReport report;
    if (!makeReport(count, startTime, clockSecond(), &report))
        return;
    char line[96];
    writeError(line, formatReport(report, line, sizeof line));
}

#if defined(_WIN32)
void writeError(const char* text, size_t length) {
    _write(2, text, static_cast<unsigned>(length));
}
#else
void writeError(const char* text, size_t length) {
    // Standard error may be a pipe nobody reads: a blocking write there would
    // stall the animation. Write only what the descriptor takes at once, in
    // pieces no larger than PIPE_BUF, which a pipe reporting room accepts
    // whole. SIGPIPE is ignored at start-up, so a gone reader is just EPIPE.
    while (length > 0) {
        pollfd out = {2, POLLOUT, 0};
        int ready;
        do {
            ready = poll(&out, 1, 0);
        } while (ready < 0 && errno == EINTR);
        if (ready != 1 || (out.revents & POLLOUT) == 0)
            return;
        size_t piece = length < PIPE_BUF ? length : PIPE_BUF;
        ssize_t written = write(2, text, piece);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        text += written;
        length -= static_cast<size_t>(written);
    }
}
#endif
