#!/usr/bin/env bash
# Our lossless compressed saves against ffmpeg's on the same frames, side by side in one run:
# wall time (median of REPEATS, the two taking turns), frames per second, file size, and the
# ratios. ffmpeg gets the same codec settings and all the cores. Not part of CI.
#   lossless-save.sh BUILD_DIR [FRAMES] [REPEATS] [WORK_DIR]
# Frames: 1920 x 1080 x 24, a synthetic pattern (testsrc2) and the same with grain (photo-like).
set -euo pipefail
build=${1:?build directory}
frames=${2:-100}
repeats=${3:-3}
work=${4:-${TMPDIR:-/tmp}/kelvora-lossless-bench}
maker="$build/app/kelvora-maker"
threads=$(nproc)
mkdir -p "$work"

make_frames() {  # NAME FILTER
    local dir="$work/$1-$frames"
    if [ ! -f "$dir/done" ]; then
        rm -rf "$dir" && mkdir -p "$dir"
        ffmpeg -nostdin -v error -f lavfi -i "$2" -frames:v "$frames" "$dir/frame_%05d.bmp"
        touch "$dir/done"
    fi
}
make_frames synthetic "testsrc2=size=1920x1080:rate=25"
make_frames photo "testsrc2=size=1920x1080:rate=25,noise=alls=30:allf=t+u"

# shellcheck source=timing.sh
. "$(dirname "$0")/timing.sh"

ffmpeg_args() {  # CODEC
    case $1 in
        ffv1) echo "-c:v ffv1 -level 3 -g 1 -slices 4 -slicecrc 1 -pix_fmt bgr0" ;;
        png) echo "-c:v png" ;;
    esac
}

printf '%-10s %-5s %8s %7s %9s %7s %7s %12s %12s %7s %8s\n' frames codec "ours s" "ours/s" "ffmpeg s" \
    "ffmpeg/s" speed "ours bytes" "ffmpeg bytes" size smaller
for set in synthetic photo; do
    dir="$work/$set-$frames"
    raw=$(du -cb "$dir"/*.bmp | tail -1 | cut -f1)
    for codec in ffv1 png; do
        ours=() theirs=()
        for ((r = 0; r < repeats; r++)); do
            ours+=("$(seconds "$maker" -y -o "$work/ours.avi" --codec "$codec" "$dir")")
            # shellcheck disable=SC2046
            theirs+=("$(seconds ffmpeg -nostdin -v error -y -framerate 25 -i "$dir/frame_%05d.bmp" \
                $(ffmpeg_args "$codec") -threads "$threads" "$work/ffmpeg.avi")")
        done
        a=$(printf '%s\n' "${ours[@]}" | median)
        b=$(printf '%s\n' "${theirs[@]}" | median)
        sa=$(stat -c %s "$work/ours.avi")
        sb=$(stat -c %s "$work/ffmpeg.avi")
        awk -v set="$set" -v codec="$codec" -v a="$a" -v b="$b" -v sa="$sa" -v sb="$sb" -v n="$frames" -v raw="$raw" \
            'BEGIN { printf "%-10s %-5s %8.3f %7.1f %9.3f %7.1f %6.2fx %12d %12d %6.3fx %7.1fx\n",
                     set, codec, a, n / a, b, n / b, b / a, sa, sb, sa / sb, raw / sa }'
    done
done
echo "speed: ffmpeg's time over ours (above 1: ours is faster); size: ours over ffmpeg's; smaller: the"
echo "BMP files' bytes over ours. $threads cores, $frames frames a set, median of $repeats runs."
