#!/usr/bin/env bash
# Makes the README's pictures from real frames of the program, rendered by
# bench/snapshot.cpp in an X server of our own with Mesa's software GL:
#   docs/cloud.png   T = 0     the random cloud (w = 1)
#   docs/spiral.png  T = 2 pi  the conical spiral (w = 0)
#   docs/coil.png    T = 4 pi  the toroidal coil (w = 1)
#   docs/morph.gif   one whole morph cycle, T = 0 ... 8 pi, at half size
#   docs/icons/N.png the program's icon, N x N pixels, cut from the coil
#   docs/icons/quendrix.ico  the same sizes in one Windows icon (icoutils)
#   docs/stereo/MODE.png  the coil in each stereo mode but the default (that
#                    is docs/coil.png) and quad-buffered stereo, which shows
#                    each eye in a buffer of its own
#   docs/stereo/red-cyan-converged.png  the coil in red-cyan, converged on
#                    the field's centre (--convergence 15)
#
#   bash docs/make-pictures.sh
set -euo pipefail
cd "$(dirname "$0")/.."
PATH=/usr/bin:$PATH  # ImageMagick's convert, before any other of that name

frames=${MORPH_FRAMES:-120}

source bench/common.sh
start_bench quendrix_snapshot

# Phases as the program stores them: single precision of the multiples of pi.
args=(0 "$work/cloud.ppm" 6.2831853 "$work/spiral.ppm" 12.566371 "$work/coil.ppm")
mkdir "$work/morph"
while read -r phase file; do
    args+=("$phase" "$file")
done < <(awk -v n="$frames" -v dir="$work/morph" \
    'BEGIN { for (i = 0; i < n; i++) printf "%.7f %s/%04d.ppm\n", i * 8 * 3.14159265358979 / n, dir, i }')

env -u GLUT_FPS LIBGL_ALWAYS_SOFTWARE=1 "$build/bench/quendrix_snapshot" --info "${args[@]}" \
    2>"$work/snapshot.err" || { tr '\r' '\n' <"$work/snapshot.err" | tail -n +2 >&2; exit 1; }

for name in cloud spiral coil; do
    convert "$work/$name.ppm" -strip "docs/$name.png"  # no time stamps: the same frame, the same file
done
# The icon: the smaller it is, the closer the cut into the coil's near ring,
# so that even at 16 x 16 a few whole spheres show, red and blue.
mkdir -p docs/icons
for cut in 16:56x56+320+320 32:104x104+290+296 48:150x150+260+270 64:200x200+230+240 \
           128:320x320+140+160 256:440x440+20+40; do
    size=${cut%%:*}
    convert "$work/coil.ppm" -crop "${cut#*:}" +repage -resize "${size}x$size" -strip "docs/icons/$size.png"
done
# Committed, so that a build needs no image tool (Visual Studio's neither);
# the 256-pixel image stays PNG inside, as Windows takes it from Vista on.
icotool -c -o docs/icons/quendrix.ico docs/icons/{16,32,48,64,128}.png -r docs/icons/256.png
# 5/100 s a frame: the cycle takes 6 s. 128 colours hold the red, blue and
# magenta shades and keep the file well under 2 MB.
convert -delay 5 -loop 0 "$work"/morph/*.ppm -resize 240x240 -colors 128 -layers Optimize "docs/morph.gif"

# Every stereo mode, at full size: a smaller picture would blur the
# interleaved rows, columns and squares together.
mkdir -p docs/stereo
for mode in red-cyan green-magenta yellow-blue side-by-side cross-eyed half-side-by-side top-bottom \
            half-top-bottom rows columns checkerboard left right; do
    env -u GLUT_FPS LIBGL_ALWAYS_SOFTWARE=1 "$build/bench/quendrix_snapshot" --stereo="$mode" 12.566371 \
        "$work/$mode.ppm" 2>"$work/snapshot.err" || { tr '\r' '\n' <"$work/snapshot.err" | tail -n +2 >&2; exit 1; }
    convert "$work/$mode.ppm" -strip "docs/stereo/$mode.png"
done

# One mode with its views converged, beside the same frame without.
env -u GLUT_FPS LIBGL_ALWAYS_SOFTWARE=1 "$build/bench/quendrix_snapshot" --stereo=red-cyan --convergence=15 12.566371 \
    "$work/converged.ppm" 2>"$work/snapshot.err" || { tr '\r' '\n' <"$work/snapshot.err" | tail -n +2 >&2; exit 1; }
convert "$work/converged.ppm" -strip docs/stereo/red-cyan-converged.png

ls -l docs/cloud.png docs/spiral.png docs/coil.png docs/morph.gif docs/icons/*.png docs/icons/quendrix.ico docs/stereo/*.png
