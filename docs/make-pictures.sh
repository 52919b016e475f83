#!/usr/bin/env bash
# Makes the README's pictures from real frames of the program itself: each
# one a run of one frame, both eyes, at a phase (--frames 1 --phase T), drawn
# off-screen with Mesa's software GL and saved as PNG (--offscreen
# --save-images), with no X server:
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
#   bash docs/make-pictures.sh [OPTION...]
#
# Any OPTIONs go to every run of the program, after the script's own (a
# later --stereo or -geometry replaces the script's, for one).
set -euo pipefail
cd "$(dirname "$0")/.."
PATH=/usr/bin:$PATH  # ImageMagick's convert, before any other of that name

frames=${MORPH_FRAMES:-120}
options=("$@")
build=build-bench
cmake -S . -B "$build" -DQUENDRIX_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target quendrix >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# frame T MODE FILE [OPTION...]: the frame at phase T in stereo mode MODE,
# into FILE.
# The phases are written as the program keeps them: the multiples of pi in
# single precision. A run that fails ends the script, with its message.
frame() {
    rm -rf "$work/frame"
    if ! env -u GLUT_FPS LIBGL_ALWAYS_SOFTWARE=1 "$build/quendrix" --offscreen --frames 1 --phase "$1" \
            --stereo "$2" --save-images "$work/frame" "${@:4}" ${options[@]+"${options[@]}"} >"$work/out" 2>"$work/err"; then
        tr '\r' '\n' <"$work/err" | tail -n +2 >&2
        exit 1
    fi
    mv "$work"/frame/frame-1-*.png "$3"
}

frame 0 red-blue docs/cloud.png --info
grep -v ' frames in ' "$work/out"  # what drew them
frame 6.2831853 red-blue docs/spiral.png
frame 12.566371 red-blue docs/coil.png

# The icon: the smaller it is, the closer the cut into the coil's near ring,
# so that even at 16 x 16 a few whole spheres show, red and blue.
mkdir -p docs/icons
for cut in 16:56x56+320+320 32:104x104+290+296 48:150x150+260+270 64:200x200+230+240 \
           128:320x320+140+160 256:440x440+20+40; do
    size=${cut%%:*}
    convert docs/coil.png -crop "${cut#*:}" +repage -resize "${size}x$size" -strip "docs/icons/$size.png"
done
# Committed, so that a build needs no image tool (Visual Studio's neither);
# the 256-pixel image stays PNG inside, as Windows takes it from Vista on.
icotool -c -o docs/icons/quendrix.ico docs/icons/{16,32,48,64,128}.png -r docs/icons/256.png

# One whole morph cycle. 5/100 s a frame: the cycle takes 6 s. 128 colours
# hold the red, blue and magenta shades and keep the file well under 2 MB.
mkdir "$work/morph"
for ((i = 0; i < frames; i++)); do
    frame "$(awk -v i="$i" -v n="$frames" 'BEGIN { printf "%.7f", i * 8 * 3.14159265358979 / n }')" red-blue \
        "$(printf '%s/morph/%04d.png' "$work" "$i")"
done
convert -delay 5 -loop 0 "$work"/morph/*.png -resize 240x240 -colors 128 -layers Optimize docs/morph.gif

# Every stereo mode, at full size: a smaller picture would blur the
# interleaved rows, columns and squares together.
mkdir -p docs/stereo
for mode in red-cyan green-magenta yellow-blue side-by-side cross-eyed half-side-by-side top-bottom \
            half-top-bottom rows columns checkerboard left right; do
    frame 12.566371 "$mode" "docs/stereo/$mode.png"
done

# One mode with its views converged, beside the same frame without.
frame 12.566371 red-cyan docs/stereo/red-cyan-converged.png --convergence 15

ls -l docs/cloud.png docs/spiral.png docs/coil.png docs/morph.gif docs/icons/*.png docs/icons/quendrix.ico docs/stereo/*.png
