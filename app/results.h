// --results FILE: the results of a run of frames or of the check, one JSON
// document written as the run ends, for scripts and CI to read.
//
//   program, version     "quendrix", "1.0"
//   command_line         the arguments as given, the program's name first
//   run                  "frames" or "check"
//   drawable             "window" or "off-screen"
//   gl                   renderer, version, vendor; egl_platform off-screen
//   stereo_mode          "red-blue", ...; eye_order "normal" or "swapped"
//   samples              samples a pixel, 0 without multisampling
//   frame_size           width and height in pixels
//   frames               (a run of frames) frames, seconds and rate as the
//                        result line gives them, and frame_time_ms: min,
//                        median, p95, p99 and max of the frame times, swap
//                        to swap (the first frame from the first pass)
//   check                (the check) status and verdict: "passed",
//                        "FAILED" or "not judged", the verdict's line as
//                        written, and each frame judged, with the figures
//                        of its line: name, phase, outcome, surface
//                        channels judged, off, lit where nothing may be,
//                        spheres seen and missing, the disparity and the
//                        one expected (null with one view), and the pixels
//                        of the screen compared, differing, and changed
//                        before the swap
#pragma once

#include <cstdint>

// The command line as given: the options are taken out of argv for GLUT.
void keepCommandLine(int argc, char* const* argv);

// Write the document of a run of frames, or of the check with its exit
// status, when --results asks for one. False, after a message on standard
// error, when the file cannot be written whole.
bool writeFramesResults(int64_t frames, int64_t milliseconds);
bool writeCheckResults(int status);
