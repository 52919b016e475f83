#!/usr/bin/env bash
# Builds the program and runs every test, twice: as built, and under
# AddressSanitizer and UndefinedBehaviorSanitizer. The window tests run the
# real program in an X server of their own (Xvfb, Mesa's software GL), and
# off-screen with no display server (EGL). It also checks the Debian package
# (tests/package.sh) and the Windows zip (tests/package-windows.sh, which
# builds it with packaging/windows.sh), and the Windows program runs the same
# window tests, all but those about X11 itself, under Wine. Run as root on
# Debian/Ubuntu, it first installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
source packaging/packages.sh

need_packages cmake make g++ pkg-config libglut-dev libglu1-mesa-dev libgl1-mesa-dri libx11-dev libegl-dev \
              nlohmann-json3-dev libstb-dev libgtest-dev libbenchmark-dev xvfb xauth xdotool x11-utils openbox \
              dpkg-dev lintian appstream desktop-file-utils faketime python3 python3-jsonschema wine64 icoutils \
              "${windows_packages[@]}"

build() {  # build folder, extra cmake options...
    cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENDRIX_TESTS=ON -DQUENDRIX_WERROR=ON "${@:2}" >/dev/null &&
        cmake --build "$1" -j "$(nproc)"
}
# A Wine prefix of its own, made before the first window, quietly and
# without asking to install Mono or Gecko; its server and desktop, started
# without a display, end before the tests start their own in the X server.
# Wine makes the prefix, but not the folders above it.
export WINEPREFIX=$PWD/build-windows/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p build-tests/logs build-windows

# Everything is built first, side by side: no one build keeps both cores busy
# all the time (configuring, linking, lintian and the packers use one). Each
# job's output goes to build-tests/logs/<number>.log, and its last lines,
# what it ended with and how long it took, are shown once it is over. The
# benchmark builds too, so that it keeps compiling.
jobs=("build build-tests/plain -DQUENDRIX_BENCH=ON" "build build-tests/sanitize -DQUENDRIX_SANITIZE=address,undefined"
      "bash tests/package.sh" "bash tests/package-windows.sh" "/usr/lib/wine/wine64 wineboot --init")
for i in "${!jobs[@]}"; do
    { began=$SECONDS; ${jobs[i]} && echo "($((SECONDS - began)) s)"; } >"build-tests/logs/$i.log" 2>&1 & pids[i]=$!
done
for i in "${!jobs[@]}"; do
    wait "${pids[i]}" && echo "== ${jobs[i]}: $(tail -n 2 "build-tests/logs/$i.log" | tr '\n' ' ')" ||
        { echo "== ${jobs[i]}: FAILED"; tail -n 40 "build-tests/logs/$i.log"; failed=1; }
done
/usr/lib/wine/wineserver -w
[ -z "${failed:-}" ]

# Then the window tests, one suite at a time, on a machine at rest.
for dir in build-tests/plain build-tests/sanitize; do
    echo "== $dir" && ctest --test-dir "$dir" --output-on-failure --no-tests=error
done
echo "== build-windows, under Wine"
program=$(printf '%q ' /usr/lib/wine/wine64 "$PWD/build-windows/quendrix.exe")
QUENDRIX_PROGRAM=${program% } xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
    build-tests/plain/tests/window_tests --gtest_filter='-*X11*' --gtest_brief=1
/usr/lib/wine/wineserver -w  # the Wine server ends with the last program
