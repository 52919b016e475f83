// The frame-rate report: a running average rewritten in place on one line of
// standard error every 128 passes (64 frames).
#pragma once

#include <cstddef>
#include <cstdint>

struct RateReport {
    int64_t frames;
    int64_t seconds;
    double rate;
};

// A report is due when passCount (after its increment) is a multiple of 128.
inline bool reportIsDue(int64_t count) { return (count & 127) == 0; }

// The report after pass number count, given the start second and the current
// one. False when none is due, or while the clock second has not moved past
// the start (or has run backwards): then nothing is written.
bool makeReport(int64_t count, int64_t startTime, int64_t now, RateReport* report);

// "\r<frames> frames in <seconds>s (<rate>fps)", no line feed. Returns the
// length written into buf (at most size - 1).
size_t formatReport(const RateReport& report, char* buf, size_t size);

// The two steps woven into the top of every pass: the start check before
// passCount is incremented, the report check after.
void reportStartCheck(int64_t count);
void reportCheck(int64_t count);

// The result of a run of a fixed number of frames, timed on the monotonic
// clock from the first pass until now: "<frames> frames in <s.sss>s
// (<rate>fps)" and a line feed on standard output, after ending the line of
// records on standard error. False if standard output would not take it.
bool writeRunResult(int64_t frames);

// Writes text to standard output and flushes it. On a write error (a full
// disk, a closed descriptor) says so on standard error and returns false:
// results that were never delivered must not end with status 0.
bool writeOutput(const char* text);
