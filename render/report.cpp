#include "render/report.h"

#include "platform/platform.h"

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

// The steady clock, not the calendar: stepping the system time (time
// synchronisation, a resumed virtual machine) must not bend the average.
using Clock = std::chrono::steady_clock;

static int64_t startTime = 0;           // whole seconds, as the report counts them
static Clock::time_point startInstant;  // the same moment, finely, for a timed run

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
    endErrorLine();
    return writeOutput(line);
}

bool writeOutput(const char* text) {
    // A closed standard output was put on the null device at start, where
    // every write succeeds and reaches no one.
    errno = standardOutputWasClosed() ? EBADF : 0;
    if (errno == 0 && std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0)
        return true;
    const std::string message =
        std::string("quendrix: write error on standard output: ") + std::strerror(errno ? errno : EIO) + "\n";
    endErrorLine();
    writeError(message.data(), message.size());
    return false;
}
