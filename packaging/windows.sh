#!/usr/bin/env bash
# Cross-builds the program for 64-bit Windows with MinGW-w64 and packs it:
# build-windows/quendrix-<version>-win64.zip holds quendrix.exe, README.txt
# (from packaging/windows), LICENSE.txt, NOTICES.txt and the manual page as
# plain text. freeglut is built from Debian's own source package, statically,
# inside build-windows (it is not part of this repository and keeps its own
# licence, whose notices NOTICES.txt carries), so that quendrix.exe needs no
# DLL but Windows' own. Run as root on Debian 12, it first installs what is
# missing; as another user, it says what is missing. It changes nothing of
# the system's apt configuration.
#
#   bash packaging/windows.sh [BUILD_FOLDER]
#
# Given another build folder (a path in the checkout), the program and the
# zip are made there, with the freeglut built, once, in build-windows.
set -euo pipefail
cd "$(dirname "$0")/.."
source packaging/packages.sh
need_packages "${windows_packages[@]}"

out=$PWD/build-windows
build=$(realpath -m "${1:-$out}")
toolchain=$PWD/packaging/mingw-w64-x86_64.cmake
mkdir -p "$out/freeglut-source"

# freeglut's source, as the distribution ships it (its patches applied),
# fetched by apt with a configuration of its own inside the build folder:
# the deb-src twins of the system's Debian entries, and their indices. The
# system's apt configuration and state are only read.
if ! compgen -G "$out/freeglut-source/freeglut-*/CMakeLists.txt" >/dev/null; then
    apt=$out/apt
    rm -rf "$apt"
    mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$apt/sources.list.d/debian-src.sources"
    else
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$apt/sources.list.d/debian-src.list"
    fi
    own=(-o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/sources.list.d"
         -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Sandbox::User="$(id -un)")
    echo "fetching freeglut's Debian source"
    apt-get "${own[@]}" update -qq
    (cd "$out/freeglut-source" && apt-get "${own[@]}" source -qq freeglut >/dev/null)
fi
freeglut_source=$(compgen -G "$out/freeglut-source/freeglut-*/CMakeLists.txt" | head -n 1)

# freeglut as a static library, in a prefix inside the build folder.
freeglut=$out/freeglut
if [ ! -f "$freeglut/lib/cmake/FreeGLUT/FreeGLUTConfig.cmake" ]; then
    echo "building freeglut (log: build-windows/freeglut-build.log)"
    { cmake -S "$(dirname "$freeglut_source")" -B "$out/freeglut-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$freeglut" -DFREEGLUT_BUILD_SHARED_LIBS=OFF \
            -DFREEGLUT_BUILD_STATIC_LIBS=ON -DFREEGLUT_REPLACE_GLUT=ON -DFREEGLUT_BUILD_DEMOS=OFF &&
      cmake --build "$out/freeglut-build" -j "$(nproc)" && cmake --install "$out/freeglut-build"
    } >"$out/freeglut-build.log" 2>&1 || { tail -n 20 "$out/freeglut-build.log"; exit 1; }
fi

echo "building quendrix.exe"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DQUENDRIX_WERROR=ON \
      -DFreeGLUT_DIR="$freeglut/lib/cmake/FreeGLUT" -DQUENDRIX_FREEGLUT_SOURCE="$(dirname "$freeglut_source")" >/dev/null
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G ZIP)
