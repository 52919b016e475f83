#!/usr/bin/env bash
# What the program does to the rest of the desktop, tried from outside, under
# an Xvfb of our own: it is stopped (SIGSTOP) at random moments while it
# draws, and each time another client must still get an answer from the X
# server; then its window is made 32767 x 32767 at random moments, and the
# program must live through it and draw again (its records go on).
#
#   bash bench/stops.sh [BINARY] [STOPS] [RESIZES]    (defaults: build-bench/quendrix 200 50)
set -euo pipefail
cd "$(dirname "$0")/.."
binary=${1:-build-bench/quendrix}
stops=${2:-200}
resizes=${3:-50}

source bench/common.sh
if [ "$binary" = build-bench/quendrix ]; then
    start_bench quendrix
else
    start_bench
fi

env -u GLUT_FPS LIBGL_ALWAYS_SOFTWARE=1 "$binary" 2>"$work/err" &
program=$!
stop_pids+=("$program")
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quendrix$' | head -n1)

frozen=0
for ((i = 0; i < stops; i++)); do
    sleep "0.$((RANDOM % 300 + 10))"
    kill -STOP "$program"
    timeout 2 xdotool getdisplaygeometry >/dev/null || frozen=$((frozen + 1))
    kill -CONT "$program"
done
echo "stopped $stops times at random: the X server froze $frozen times"

for ((i = 0; i < resizes; i++)); do
    xdotool windowsize --sync "$window" 32767 32767 sleep "0.$((RANDOM % 300))" \
        windowsize --sync "$window" 480 480 sleep "0.$((RANDOM % 300))" 2>/dev/null || true
done
before=$(stat -c %s "$work/err")
for _ in $(seq 300); do  # a record comes every 64 frames: up to 30 s on a slow or busy machine
    after=$(stat -c %s "$work/err")
    [ "$before" = "$after" ] || break
    sleep 0.1
done
if kill -0 "$program" 2>/dev/null; then
    echo "resized to 32767 x 32767 $resizes times: alive, $([ "$before" != "$after" ] && echo drawing || echo 'NOT drawing')"
else
    wait "$program" && status=0 || status=$?
    echo "resized to 32767 x 32767 $resizes times: ended with status $status"
fi
