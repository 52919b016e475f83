// --results FILE: the results of a run of frames or of the check, one JSON
// document written as the run ends, for scripts and CI to read; its format
// is docs/results.schema.json, and the manual's RESULTS FILE.
//
//   program, version     "quendrix", "1.0"
//   format_version       2: within one, members are only ever added
//   started              when the run started, ISO 8601, UTC
//   command_line         the arguments as given, the program's name first
//   run                  "frames" or "check"
//   drawable             "window" or "off-screen"
//   gl                   renderer, version, vendor; egl_platform off-screen
//   stereo_mode          "red-blue", ...; eye_order "normal" or "swapped"
//   samples              samples a pixel, 0 without multisampling
//   swap_interval        the interval in effect, null where unknown
//   frame_size           width and height in pixels
//   frames               (a run of frames) frames, seconds and rate as the
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

#include <cstdint>

// The command line as given: the options are taken out of argv for GLUT.
void keepCommandLine(int argc, char* const* argv);

// Write the document of a run of frames, or of the check with its exit
// status, when --results asks for one. False, after a message on standard
// error, when the file cannot be written whole.
bool writeFramesResults(int64_t frames, int64_t milliseconds);
bool writeCheckResults(int status);
