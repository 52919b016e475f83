#!/usr/bin/env bash
# Builds the program and runs every test, twice: as built, and under
# AddressSanitizer and UndefinedBehaviorSanitizer. The window tests run the
# real program in an X server of their own (Xvfb, Mesa's software GL), and
# off-screen with no display server (EGL). Then it checks the Debian package
# (tests/package.sh) and the Windows zip (tests/package-windows.sh, which
# builds it with packaging/windows.sh), and the Windows program runs the same
# window tests, all but those about X11 itself, under Wine. Run as root on
# Debian/Ubuntu, it first installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
source packaging/packages.sh

need_packages cmake make g++ pkg-config libglut-dev libglu1-mesa-dev libgl1-mesa-dri libx11-dev \
              libegl-dev nlohmann-json3-dev libstb-dev \
              libgtest-dev libbenchmark-dev xvfb xauth xdotool x11-utils openbox dpkg-dev lintian appstream \
              desktop-file-utils \
              faketime python3 python3-jsonschema wine64 icoutils \
              "${windows_packages[@]}"

suite() {  # build folder, extra cmake options...
    local dir=$1; shift
    echo "== $dir"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENDRIX_TESTS=ON -DQUENDRIX_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
    ctest --test-dir "$dir" --output-on-failure --no-tests=error
}

suite build-tests/plain -DQUENDRIX_BENCH=ON  # the benchmark builds too, so that they keep compiling
suite build-tests/sanitize -DQUENDRIX_SANITIZE=address,undefined
bash tests/package.sh

echo "== build-windows"
bash tests/package-windows.sh
echo "== build-windows, under Wine"
# A Wine prefix of its own, made before the first window, quietly and
# without asking to install Mono or Gecko; its server and desktop, started
# without a display, end before the tests start their own in the X server.
export WINEPREFIX=$PWD/build-windows/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
/usr/lib/wine/wineserver -w
program=$(printf '%q ' /usr/lib/wine/wine64 "$PWD/build-windows/quendrix.exe")
QUENDRIX_PROGRAM=${program% } xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
    build-tests/plain/tests/window_tests --gtest_filter='-*X11*' --gtest_brief=1
/usr/lib/wine/wineserver -w  # the Wine server ends with the last program
