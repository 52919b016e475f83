# Sourced by the scripts that run the program: starts an Xvfb of our own on a
# free display. start_xvfb DIR sets $xvfb (its pid) and $display (":N"); the
# caller stops it.
start_xvfb() {
    local dir=$1
    # Xvfb writes its display number to descriptor 3 once it takes connections.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 300); do
        [ -s "$dir/display" ] && break
        kill -0 "$xvfb" 2>/dev/null || break
        sleep 0.1
    done
    if ! [ -s "$dir/display" ]; then
        echo "Xvfb did not start:" >&2
        cat "$dir/xvfb.log" >&2
        return 1
    fi
    display=":$(head -n1 "$dir/display")"
}
