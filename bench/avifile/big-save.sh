#!/usr/bin/env bash
# Writes one video over 4 GiB through the library, checks that ffprobe reads every frame,
# and deletes it. Usage: big-save.sh BUILD_DIR [FRAMES] [OUT_DIR]
set -euo pipefail
build=${1:?build directory}
frames=${2:-720}          # 720 x 6,220,800 bytes = 4.48 GB
outdir=${3:-${TMPDIR:-/tmp}}
out="$outdir/kelvora-big-save-$$.avi"
trap 'rm -f "$out"' EXIT

"$build/bench/avifile/kelvora_avifile_bigsave" "$out" "$frames"
ls -l "$out"
start=$(date +%s)
read_frames=$(ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=nb_read_frames -of default=nw=1:nk=1 "$out")
echo "ffprobe read $read_frames of $frames frames in $(( $(date +%s) - start )) s"
[ "$read_frames" = "$frames" ]
