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

// A run of frames: the last swap, the frame times, and the time left out
// of them, in this frame and in all.
static Clock::time_point lastSwap;
static FrameTimes times;
static Clock::time_point untimedSince;
static Clock::duration untimedInFrame{0}, untimedInAll{0};

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
    const Clock::duration timed = Clock::now() - startInstant - untimedInAll;
    const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(timed).count();
    return ms < 1 ? 1 : ms;
}

void frameShown() {
    // One read of the clock and a count in a histogram: nothing allocated.
    const Clock::time_point now = Clock::now();
    const Clock::duration frame = now - (times.count == 0 ? startInstant : lastSwap) - untimedInFrame;
    addFrameTime(&times, std::chrono::duration_cast<std::chrono::nanoseconds>(frame).count());
    lastSwap = now;
    untimedInFrame = Clock::duration(0);
}

const FrameTimes& frameTimes() { return times; }

void beginUntimed() { untimedSince = Clock::now(); }

void endUntimed() {
    const Clock::duration spent = Clock::now() - untimedSince;
    untimedInFrame += spent;
    untimedInAll += spent;
}
