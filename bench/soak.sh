#!/usr/bin/env bash
# Runs the program for a while under an Xvfb of its own and prints its
# resident memory at the start and at the end, and its last report line.
#   bash bench/soak.sh [seconds]     (default 300)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}

source bench/common.sh
start_bench quendrix

rss() { awk '/^VmRSS/ {print $2 " kB"}' "/proc/$1/status"; }

env -u GLUT_FPS LIBGL_ALWAYS_SOFTWARE=1 "$build/quendrix" 2>"$work/stderr" &
program=$!
stop_pids+=("$program")
sleep 5
echo "resident memory after 5 s: $(rss "$program")"
sleep $((seconds > 5 ? seconds - 5 : 0))
echo "resident memory after $seconds s: $(rss "$program")"
kill "$program"
wait "$program" 2>/dev/null || true
echo "last report: $(tr '\r' '\n' <"$work/stderr" | tail -n1)"
