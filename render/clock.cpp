#include "render/clock.h"

#include <cmath>

int64_t passCount = 0;
float animPhase = 0.0f;

// passCount before the first pass: 0, or -1 in a run of whole frames.
static int64_t firstCount = 0;

Eye eyeForPass(int64_t count) {
    if (count & 1)
        return {true, false, false, true};
    return {false, true, true, false};
}

float advancePhase(float phase) {
    float next = phase + PHASE_STEP;
    if (next > PHASE_PERIOD)
        next = static_cast<float>(static_cast<double>(next) - PHASE_PERIOD);
    return next;
}

float phaseBefore(float P) {
    float before = P - PHASE_STEP;
    for (int i = 0; i < 8 && advancePhase(before) != P; ++i)
        before = std::nextafter(before, advancePhase(before) < P ? INFINITY : -INFINITY);
    return before;
}

bool runComplete(int64_t count, int64_t limit) { return limit > 0 && count == 2 * limit - 1; }

void countWholeFrames() {
    if (passCount == firstCount)
        passCount = firstCount = -1;
}

int64_t passesBegun() { return passCount - firstCount; }

Eye beginPass() {
    ++passCount;
    const Eye eye = eyeForPass(passCount);
    if (eye.advancesPhase)
        animPhase = advancePhase(animPhase);
    return eye;
}

bool nextFrameAt(float T) {
    animPhase = phaseBefore(T);
    return advancePhase(animPhase) == T;
}
