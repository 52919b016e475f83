#include "app/end.h"

#include "app/options.h"
#include "app/results.h"
#include "check/check.h"
#include "platform/platform.h"

#include <cstdlib>

static bool underWay = false;

void endRun(Outcome outcome, const std::string& reason, bool atOnce) {
    if (!options.results.empty() && !writeResults(outcome, reason))
        outcome = UNDELIVERED;
    if (atOnce)
        leaveAtOnce(exitStatus(outcome));
    std::exit(exitStatus(outcome));
}

void skipRun(const std::string& why) {
    if (options.check)
        endRun(sayNotJudged(why) ? SKIPPED : UNDELIVERED, why);
    complain(why);
    endRun(SKIPPED, why);
}

void runUnderWay() { underWay = true; }

void endOnWindowSystemFailure(const char* why) {
    const std::string reason = why;  // "lost the connection to the X server"
    // A check that has not given its verdict has judged nothing; a run that
    // never got under way could not be done here.
    if (options.check && lastCheck().verdict.empty())
        endRun(sayNotJudged(reason) ? SKIPPED : UNDELIVERED, reason, true);
    endRun(underWay && !options.check ? FAILED : SKIPPED, reason, true);
}
