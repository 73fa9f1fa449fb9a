#!/usr/bin/env bash
# A slideshow of COUNT pictures of SECONDS each with a track of TRACK seconds (by default 500
# pictures of 20 s and a 2-hour track), side by side with the same pictures at one frame each
# and with ffmpeg's concat-plus-audio command for the same video: wall time and peak memory
# (maximum resident set, by /usr/bin/time) of each, in each container asked for, and the
# ratios. The pictures are small (WIDTHxHEIGHT, 160x120 by default) so that a run takes a few
# minutes: what is measured is the cost of held frames and of the music, not of the pixels.
# Not part of CI.
#
#   slideshow.sh BUILD_DIR [--work DIR] [--count N] [--seconds S] [--track S] [--size WxH]
#                [--containers "mkv mp4 avi"] [--keep]
# ffmpeg's command encodes every frame of every picture (its concat demuxer gives each picture
# its duration; -r makes the frames), pads the music with silence (apad) and stops at the
# video's end (-shortest), as our save does: FFV1 and FLAC in Matroska, H.264 (libx264, CRF 18,
# medium) and AAC in MP4, FFV1 and 16-bit PCM in AVI.
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
shift
work=${TMPDIR:-/tmp}/kelvora-slideshow-bench count=500 seconds=20 track=7200 size=160x120 keep=0
containers="mkv mp4 avi"
while [ $# -gt 0 ]; do
    case $1 in
        --work) work=$2 && shift ;;
        --count) count=$2 && shift ;;
        --seconds) seconds=$2 && shift ;;
        --track) track=$2 && shift ;;
        --size) size=$2 && shift ;;
        --containers) containers=$2 && shift ;;
        --keep) keep=1 ;;
        *) echo "unknown option $1" >&2 && exit 2 ;;
    esac
    shift
done
maker=$build/app/kelvora-maker
pictures=$work/pictures out=$work/out
cleanup() {
    rm -rf "$out"
    [ "$keep" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$pictures" "$out"

# COUNT distinct PNGs (a gradient and the picture's number), the concat files, the track.
if [ "$(find "$pictures" -name '*.png' | wc -l)" != "$count" ]; then
    ffmpeg -v error -y -f lavfi -i "testsrc2=size=$size:rate=1:duration=$count" -start_number 1 \
        "$pictures/p_%05d.png"
fi
{
    echo "ffconcat version 1.0"
    for i in $(seq 1 "$count"); do printf "file 'pictures/p_%05d.png'\nduration %s\n" "$i" "$seconds"; done
} >"$work/show.txt"
{
    echo "ffconcat version 1.0"
    for i in $(seq 1 "$count"); do printf "file 'pictures/p_%05d.png'\n" "$i"; done
} >"$work/frames.txt"
# ffmpeg's concat needs the last picture twice to give it its duration.
{ cat "$work/show.txt"; printf "file 'pictures/p_%05d.png'\n" "$count"; } >"$work/ffmpeg.txt"
if [ ! -s "$work/track.flac" ]; then
    ffmpeg -v error -y -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$track" \
        -af "pan=stereo|c0=c0|c1=0.8*c0" -c:a flac "$work/track.flac"
fi

# COMMAND...: "SECONDS KILOBYTES" of its wall time and peak resident set; a failure stops the run.
measure() {
    local report=$out/time.txt
    if ! /usr/bin/time -f "%e %M" -o "$report" "$@" >/dev/null 2>"$out/stderr.txt"; then
        echo "failed: $*" >&2
        tail -3 "$out/stderr.txt" >&2
        exit 1
    fi
    tail -1 "$report"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

frames=$((count * seconds * 25))
printf '%d pictures of %s, %d s each (%d frames at 25 a second), a %d s track\n' "$count" "$size" "$seconds" \
    "$frames" "$track"
printf '%-4s  %-34s %9s %9s\n' "" "" "seconds" "peak MB"
for container in $containers; do
    codec=() ffmpeg_codecs=()
    case $container in
        mkv) ffmpeg_codecs=(-c:v ffv1 -pix_fmt bgr0 -c:a flac) ;;
        mp4) ffmpeg_codecs=(-c:v libx264 -crf 18 -preset medium -pix_fmt yuv420p -c:a aac -b:a 192k) ;;
        avi) codec=(--codec ffv1) ffmpeg_codecs=(-c:v ffv1 -pix_fmt bgr0 -c:a pcm_s16le) ;;
    esac
    rm -f "$out"/*."$container"
    read -r one_s one_kb < <(measure "$maker" -o "$out/frames.$container" "${codec[@]}" --concat "$work/frames.txt")
    rm -f "$out"/*."$container"
    read -r held_s held_kb < <(measure "$maker" -o "$out/held.$container" "${codec[@]}" --concat "$work/show.txt")
    rm -f "$out"/*."$container"
    read -r show_s show_kb < <(measure "$maker" -o "$out/show.$container" "${codec[@]}" --concat "$work/show.txt" \
        --audio "$work/track.flac")
    rm -f "$out"/*."$container"
    read -r ff_s ff_kb < <(measure ffmpeg -nostdin -v error -y -f concat -safe 0 -i "$work/ffmpeg.txt" \
        -i "$work/track.flac" -map 0:v -map 1:a -r 25 -af apad -shortest "${ffmpeg_codecs[@]}" \
        "$out/ffmpeg.$container")
    rm -f "$out"/*."$container"
    row() { printf '%-4s  %-34s %9.2f %9.1f\n' "$container" "$1" "$2" "$(awk -v k="$3" 'BEGIN { print k / 1024 }')"; }
    row "one frame each" "$one_s" "$one_kb"
    row "${seconds} s each" "$held_s" "$held_kb"
    row "${seconds} s each + track" "$show_s" "$show_kb"
    row "ffmpeg concat + track" "$ff_s" "$ff_kb"
    printf '%-4s  time: held / one frame %s, with track / one frame %s, ffmpeg / ours %s; memory: held / one frame %s, with track / one frame %s\n' \
        "$container" "$(ratio "$held_s" "$one_s")" "$(ratio "$show_s" "$one_s")" "$(ratio "$ff_s" "$show_s")" \
        "$(ratio "$held_kb" "$one_kb")" "$(ratio "$show_kb" "$one_kb")"
done
