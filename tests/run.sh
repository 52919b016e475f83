#!/usr/bin/env bash
# Builds the program and runs every test, twice: as built, and under
# AddressSanitizer and UndefinedBehaviorSanitizer; then checks the Debian
# package (tests/package.sh). The window tests run the real program in an X
# server of their own (Xvfb, Mesa's software GL). Run as root on
# Debian/Ubuntu, it first installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ pkg-config freeglut3-dev libglu1-mesa-dev libgl1-mesa-dri libx11-dev
          libgtest-dev libbenchmark-dev xvfb xauth xdotool dpkg-dev lintian faketime)
missing=()
if command -v dpkg >/dev/null; then  # elsewhere than Debian/Ubuntu the build says what it lacks
    for p in "${packages[@]}"; do
        dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed' || missing+=("$p")
    done
fi
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages: ${missing[*]}" >&2
        echo "as root, install them with: apt-get install ${missing[*]}" >&2
        exit 1
    fi
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

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
