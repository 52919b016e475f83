// Every way a run ends, and the exit status it ends with: one table, which
// --help and the manual's EXIT STATUS print as it stands. The statuses are
// those that automake's and Meson's test harnesses read (77 skipped, 99 a
// hard error; CTest is told them with SKIP_RETURN_CODE), so that a check
// drops into a project's test suite as it is.
#pragma once

enum Outcome {
    DONE,         // did what was asked
    JUDGED_WRONG, // the check judged a frame wrong
    FAILED,       // the GL stack or the window system failed the run partway
    REFUSED,      // the command line was refused
    SKIPPED,      // it could not be done here: nothing was judged
    UNDELIVERED,  // done, but its result could not be delivered
};

struct OutcomeRow {
    int status;
    const char* word;     // in the results file
    const char* meaning;  // as --help and the manual say it
};

constexpr OutcomeRow OUTCOME_TABLE[] = {
    {0, "done", "did what was asked: a key ended it, a run of frames finished, a check passed"},
    {1, "failed", "--check judged a frame wrong"},
    {1, "failed", "outside --check, the GL stack or the window system failed the run partway"},
    {2, "refused", "the command line was refused, and nothing was opened"},
    {77, "skipped",
     "it could not be done on this machine, and nothing was judged: no display, no GLX or EGL, no visual or "
     "off-screen surface for the mode, samples or size, the window not visible or covered, or not within the "
     "time bound"},
    {99, "error",
     "the run was done, but its result could not be delivered: standard output, the results file or a picture "
     "could not be written"},
};

constexpr int exitStatus(Outcome outcome) { return OUTCOME_TABLE[outcome].status; }
