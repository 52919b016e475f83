# Sourced by the scripts that run the program (bench/*.sh and
# docs/make-pictures.sh), from the repository's root:
#
#   start_bench [TARGET...]
#
# builds the TARGETs in build-bench (Release, with the benchmark builds),
# makes a scratch folder $work, and starts an X server of our own (Xvfb, on a
# free display: $display, exported as DISPLAY). When the script ends, however
# it ends, the processes whose pids are in $stop_pids are killed, then the X
# server, and the scratch folder goes.
build=build-bench
work=""
xvfb=""
stop_pids=()

finish_bench() {
    local pid
    for pid in "${stop_pids[@]}"; do
        kill -KILL "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    done
    # TERM: Xvfb then removes its lock file and socket.
    [ -z "$xvfb" ] || { kill -TERM "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true; }
    [ -z "$work" ] || rm -rf "$work"
}

start_bench() {
    if [ $# -gt 0 ]; then
        cmake -S . -B "$build" -DQUENDRIX_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
        cmake --build "$build" -j "$(nproc)" --target "$@" >/dev/null
    fi
    work=$(mktemp -d)
    trap finish_bench EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    # Xvfb writes its display number to descriptor 3 once it takes connections.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 300); do
        [ -s "$work/display" ] && break
        kill -0 "$xvfb" 2>/dev/null || break
        sleep 0.1
    done
    if ! [ -s "$work/display" ]; then
        echo "Xvfb did not start:" >&2
        cat "$work/xvfb.log" >&2
        return 1
    fi
    display=":$(head -n1 "$work/display")"
    export DISPLAY=$display
}
