#!/usr/bin/env bash
# How long a save takes to end once it is told to stop, on camera-sized frames: the batch mode
# is sent SIGINT a few seconds into a save of JPEG frames, for each codec, and the time from
# the signal to the process's end is printed with the frames the video kept (ffprobe).
# Not part of CI.
#
#   stop-latency.sh BUILD_DIR [--work DIR] [--size WxH] [--frames N] [--after SECONDS]
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
shift
work=${TMPDIR:-/tmp}/kelvora-stop-latency size=6000x4000 frames=20 after=6
while [ $# -gt 0 ]; do
    case $1 in
        --work) work=$2 && shift ;;
        --size) size=$2 && shift ;;
        --frames) frames=$2 && shift ;;
        --after) after=$2 && shift ;;
        *) echo "unknown option $1" >&2 && exit 2 ;;
    esac
    shift
done
maker=$build/app/kelvora-maker
mkdir -p "$work"
for i in $(seq 0 $((frames - 1))); do
    f=$work/frame_$(printf %03d "$i").jpg
    [ -s "$f" ] || convert -size "$size" gradient:red-blue -rotate $((i * 5)) -crop "$size+0+0" +repage -quality 90 "$f"
done
printf '%-6s %10s %8s %s\n' codec "stop (s)" frames "last line"
for codec in ffv1 png h264; do
    out=$work/out.avi
    [ "$codec" = h264 ] && out=$work/out.mp4
    rm -f "$out"
    "$maker" -y -o "$out" --codec "$codec" "$work"/frame_*.jpg >"$work/log" 2>&1 &
    pid=$!
    sleep "$after"
    start=$(date +%s.%N)
    kill -INT "$pid"
    wait "$pid" || true
    took=$(echo "$(date +%s.%N) - $start" | bc)
    kept=$( [ -s "$out" ] && ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$out" || echo 0)
    printf '%-6s %10.2f %8s %s\n' "$codec" "$took" "$kept" "$(tail -n 1 "$work/log")"
done
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
