// How a run ends, decided here alone: the results document where --results
// asks for one, and the status the outcome table gives (platform/outcome.h).
#pragma once

#include "platform/outcome.h"

#include <string>

// Ends the run with this outcome; reason says why where it was not done.
// The results document is written first, and one that cannot be written
// makes the run an error of delivery. atOnce: no exit handlers run, for the
// window system has failed and the GL driver's own may hang on it.
[[noreturn]] void endRun(Outcome outcome, const std::string& reason = "", bool atOnce = false);

// A run that cannot be done on this machine ends before anything more is
// drawn: "check not judged: <why>" on standard output for the check,
// "quendrix: <why>" on standard error otherwise; skipped.
[[noreturn]] void skipRun(const std::string& why);

// From here on the run is under way: a window system's failure is then a
// failure partway, not a run that could not be done.
void runUnderWay();

// What a window system's failure ends the run with; platform calls it.
[[noreturn]] void endOnWindowSystemFailure(const char* why);
