// --results FILE: the results of a run of frames or of the check, one JSON
// document written as the run ends, for scripts and CI to read; its format
// is docs/results.schema.json, and the manual's RESULTS FILE.
//
//   program, version     "quendrix", "1.0"
//   format_version       2: within one, members are only ever added
//   started              when the run started, ISO 8601, UTC
//   command_line         the arguments as given, the program's name first
//   run                  "frames" or "check"
//   status, outcome      how it ended: the exit status and its word, "done",
//                        "failed", "skipped" or "error" (platform/outcome.h)
//   reason               why it was not done; empty when it was
//   drawable             "window" or "off-screen"
//   gl                   renderer, version, vendor; egl_platform off-screen
//   stereo_mode          "red-blue", ...; eye_order "normal" or "swapped"
//   samples              samples a pixel, 0 without multisampling
//   swap_interval        the interval in effect, null where unknown
//   frame_size           width and height in pixels
//   frames               (a run of frames that finished) frames, seconds and rate as the
//                        result line gives them, and frame_time_ms: min,
//                        median, p95, p99 and max of the frame times, swap
//                        to swap (the first frame from the first pass)
//   check                (the check) status and verdict: "passed",
//                        "failed" or "not_judged", the reason it was not
//                        judged, the last line as written, its seconds,
//                        and each frame judged, with the figures of its
//                        line
//
// FILE "-" is standard output, which then holds the document alone.
#pragma once

#include "platform/outcome.h"

#include <cstdint>
#include <string>

// The command line as given, and when the run started: the options are
// taken out of argv for GLUT.
void keepCommandLine(int argc, char* const* argv);

// What the driver says of itself once its context draws, and a run of
// frames that finished: kept for the document.
void noteDriver();
void noteFrames(int64_t frames, int64_t milliseconds);

// The document of a run that ends with this outcome, and why; written where
// --results asks, false after a message on standard error when it cannot be
// written whole.
std::string resultsDocument(Outcome outcome, const std::string& reason);
bool writeResults(Outcome outcome, const std::string& reason);
