#!/usr/bin/env bash
# The Debian package `cpack -G DEB` makes: lintian has nothing to say about it
# (errors down to pedantic and experimental notes), it holds what it should,
# and made again in another build folder it has the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."

for dir in build-tests/deb build-tests/deb-again; do
    rm -rf "$dir"
    cmake -S . -B "$dir" -DQUENDRIX_WERROR=ON >/dev/null
    cmake --build "$dir" -j "$(nproc)" >/dev/null
    (cd "$dir" && cpack -G DEB >/dev/null)
done
deb=build-tests/deb/quendrix_1.0_amd64.deb
lintian --pedantic --display-info --display-experimental --fail-on error,warning,info,pedantic,experimental "$deb"
files=(./usr/bin/quendrix ./usr/share/{applications/quendrix.desktop,man/man1/quendrix.1.gz,doc/quendrix/copyright}
       ./usr/share/doc/quendrix/changelog.gz ./usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/quendrix.png)
diff <(printf '%s\n' "${files[@]}" | sort) <(dpkg-deb -c "$deb" | awk '!/^d/ { print $6 }' | sort)
cmp "$deb" build-tests/deb-again/quendrix_1.0_amd64.deb
echo "package: lintian clean, the files it should hold, the same bytes twice"
