# Sourced by the scripts that time the program in a window (bench/*.sh),
# from the repository's root:
#
#   start_bench [TARGET...]
#
# builds the TARGETs in build-bench (Release, with the benchmark builds),
# makes a scratch folder $work, and starts an X server of our own (Xvfb, on a
# free display: $display, exported as DISPLAY). When the script ends, however
# it ends, the processes whose pids are in $stop_pids are killed, then the X
# server, and the scratch folder goes.
#
# For the frame-rate scripts, once started:
#
#   describe_commit        $commit: the commit built, before start_bench
#   describe_machine       what the figures depend on, and when they were taken
#   report_head CMD        the first lines of a report: the machine, the
#                          date, the commit, the load ($load_before, taken
#                          at the start) and the command that made it
#   run_frames NAME CMD..  one timed run: sets $result (its line), $fps and
#                          $cpu (the CPU seconds it took, all its threads)
#   $awk_median            an awk function, median(v, n)
#   fill_section NAME FILE puts FILE, a report of tables, in place of the
#                          section NAME of docs/benchmarks.md
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

# $commit: the commit the program is built from, as the script starts, and
# whether the checkout had changes then.
describe_commit() {
    commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
    git diff --quiet HEAD 2>/dev/null || commit="$commit with changes not committed"
}

describe_machine() {
    echo "machine: $(nproc) cores, $(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
    if command -v dpkg-query >/dev/null; then
        echo "Mesa: libgl1-mesa-dri $(dpkg-query -W -f='${Version}' libgl1-mesa-dri 2>/dev/null || echo '?')"
    fi
    echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'), X server $display"
}

report_head() {
    echo "Machine: $(nproc) cores, \"$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')\"," \
         "Mesa $(dpkg-query -W -f='${Version}' libgl1-mesa-dri 2>/dev/null || echo '?'), $(date -u '+%-d %B %Y, %H:%M UTC')," \
         "commit $commit, load average $load_before before and $(cut -d' ' -f1 /proc/loadavg) after, ${SECONDS} s in all."
    echo
    echo '```sh'
    echo "$1"
    echo '```'
}

# The command is a --frames run on Mesa's software GL that never waits for a
# screen refresh; it is timed by its own result line, to the millisecond. A
# run that fails ends the script, with the end of its standard error.
run_frames() {
    local name=$1 err="$work/run.err"
    shift
    times >"$work/times.before"
    if ! result=$(env -u GLUT_FPS LIBGL_ALWAYS_SOFTWARE=1 vblank_mode=0 "$@" </dev/null 2>"$err"); then
        echo "$name failed; its standard error:" >&2
        tr '\r' '\n' <"$err" | tail -n 5 >&2
        exit 1
    fi
    times >"$work/times.after"
    fps=$(sed -E 's/.*\(([0-9.]+)fps\)$/\1/' <<<"$result")
    # The second line of `times`: the user and system time of the shell's
    # children so far, as 0m1.234s.
    cpu=$(awk 'function s(t) { sub(/s$/, "", t); split(t, p, "m"); return p[1] * 60 + p[2] }
               FNR == 2 { total += (FILENAME ~ /after$/ ? 1 : -1) * (s($1) + s($2)) }
               END { printf "%.3f", total }' "$work/times.before" "$work/times.after")
}

# The report goes between the lines "<!-- NAME -->" and "<!-- /NAME -->" of
# docs/benchmarks.md, each there exactly once, in place of what stood there.
# The page is not touched unless the report holds tables alone, each with
# rows and every row as wide as its header, no figure "nan" or "inf", with
# nothing around them but a "Machine: " line, "**" headings, commands in
# code blocks and empty lines: a log of runs, a table without rows or a
# figure that is not one ends the script instead.
fill_section() {
    local name=$1 report=$2 page=docs/benchmarks.md
    if ! awk '
        /^```/ { code = !code; next }
        code { next }
        /^[|]/ {
            n = split($0, cells, "|")
            if (!table) { table = 1; width = n; rows = -1 } else if (n != width) bad = "a row of another width: " $0
            rows++
            if (tolower($0) ~ /(^|[^a-z])-?(nan|inf)([^a-z]|$)/) bad = "not a figure: " $0
            next
        }
        { if (table && rows < 2) bad = "a table without rows"; table = 0 }
        !/^$|^[*][*]|^Machine: / { bad = "not a table: " $0 }
        END { if (table && rows < 2) bad = "a table without rows"; if (bad != "") { print bad > "/dev/stderr"; exit 1 } }
    ' "$report"; then
        echo "bench: the report is not tables alone; $page is left as it was" >&2
        exit 1
    fi
    if [ "$(grep -cxF "<!-- $name -->" "$page")" != 1 ] || [ "$(grep -cxF "<!-- /$name -->" "$page")" != 1 ]; then
        echo "bench: $page has not exactly one section marked <!-- $name --> ... <!-- /$name -->" >&2
        exit 1
    fi
    awk -v name="$name" -v report="$report" '
        $0 == "<!-- " name " -->" { print; while ((getline line < report) > 0) print line; skip = 1; next }
        $0 == "<!-- /" name " -->" { skip = 0 }
        !skip' "$page" >"$work/page"
    cp "$work/page" "$page"
    echo "bench: section $name of $page filled"
}

# Sorts v[1..n] in place.
awk_median='
function median(v, n,    i, j, t) {
    for (i = 2; i <= n; i++)
        for (j = i; j > 1 && v[j - 1] > v[j]; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
}'
