#!/usr/bin/env bash
# Frame rate of the program against its two benchmark builds, on Mesa's
# software GL in an X server of our own:
#   quendrix          as shipped
#   quendrix_untuned  without the allocator tuning (glibc's defaults)
#   quendrix_limit    sphere positions computed once: the GL work alone
# Each draws a fixed number of frames at 480 x 480 (--frames) and is timed by
# its own result line on standard output, to the millisecond; the three take
# turns for several rounds, so that a slow spell on the machine hits all of
# them.
#
#   bash bench/framerate.sh            # 3 rounds of 3000 frames per build
#   FRAMES=1500 ROUNDS=5 bash bench/framerate.sh
set -euo pipefail
cd "$(dirname "$0")/.."

frames=${FRAMES:-3000}
rounds=${ROUNDS:-3}

source bench/common.sh
start_bench quendrix quendrix_untuned quendrix_limit

declare -A binary=(
    [tuned]="$build/quendrix"
    [untuned]="$build/bench/quendrix_untuned"
    [limit]="$build/bench/quendrix_limit"
)
names=(tuned untuned limit)

# Runs one build for the fixed number of frames; keeps its rate.
run() {
    run_frames "$1" "${binary[$1]}" --frames "$frames"
    echo "  round $round $1: $result"
    rates[$1]=$fps
}

describe_machine
echo "runs: $frames frames each, $rounds rounds, 480x480, LIBGL_ALWAYS_SOFTWARE=1"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

results="$work/results"
: >"$results"
declare -A rates=()
for ((round = 1; round <= rounds; round++)); do
    # Each round starts with a different build, so none always runs first.
    for ((i = 0; i < 3; i++)); do
        run "${names[$(((round - 1 + i) % 3))]}"
    done
    echo "$round ${rates[tuned]} ${rates[untuned]} ${rates[limit]}" >>"$results"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo

awk "$awk_median"'
BEGIN {
    printf "| rounds | tuned fps | untuned fps | limit fps | tuned/untuned | tuned/limit |\n"
    printf "|--------|----------:|------------:|----------:|--------------:|------------:|\n"
}
{
    n++
    t[n] = $2; u[n] = $3; l[n] = $4; tu[n] = $2 / $3; tl[n] = $2 / $4
    printf "| %-6s | %9.1f | %11.1f | %9.1f | %13.2f | %11.3f |\n", $1, $2, $3, $4, tu[n], tl[n]
}
END {
    printf "| median | %9.1f | %11.1f | %9.1f | %13.2f | %11.3f |\n",
        median(t, n), median(u, n), median(l, n), median(tu, n), median(tl, n)
}' "$results"
