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

# Runs one build for the fixed number of frames; sets fps to its result.
run() {
    local name=$1 err="$work/$1.err" last
    if ! last=$(env -u GLUT_FPS LIBGL_ALWAYS_SOFTWARE=1 vblank_mode=0 \
        "${binary[$name]}" --frames "$frames" </dev/null 2>"$err"); then
        echo "$name failed; its standard error:" >&2
        tr '\r' '\n' <"$err" | tail -n 5 >&2
        exit 1
    fi
    echo "  round $round $name: $last"
    fps[$name]=$(sed -E 's/.*\(([0-9.]+)fps\)$/\1/' <<<"$last")
}

echo "machine: $(nproc) cores, $(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
if command -v dpkg-query >/dev/null; then
    echo "Mesa: libgl1-mesa-dri $(dpkg-query -W -f='${Version}' libgl1-mesa-dri 2>/dev/null || echo '?')"
fi
echo "runs: $frames frames each, $rounds rounds, 480x480, LIBGL_ALWAYS_SOFTWARE=1, X server $display"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

results="$work/results"
: >"$results"
declare -A fps=()
for ((round = 1; round <= rounds; round++)); do
    # Each round starts with a different build, so none always runs first.
    for ((i = 0; i < 3; i++)); do
        run "${names[$(((round - 1 + i) % 3))]}"
    done
    echo "$round ${fps[tuned]} ${fps[untuned]} ${fps[limit]}" >>"$results"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo

awk '
function median(v, n,    i, j, t) {
    for (i = 2; i <= n; i++)
        for (j = i; j > 1 && v[j - 1] > v[j]; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
}
BEGIN {
    printf "| round  | tuned fps | untuned fps | limit fps | tuned/untuned | tuned/limit |\n"
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
