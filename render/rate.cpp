#include "render/rate.h"

#include "platform/platform.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>

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

void reportRateStart(int64_t count) {
    if (count == 0) {
        startInstant = Clock::now();
        startTime = clockSecond();
    }
}

void reportRate(int64_t count) {
    if (!reportIsDue(count))
        return;  // the clock is read only when a report is due
    RateReport report;
    if (!makeReport(count, startTime, clockSecond(), &report))
        return;
    char line[96];
    writeError(line, formatReport(report, line, sizeof line));
}

int64_t millisecondsSinceFirstPass() {
    const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - startInstant).count();
    return ms < 1 ? 1 : ms;
}
