#!/usr/bin/env bash
# Writes NOTICES.txt for the Windows zip: the copyright and licence notices
# of what quendrix.exe links in statically. freeglut's come from the source
# it was built from; nlohmann/json's from Debian's copyright file of the
# headers compiled in, and stb's image writer's from its header; the MinGW-w64
# runtime's from Debian's copyright file of the runtime it was linked with,
# cut to the parts a link map shows in the program (docs/packaging.md says
# how to read one again).
#
#   bash packaging/windows/notices.sh FREEGLUT_SOURCE > NOTICES.txt
set -euo pipefail
glut=$1
runtime=/usr/share/doc/mingw-w64-x86-64-dev/copyright
json=/usr/share/doc/nlohmann-json3-dev/copyright
stb=/usr/include/stb/stb_image_write.h
version() { dpkg-query -W -f '${Version}' "$1"; }

cat <<EOF
Notices for quendrix.exe
========================

quendrix.exe is Quendrix (MIT licence, see LICENSE.txt) linked into one
file with the libraries below. Their licences ask that these notices come
with every copy of the program.

------------------------------------------------------------------------
1. freeglut $(dpkg-parsechangelog -l "$glut/debian/changelog" -S Version), built from Debian's source package
------------------------------------------------------------------------

EOF
cat "$glut/COPYING"
echo
echo "The files of freeglut in this program carry these copyright lines, each"
echo "under the permission notice above:"
echo
grep -h -E '^[ *]*(Portions )?[Cc]opyright (\([Cc]\) |by )?[0-9]' "$glut"/src/fg_*.[ch] "$glut"/src/mswin/* \
     "$glut"/include/GL/*.h | sed -E 's/^[ *]*/  /; s/[[:space:]]+$//' | sort -u
echo
echo "freeglut's src/util/xparsegeometry_repl.c is taken from the X sources, under"
echo "this notice:"
echo
x=$(sed -n '/^Copyright .*The Open Group$/,/^from The Open Group\.$/p' "$glut/src/util/xparsegeometry_repl.c")
[ -n "$x" ] || { echo "notices.sh: no X notice in $glut/src/util" >&2; exit 1; }
echo "$x"

cat <<EOF

------------------------------------------------------------------------
2. nlohmann/json $(version nlohmann-json3-dev): JSON for Modern C++, which
   writes the results file
------------------------------------------------------------------------

EOF
# The paragraphs of the headers compiled in (the library's own, its number
# formatting and its UTF-8 decoder) and the licence they name.
awk -v RS= -v ORS='\n\n' '
    /^Files: (\*|include\/nlohmann\/detail\/conversions\/to_chars\.hpp|include\/nlohmann\/detail\/output\/serializer\.hpp)\n/ ||
    /^License: Expat\n/ { n++; print }
    END { if (n != 4) { print "notices.sh: " n " of 4 paragraphs in " FILENAME > "/dev/stderr"; exit 1 } }' "$json"

cat <<EOF
------------------------------------------------------------------------
3. stb_image_write $(version libstb-dev), which writes the PNG pictures
------------------------------------------------------------------------

EOF
x=$(sed -n '/^This software is available under 2 licenses/,/^WITH THE SOFTWARE OR THE USE OR OTHER DEALINGS IN THE SOFTWARE\.$/p' "$stb")
[ -n "$x" ] || { echo "notices.sh: no licence in $stb" >&2; exit 1; }
echo "$x"

cat <<EOF

------------------------------------------------------------------------
4. The MinGW-w64 runtime $(version mingw-w64-x86-64-dev): start-up code, C library
   parts and winpthreads
------------------------------------------------------------------------

Each part of it in this program is in the public domain or under one of
the terms below, as Debian's package mingw-w64-x86-64-dev states them.

EOF
# Paragraphs of the machine-readable copyright file: the runtime's own terms
# (Files: *), gdtoa and printf, winpthreads, and the licence text they name.
awk -v RS= -v ORS='\n\n' '
    /^Files: (\*|mingw-w64-crt\/gdtoa\/\*|mingw-w64-crt\/misc\/basename\.c)\n/ ||
    /^Files: mingw-w64-libraries\/winpthreads\/(\*|include\/pthread\.h)\n/ || /^License: expat\n/ { n++; print }
    END { if (n != 6) { print "notices.sh: " n " of 6 paragraphs in " FILENAME > "/dev/stderr"; exit 1 } }' "$runtime"

cat <<EOF
------------------------------------------------------------------------
5. GCC's run-time libraries libgcc and libstdc++,
   $(version gcc-mingw-w64-x86-64-posix-runtime)
------------------------------------------------------------------------

The GNU General Public License, version 3, with the
GCC Runtime Library Exception, version 3.1
(https://www.gnu.org/licenses/gcc-exception-3.1.html). The exception lets a
program compiled with GCC be passed on under terms of its own with these
libraries linked in, and asks for no notice; this one is here so that the
list is whole.
EOF
