// The spread of frame times in a run of frames, kept in a histogram of fixed
// size, so that a run of a billion frames costs no more memory than one of
// ten and no frame allocates: exact below 512 ns, within 0.1 % above, and
// the least and the greatest exact.
#pragma once

#include <cstdint>

// 512 buckets an octave.
constexpr int FRAME_TIME_BITS = 9;
constexpr int FRAME_TIME_BUCKETS = (65 - FRAME_TIME_BITS) << FRAME_TIME_BITS;

struct FrameTimes {
    int64_t count = 0;
    int64_t least = INT64_MAX, greatest = 0;  // nanoseconds
    uint32_t buckets[FRAME_TIME_BUCKETS] = {};
};

// Counts a frame of so many nanoseconds (a negative time counts as 0).
void addFrameTime(FrameTimes* times, int64_t nanoseconds);

// The frame time at fraction p (0 to 1) of the frames, by nearest rank: the
// time that the ceil(p * count)-th shortest frame took, in nanoseconds, to
// within its bucket; 0 with no frames.
int64_t frameTimeAt(const FrameTimes& times, double p);
