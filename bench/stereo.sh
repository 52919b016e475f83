#!/usr/bin/env bash
# Frame rate of every stereo mode, and of red-blue with --samples 4, against
# the default red-blue anaglyph, on Mesa's software GL in an X server of our
# own, at 480 x 480 and at 1280 x 720. Each run draws a fixed number of
# frames (--frames) and is timed by its own result line. A round runs every
# mode once at each size, the modes rotated by one place a round and the
# sizes swapped, so that none always runs first; a mode's ratio is to
# red-blue's rate in the same round at the same size, which a loaded
# machine disturbs least. The CPU time each run took (all its threads,
# start-up included) is its cost, whatever share of the machine it got.
#
#   bash bench/stereo.sh               # 5 rounds of 100 frames per run
#   FRAMES=400 ROUNDS=3 bash bench/stereo.sh
#   MODES="rows columns" PROGRAM=old/quendrix bash bench/stereo.sh
#
# MODES: only these modes, with red-blue; PROGRAM: that build of the
# program instead of this checkout's (one of an older commit, say).
set -euo pipefail
cd "$(dirname "$0")/.."

frames=${FRAMES:-100}
rounds=${ROUNDS:-5}
sizes=(480x480 1280x720)

source bench/common.sh
if [ -n "${PROGRAM:-}" ]; then
    program=$(realpath "$PROGRAM")
    start_bench
else
    start_bench quendrix
    program=$build/quendrix
fi

describe_machine
echo "program: $program"
echo "runs: $frames frames each, $rounds rounds, sizes ${sizes[*]}, LIBGL_ALWAYS_SOFTWARE=1"

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
    runs+=("$mode")
done
[ -n "${MODES:-}" ] || runs+=("red-blue --samples 4")
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

results="$work/results"
: >"$results"
for ((round = 1; round <= rounds; round++)); do
    for ((s = 0; s < ${#sizes[@]}; s++)); do
        size=${sizes[$(((round - 1 + s) % ${#sizes[@]}))]}
        for ((i = 0; i < ${#runs[@]}; i++)); do
            run=${runs[$(((round - 1 + i) % ${#runs[@]}))]}
            # $run is the mode and its options, split into words.
            # shellcheck disable=SC2086
            run_frames "$run" "$program" --frames "$frames" -geometry "$size" --stereo $run
            echo "  round $round $size $run: $result, CPU ${cpu} s"
            echo "$size|$round|$run|$fps|$cpu" >>"$results"
        done
    done
    echo "  load average after round $round: $(cut -d' ' -f1-3 /proc/loadavg)"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg), ${SECONDS} s in all"

# One table a size: each mode's median rate, its rate over red-blue's in the
# same round (the median, and round by round), and its CPU time a frame,
# alone and over red-blue's in the same round.
for size in "${sizes[@]}"; do
    echo
    echo "$size, $frames frames a run, $rounds rounds, medians:"
    echo
    awk -F'|' -v size="$size" -v frames="$frames" -v order="$(printf '%s|' "${runs[@]}")" "$awk_median"'
    $1 == size {
        fps[$3, $2] = $4; cpu[$3, $2] = $5
        if ($3 == "red-blue") { baseFps[$2] = $4; baseCpu[$2] = $5 }
    }
    END {
        printf "| mode | fps | fps / red-blue | fps / red-blue, by round | CPU ms a frame | CPU / red-blue |\n"
        printf "|------|----:|---------------:|--------------------------|---------------:|---------------:|\n"
        n = split(order, names, "|") - 1
        for (i = 1; i <= n; i++) {
            name = names[i]; k = 0; rounds = ""
            for (key in fps) {
                split(key, part, SUBSEP)
                if (part[1] != name) continue
                k++; f[k] = fps[key]; r[k] = fps[key] / baseFps[part[2]]
                c[k] = 1000 * cpu[key] / frames; cr[k] = cpu[key] / baseCpu[part[2]]
                byRound[part[2]] = sprintf("%.2f", r[k])
            }
            for (j = 1; j in byRound; j++) rounds = rounds (j > 1 ? " " : "") byRound[j]
            delete byRound
            printf "| %s | %.1f | %.3f | %s | %.1f | %.2f |\n", name, median(f, k), median(r, k), rounds,
                median(c, k), median(cr, k)
        }
    }' "$results"
done
