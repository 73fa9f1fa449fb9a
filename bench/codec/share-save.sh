#!/usr/bin/env bash
# Our MP4 save (H.264) against ffmpeg's libx264 with the same settings, on the same frames,
# side by side in one run: wall time (median of REPEATS, the two taking turns), size, and the
# PSNR of each against the BMPs (the decoded planes through an exact BT.709 conversion, the
# worst frame and the mean). ffmpeg: -preset medium -crf 18, BT.709 limited range conversion
# and tags, yuv420p. Then ffmpeg once more at the CRF that gives our file's size (interpolated
# from CRF 18 and 17), so the two are also compared at equal size. Not part of CI.
#   share-save.sh BUILD_DIR [FRAMES] [REPEATS] [WORK_DIR]
# Frames: synthetic 1280 x 720 (testsrc2) and photo-like 1920 x 1080 (testsrc2 with grain).
set -euo pipefail
build=${1:?build directory}
frames=${2:-100}
repeats=${3:-3}
work=${4:-${TMPDIR:-/tmp}/kelvora-share-bench}
maker="$build/app/kelvora-maker"
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"

make_frames() {  # NAME FILTER
    local dir="$work/$1-$frames"
    if [ ! -f "$dir/done" ]; then
        rm -rf "$dir" && mkdir -p "$dir"
        ffmpeg -nostdin -v error -f lavfi -i "$2" -frames:v "$frames" -pix_fmt bgr24 "$dir/frame_%05d.bmp"
        touch "$dir/done"
    fi
}
make_frames synthetic-720p "testsrc2=size=1280x720:rate=25"
make_frames photo-1080p "testsrc2=size=1920x1080:rate=25,noise=alls=30:allf=t+u"

# shellcheck source=timing.sh
. "$(dirname "$0")/timing.sh"

ffmpeg_x264() {  # FOLDER CRF OUT
    ffmpeg -nostdin -v error -y -framerate 25 -i "$1/frame_%05d.bmp" \
        -vf "scale=out_color_matrix=bt709:out_range=tv:flags=accurate_rnd+full_chroma_int,format=yuv420p" \
        -c:v libx264 -preset medium -crf "$2" -colorspace bt709 -color_primaries bt709 -color_trc bt709 \
        -color_range tv "$3"
}

equal=()
printf '%-15s %8s %9s %7s %11s %12s %7s %16s %16s\n' frames "ours s" "ffmpeg s" speed "ours bytes" \
    "ffmpeg bytes" size "ours PSNR min/mean" "ffmpeg PSNR"
for set in synthetic-720p photo-1080p; do
    dir="$work/$set-$frames"
    ours=() theirs=()
    for ((r = 0; r < repeats; r++)); do
        ours+=("$(seconds "$maker" -y -o "$work/ours.mp4" "$dir")")
        theirs+=("$(seconds ffmpeg -nostdin -v error -y -framerate 25 -i "$dir/frame_%05d.bmp" \
            -vf "scale=out_color_matrix=bt709:out_range=tv:flags=accurate_rnd+full_chroma_int,format=yuv420p" \
            -c:v libx264 -preset medium -crf 18 -colorspace bt709 -color_primaries bt709 -color_trc bt709 \
            -color_range tv "$work/ffmpeg.mp4")")
    done
    a=$(printf '%s\n' "${ours[@]}" | median)
    b=$(printf '%s\n' "${theirs[@]}" | median)
    sa=$(stat -c %s "$work/ours.mp4")
    sb=$(stat -c %s "$work/ffmpeg.mp4")
    pa=$(/usr/bin/python3 "$here/psnr.py" "$work/ours.mp4" "$dir")
    pb=$(/usr/bin/python3 "$here/psnr.py" "$work/ffmpeg.mp4" "$dir")
    awk -v set="$set" -v a="$a" -v b="$b" -v sa="$sa" -v sb="$sb" -v pa="$pa" -v pb="$pb" \
        'BEGIN { printf "%-15s %8.3f %9.3f %6.2fx %11d %12d %6.3fx %16s %16s\n", set, a, b, b / a, sa, sb, sa / sb, pa, pb }'
    # Size falls about exponentially with CRF: the CRF at which ffmpeg's file is ours.
    ffmpeg_x264 "$dir" 17 "$work/ffmpeg17.mp4"
    s17=$(stat -c %s "$work/ffmpeg17.mp4")
    crf=$(awk -v sa="$sa" -v s18="$sb" -v s17="$s17" 'BEGIN { printf "%.2f", 18 - log(sa / s18) / log(s17 / s18) }')
    ffmpeg_x264 "$dir" "$crf" "$work/ffmpeg-equal.mp4"
    se=$(stat -c %s "$work/ffmpeg-equal.mp4")
    pe=$(/usr/bin/python3 "$here/psnr.py" "$work/ffmpeg-equal.mp4" "$dir")
    equal+=("$(printf '%-15s ffmpeg at CRF %s: %d bytes (%.3fx ours), PSNR %s; ours %s' "$set" "$crf" "$se" \
        "$(awk -v a="$se" -v b="$sa" 'BEGIN { print a / b }')" "$pe" "$pa")")
done
echo "At equal size:"
printf '%s\n' "${equal[@]}"
echo "speed: ffmpeg's time over ours (above 1: ours is faster); size: ours over ffmpeg's."
echo "$(nproc) cores, $frames frames a set, median of $repeats runs."
