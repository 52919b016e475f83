#include "render/frametimes.h"

#include <cmath>

static int bucketOf(uint64_t ns) {
    constexpr uint64_t octave = 1u << FRAME_TIME_BITS;
    if (ns < octave)
        return static_cast<int>(ns);
    // The top FRAME_TIME_BITS + 1 bits of the time: its octave above the
    // first, and its place in it.
    int top = FRAME_TIME_BITS;  // the highest bit set
    while (top < 63 && (ns >> (top + 1)) != 0)
        ++top;
    const int shift = top - FRAME_TIME_BITS;
    return static_cast<int>((static_cast<uint64_t>(shift + 1) << FRAME_TIME_BITS) + (ns >> shift) - octave);
}

// The middle of a bucket's times.
static int64_t middleOf(int bucket) {
    constexpr int octave = 1 << FRAME_TIME_BITS;
    if (bucket < octave)
        return bucket;
    const int shift = bucket / octave - 1;
    const int64_t first = static_cast<int64_t>(octave + bucket % octave) << shift;
    return first + ((int64_t{1} << shift) - 1) / 2;
}

void addFrameTime(FrameTimes* times, int64_t nanoseconds) {
    const int64_t ns = nanoseconds < 0 ? 0 : nanoseconds;
    ++times->count;
    times->least = ns < times->least ? ns : times->least;
    times->greatest = ns > times->greatest ? ns : times->greatest;
    ++times->buckets[bucketOf(static_cast<uint64_t>(ns))];
}

int64_t frameTimeAt(const FrameTimes& times, double p) {
    if (times.count == 0)
        return 0;
    const double wanted = std::ceil(p * static_cast<double>(times.count));
    const int64_t rank = wanted < 1 ? 1 : static_cast<int64_t>(wanted);
    int64_t seen = 0;
    for (int bucket = 0; bucket < FRAME_TIME_BUCKETS; ++bucket) {
        seen += times.buckets[bucket];
        if (seen >= rank) {
            // Within the frames' own range: the least and the greatest are exact.
            const int64_t ns = middleOf(bucket);
            return ns < times.least ? times.least : ns > times.greatest ? times.greatest : ns;
        }
    }
    return times.greatest;
}
