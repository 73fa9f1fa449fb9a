#!/usr/bin/env bash
# Scale checks through the real window on a real X server, Xvfb with Qt's xcb platform and a
# window manager (see xdisplay.sh), so the window pays for painting as users see it (not part of CI):
#  1. a folder of 100,000 small frames added in whole-folder mode and saved;
#  2. a save over 4 GiB (720 frames of 1920x1080x24), through the window and through the
#     library alone (avifile/big-save.sh).
# Prints time and peak memory per phase; ffprobe must count exactly the frames written.
# Everything made is deleted at the end. Usage: scale.sh BUILD_DIR [SMALL_FRAMES] [BIG_FRAMES]
set -euo pipefail
build=${1:?build directory (Release)}
small=${2:-100000}
big=${3:-720}
driver="$build/bench/app/kelvora_window_driver"
work="${TMPDIR:-/tmp}/kelvora-scale-$$"
# shellcheck source=xdisplay.sh
source "$(dirname "$0")/xdisplay.sh"
trap 'stop_display; rm -rf "$work"' EXIT
mkdir -p "$work"
start_display

count_frames() {
    ffprobe -v error -count_frames -select_streams v:0 \
        -show_entries stream=nb_read_frames -of default=nw=1:nk=1 "$1"
}

check() {  # NAME FRAMES W H BITS
    local name=$1 frames=$2
    echo "== $name: $frames frames of $3x$4x$5"
    df -h "$work" | tail -1
    "$driver" make "$work/$name" "$frames" "$3" "$4" "$5"
    "$driver" run "$work/$name" "$work/$name.avi"
    echo "output $(stat -c %s "$work/$name.avi") bytes"
    local start read
    start=$(date +%s.%N)
    read=$(count_frames "$work/$name.avi")
    printf 'ffprobe counted %s of %s frames in %.1f s\n' "$read" "$frames" "$(awk -v a="$(date +%s.%N)" -v b="$start" 'BEGIN { print a - b }')"
    rm -rf "${work:?}/$name" "$work/$name.avi"
    [ "$read" = "$frames" ]
}

check small "$small" 16 16 24
check big "$big" 1920 1080 24
echo "== library alone, $big frames of 1920x1080x24"
/usr/bin/time -f 'library save: %e s, peak RSS %M KiB' \
    "$(dirname "$0")/avifile/big-save.sh" "$build" "$big" "$work"
