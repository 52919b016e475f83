#!/usr/bin/env bash
# Builds the program and runs every test: the arithmetic, and the real program
# in an X server of its own (Xvfb with Mesa's software GL). Run as root on a
# fresh Debian/Ubuntu machine, it first installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ pkg-config xvfb xauth freeglut3-dev libglu1-mesa-dev libgl1-mesa-dri libx11-dev libgtest-dev
          libbenchmark-dev)
if command -v dpkg-query >/dev/null; then
    missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        if [ "$(id -u)" -eq 0 ]; then
            echo "installing: ${missing[*]}"
            export DEBIAN_FRONTEND=noninteractive
            apt-get update -qq
            apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
        else
            echo "missing packages: ${missing[*]}" >&2
            echo "install them with: sudo apt-get install ${missing[*]}" >&2
            exit 1
        fi
    fi
fi

jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {  # name, extra cmake options...
    local dir="build/$1"; shift
    echo "== $dir"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENDRIX_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure --no-tests=error
}

run_suite tests -DQUENDRIX_BENCH=ON  # the benchmark builds too, so they keep compiling
# The same suite with AddressSanitizer and UndefinedBehaviorSanitizer.
run_suite sanitize -DQUENDRIX_SANITIZE=address,undefined
