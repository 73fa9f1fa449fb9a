#!/usr/bin/env bash
# Writes small MP4 and Matroska files into FOLDER, made by ffmpeg as other writers make them,
# as seeds for the check's fuzzer: H.264 with B-frames, classic and fragmented, 4:2:0 and 4:4:4;
# FFV1 in RGB and 4:2:0 at 8 and 16 bits; Motion-JPEG. 16 x 16, a few frames each.
set -euo pipefail
out="${1:?usage: make-media-seeds.sh FOLDER}"
mkdir -p "$out"
src=(-f lavfi -i "testsrc=size=16x16:rate=5" -frames:v 4)
make() {
  local name="$1"
  shift
  ffmpeg -v error -y "${src[@]}" "$@" "$out/$name"
}
make h264.mp4 -c:v libx264 -pix_fmt yuv420p
make h264-fragments.mp4 -c:v libx264 -pix_fmt yuv420p -movflags +frag_keyframe+empty_moov
make h264-444.mkv -c:v libx264 -pix_fmt yuv444p
make ffv1-rgb.mkv -c:v ffv1 -pix_fmt bgr0
make ffv1-420.mkv -c:v ffv1 -pix_fmt yuv420p
make ffv1-420-16.mkv -c:v ffv1 -pix_fmt yuv420p16le
make mjpeg.mkv -c:v mjpeg
make mjpeg.mov -c:v mjpeg
