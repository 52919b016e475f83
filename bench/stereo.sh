#!/usr/bin/env bash
# Frame rate of every stereo mode, and of red-blue with --samples 4, against
# the default red-blue anaglyph, on Mesa's software GL in an X server of our
# own, at 480 x 480 and at 1280 x 720. Each run draws a fixed number of
# frames (--frames) and is timed by its own result line. A round runs every
# mode once at each size, the modes rotated by one place a round and the
# sizes swapped, so that none always runs first, and each next to a run of
# red-blue, before it and after it by turns: a mode's ratio is to that
# red-blue run, seconds apart, which a loaded machine disturbs least. The
# CPU time each run took (all its threads, start-up included) is its cost,
# whatever share of the machine it got.
#
#   bash bench/stereo.sh               # 4 rounds of 100 frames per run
#   FRAMES=400 ROUNDS=3 bash bench/stereo.sh
#   MODES="rows columns" PROGRAM=old/quendrix bash bench/stereo.sh
#   FILL=stereo bash bench/stereo.sh
#
# MODES: only these modes, with red-blue; PROGRAM: that build of the
# program instead of this checkout's (one of an older commit, say). The log
# of the runs comes first, then the report: the machine, the date, the
# commit, the command, and a table for each size. FILL: the report also
# replaces the section of that name in docs/benchmarks.md (fill_section in
# bench/common.sh), and nothing but a report of whole tables gets there.
set -euo pipefail
cd "$(dirname "$0")/.."

frames=${FRAMES:-100}
rounds=${ROUNDS:-4}
sizes=(480x480 1280x720)

source bench/common.sh
describe_commit
if [ -n "${PROGRAM:-}" ]; then
    commit="not this checkout's: PROGRAM=$PROGRAM"
    program=$(realpath "$PROGRAM")
    start_bench
else
    start_bench quendrix
    program=$build/quendrix
fi

describe_machine
echo "program: $program"
echo "runs: $frames frames each, $rounds rounds, sizes ${sizes[*]}, LIBGL_ALWAYS_SOFTWARE=1"
load_before=$(cut -d' ' -f1 /proc/loadavg)

# Every mode the program lists, red-blue first; quad only where the X server
# has a stereo visual (Xvfb has none, and the program says so).
runs=()
for mode in $("$program" --help | sed -n '/^Stereo modes:/,/^$/s/^  \([a-z-]*\) .*/\1/p'); do
    [[ -z "${MODES:-}" || $mode == red-blue || " $MODES " == *" $mode "* ]] || continue
    if [ "$mode" = quad ] &&
        ! why=$(env LIBGL_ALWAYS_SOFTWARE=1 "$program" --frames 1 --stereo quad 2>&1 >/dev/null </dev/null); then
        echo "quad: not measured: ${why##*$'\n'}"
        continue
    fi
    [ "$mode" = red-blue ] || runs+=("$mode")
done
[ -n "${MODES:-}" ] || runs+=("red-blue --samples 4")
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

# One run at $size; "red-blue" is the reference. Sets fps and cpu.
measure() {
    # $1 is the mode and its options, split into words.
    # shellcheck disable=SC2086
    run_frames "$1" "$program" --frames "$frames" -geometry "$size" --stereo $1
    echo "  round $round $size $1: $result, CPU ${cpu} s"
}

results="$work/results"
: >"$results"
for ((round = 1; round <= rounds; round++)); do
    for ((s = 0; s < ${#sizes[@]}; s++)); do
        size=${sizes[$(((round - 1 + s) % ${#sizes[@]}))]}
        for ((i = 0; i < ${#runs[@]}; i++)); do
            run=${runs[$(((round - 1 + i) % ${#runs[@]}))]}
            pair=(red-blue "$run")
            (((round + i) % 2)) || pair=("$run" red-blue)
            for one in "${pair[@]}"; do
                measure "$one"
                if [ "$one" = red-blue ]; then refFps=$fps refCpu=$cpu; else runFps=$fps runCpu=$cpu; fi
            done
            echo "$size|$round|$run|$runFps|$runCpu|$refFps|$refCpu" >>"$results"
        done
    done
    echo "  load average after round $round: $(cut -d' ' -f1-3 /proc/loadavg)"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg), ${SECONDS} s in all"

# The report: what was measured, where and when, and one table a size:
# red-blue's median rate and CPU time a frame, and each mode's, with its
# ratios to the red-blue run next to it: the median, and round by round for
# the rate.
report=$work/report.md
{
report_head "${MODES:+MODES=\"$MODES\" }${PROGRAM:+PROGRAM=$PROGRAM }FRAMES=$frames ROUNDS=$rounds bash bench/stereo.sh"
for size in "${sizes[@]}"; do
    echo
    echo "**$size**, $frames frames a run, $rounds rounds, medians:"
    echo
    awk -F'|' -v size="$size" -v frames="$frames" -v order="$(printf '%s|' "${runs[@]}")" "$awk_median"'
    $1 == size {
        j = ++n[$3]; fps[$3, j] = $4; cpu[$3, j] = $5; refFps[$3, j] = $6; refCpu[$3, j] = $7
        m++; allRefFps[m] = $6; allRefCpu[m] = 1000 * $7 / frames
    }
    END {
        printf "| mode | fps | fps / red-blue | fps / red-blue, rounds in order | CPU ms a frame | CPU / red-blue |\n"
        printf "|------|----:|---------------:|--------------------------|---------------:|---------------:|\n"
        printf "| red-blue | %.1f | | (%d runs, one beside each other run) | %.1f | |\n",
            median(allRefFps, m), m, median(allRefCpu, m)
        k = split(order, names, "|") - 1
        for (i = 1; i <= k; i++) {
            name = names[i]; rounds = ""
            for (j = 1; j <= n[name]; j++) {
                f[j] = fps[name, j]; r[j] = f[j] / refFps[name, j]; rounds = rounds sprintf(" %.2f", r[j])
                c[j] = 1000 * cpu[name, j] / frames; cr[j] = cpu[name, j] / refCpu[name, j]
            }
            j = n[name]
            printf "| %s | %.1f | %.3f | %s | %.1f | %.2f |\n", name, median(f, j), median(r, j), substr(rounds, 2),
                median(c, j), median(cr, j)
        }
    }' "$results"
done
} >"$report"
echo
cat "$report"
[ -z "${FILL:-}" ] || fill_section "$FILL" "$report"
