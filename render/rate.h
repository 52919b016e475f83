// The frame-rate report: a running average rewritten in place on one line of
// standard error every 128 passes (64 frames). Two steps of it run at the top
// of every pass (render/pass.cpp): one before the clock counts the pass, one
// after.
#pragma once

#include "render/frametimes.h"

#include <cstddef>
#include <cstdint>

struct RateReport {
    int64_t frames;
    int64_t seconds;
    double rate;
};

// A report is due when passCount (after its increment) is a positive
// multiple of 128: not after the left eye's pass that begins a run of
// frames (0), before any frame is shown.
inline bool reportIsDue(int64_t count) { return count > 0 && (count & 127) == 0; }

// The report after pass number count, given the start second and the current
// one. False when none is due, or while the clock second has not moved past
// the start (or has run backwards): then nothing is written.
bool makeReport(int64_t count, int64_t startTime, int64_t now, RateReport* report);

// "\r<frames> frames in <seconds>s (<rate>fps)", no line feed. Returns the
// length written into buf (at most size - 1).
size_t formatReport(const RateReport& report, char* buf, size_t size);

// Before the increment: the first pass (count the passes begun before it:
// 0) takes the start time.
void reportRateStart(int64_t count);
// After it: writes the report when one is due.
void reportRate(int64_t count);

// Whole milliseconds on the monotonic clock since the first pass began, at
// least 1: what a run of a fixed number of frames is timed by.
int64_t millisecondsSinceFirstPass();

// After each swap of a run of frames: the time of the frame just shown,
// from the swap before it (the first frame's from the first pass).
void frameShown();

// The frame times of the run so far.
const FrameTimes& frameTimes();

// Work of the program's own between two swaps (reading a picture back),
// which the frame times and millisecondsSinceFirstPass leave out.
void beginUntimed();
void endUntimed();
