#!/usr/bin/env bash
# The Windows zip packaging/windows.sh makes: made again in another build
# folder, under another umask and time zone, it has the same bytes; it holds
# what it should, the notices of every library linked in among them; and
# quendrix.exe is a console program with the icon and the project's version.
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(quendrix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip=quendrix-$version-win64.zip
again=build-tests/windows-again
bash packaging/windows.sh
rm -rf "$again"
(umask 077 && TZ=JST-9 bash packaging/windows.sh "$again" >/dev/null)
cmp "build-windows/$zip" "$again/$zip"

(cd "$again" && cmake -E tar xf "$zip")
top=$again/quendrix-$version-win64
diff <(printf '%s\n' LICENSE.txt NOTICES.txt README.txt quendrix.exe quendrix.txt) <(ls "$top")
grep -q NOTICES.txt "$top/README.txt"
# freeglut's and the X code's in it; nlohmann/json's and stb's; the MinGW-w64
# runtime's own, gdtoa's, winpthreads' and its header's; GCC's run-time
# libraries'.
for notice in 'Copyright (c) 1999-2000 Pawel W. Olszta' 'Copyright 1985, 1986, 1987,1998  The Open Group' \
              'Copyright: 2009-2016 the mingw-w64 project' 'Copyright: 1997-2001 Lucent Technologies' \
              'Copyright: 2011-2016 mingw-w64 project' 'Copyright: 2010 Lockless Inc.' 'GCC Runtime Library Exception' \
              'Copyright: 2013-2022 Niels Lohmann' 'Copyright: 2009 Florian Loitsch' 'Copyright (c) 2017 Sean Barrett'; do
    grep -qF "$notice" "$top/NOTICES.txt" || { echo "NOTICES.txt lacks: $notice" >&2; exit 1; }
done

exe=$top/quendrix.exe
x86_64-w64-mingw32-objdump -p "$exe" | grep 'Subsystem.*(Windows CUI)' >/dev/null || { echo "not a console program" >&2; exit 1; }
# wrestool pads the icon it extracts with zeros.
cmp -n "$(stat -c %s docs/icons/quendrix.ico)" <(wrestool -x -t14 "$exe") docs/icons/quendrix.ico
# The version as Explorer reads it: the numbers (little-endian, after the
# signature FEEF04BD and the structure's version), and the strings, each name
# followed by its value.
le() { printf '%02x%02x%02x%02x' $(($2 & 255)) $(($2 >> 8)) $(($1 & 255)) $(($1 >> 8)); }
IFS=. read -r a b c d _ <<<"$version.0.0.0"
numbers=$(le "$a" "$b")$(le "$c" "$d")  # the file's, then the product's
wrestool -x --raw -t16 "$exe" | od -An -tx1 -v | tr -d ' \n' | grep "bd04effe00000100$numbers$numbers" >/dev/null ||
    { echo "quendrix.exe's version numbers are not $version" >&2; exit 1; }
strings=$(wrestool -x --raw -t16 "$exe" | iconv -f UTF-16LE -t UTF-8 -c | tr '\0' '\n' | grep -a . | tr '\n' '|')
for pair in "ProductName|Quendrix|" "FileVersion|$version|" "ProductVersion|$version|" "FileDescription|Quendrix: " \
            "LegalCopyright|$(grep -m 1 '^Copyright ' LICENSE | sed 's/(c)/©/')|"; do
    [[ $strings == *"$pair"* ]] || { echo "quendrix.exe's version lacks $pair" >&2; exit 1; }
done
echo "Windows zip: the same bytes twice, the files and notices it should hold, icon and version in quendrix.exe"
