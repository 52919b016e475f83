#!/usr/bin/env bash
# A run of frames off-screen (--offscreen: EGL, no display server) against
# the same run in a window of an X server of our own (Xvfb), both on Mesa's
# software GL, 480 x 480, red-blue, each timed by its own result line and
# its results file (--results: the frame times, swap to swap). They take
# turns, the first of a round changing each round. The CPU time of each run
# is its own (all its threads); the X server's, which copies every frame of
# the window to its screen, is counted apart.
#
#   bash bench/offscreen.sh            # 5 rounds of 3000 frames each
#   FRAMES=1000 ROUNDS=3 bash bench/offscreen.sh
#   FILL=offscreen bash bench/offscreen.sh
#
# FILL: the report also replaces that section of docs/benchmarks.md
# (fill_section in bench/common.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

frames=${FRAMES:-3000}
rounds=${ROUNDS:-5}

source bench/common.sh
describe_commit
start_bench quendrix

# The CPU seconds a process has taken so far.
cpu_of() { awk -v tick="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) / tick }' "/proc/$1/stat"; }

describe_machine
echo "runs: $frames frames each, $rounds rounds, 480x480, LIBGL_ALWAYS_SOFTWARE=1"
load_before=$(cut -d' ' -f1 /proc/loadavg)

# One run: "window" or "offscreen"; a line of results for the tables.
measure() {
    local where=$1 server_before server_after options=()
    [ "$where" = window ] || options=(--offscreen)
    server_before=$(cpu_of "$xvfb")
    run_frames "$where" "$build/quendrix" --frames "$frames" --results "$work/run.json" "${options[@]}"
    server_after=$(cpu_of "$xvfb")
    echo "  round $round $where: $result, CPU $cpu s, the X server's $(awk "BEGIN { print $server_after - $server_before }") s"
    python3 -c 'import json, sys; t = json.load(open(sys.argv[1]))["frames"]["frame_time_ms"]
print(t["median"], t["p99"], t["max"])' "$work/run.json" |
        { read -r median p99 max; echo "$round|$where|$fps|$cpu|$server_before|$server_after|$median|$p99|$max"; } >>"$results"
}

results=$work/results
: >"$results"
for ((round = 1; round <= rounds; round++)); do
    if ((round % 2)); then pair=(window offscreen); else pair=(offscreen window); fi
    for where in "${pair[@]}"; do
        measure "$where"
    done
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg), ${SECONDS} s in all"

report=$work/report.md
{
report_head "FRAMES=$frames ROUNDS=$rounds bash bench/offscreen.sh"
echo
awk -F'|' -v frames="$frames" "$awk_median"'
{
    k = $2 == "window" ? ++nw : ++no
    fps[$2, k] = $3; cpu[$2, k] = 1000 * $4 / frames; server[$2, k] = 1000 * ($6 - $5) / frames
    med[$2, k] = $7; p99[$2, k] = $8; max[$2, k] = $9
}
END {
    printf "| run | fps | CPU ms a frame | the X server'"'"'s CPU ms a frame | median frame ms | p99 ms | max ms |\n"
    printf "|-----|----:|---------------:|-------------------------------:|----------------:|-------:|-------:|\n"
    split("window offscreen", names, " ")
    split("in a window (Xvfb)|off-screen (EGL)", titles, "|")
    for (w = 1; w <= 2; w++) {
        name = names[w]; n = name == "window" ? nw : no
        for (j = 1; j <= n; j++) { f[j] = fps[name, j]; c[j] = cpu[name, j]; s[j] = server[name, j]
                                   m[j] = med[name, j]; p[j] = p99[name, j]; x[j] = max[name, j] }
        printf "| %s | %.1f | %.2f | %s | %.2f | %.2f | %.1f |\n", titles[w], median(f, n), median(c, n),
            name == "window" ? sprintf("%.2f", median(s, n)) : "", median(m, n), median(p, n), median(x, n)
    }
    n = nw < no ? nw : no
    for (j = 1; j <= n; j++) r[j] = fps["offscreen", j] / fps["window", j]
    printf "\n**off-screen / window**: the rate %.2f times, the median of %d rounds\n", median(r, n), n
}' "$results"
} >"$report"
echo
cat "$report"
[ -z "${FILL:-}" ] || fill_section "$FILL" "$report"
