#!/usr/bin/env bash
# Camera-like JPEGs (6000 x 4000, grain, about 5 MB each) into 1080p and 4K MP4s, ours beside
# ffmpeg's own recipe with the same settings (Lanczos scale, bars, BT.709, libx264 medium at
# CRF 18), in one run: wall time, CPU time, peak memory, size, and the PSNR of the first
# frames of both against a linear-light Lanczos reference of the files computed here (Pillow,
# float). Files warm (read once before). Not part of CI.
#
#   photo-save.sh BUILD_DIR [--work DIR] [--count N] [--checked N] [--keep]
# COUNT pictures (default 200: a handful of distinct ones copied) are made in DIR (default
# $TMPDIR/kelvora-photo-save); CHECKED (default 3) frames of each video are measured.
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
shift
work=${TMPDIR:-/tmp}/kelvora-photo-save count=200 checked=3 keep=0
while [ $# -gt 0 ]; do
    case $1 in
        --work) work=$2 && shift ;;
        --count) count=$2 && shift ;;
        --checked) checked=$2 && shift ;;
        --keep) keep=1 ;;
        *) echo "unknown option $1" >&2 && exit 2 ;;
    esac
    shift
done
maker=$build/app/kelvora-maker
frames=$work/frames out=$work/out
cleanup() {
    rm -rf "$out"
    [ "$keep" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$frames" "$out"

distinct=4
if [ "$(find "$frames" -name '*.jpg' | wc -l)" != "$count" ]; then
    rm -f "$frames"/*.jpg
    for i in $(seq 1 $distinct); do
        convert -size 6000x4000 plasma:fractal -seed "$i" -attenuate 0.35 +noise Gaussian -quality 92 \
            -sampling-factor 2x2 "$work/seed_$i.jpg"
    done
    for i in $(seq 1 "$count"); do
        cp "$work/seed_$(( (i - 1) % distinct + 1 )).jpg" "$(printf '%s/IMG_%05d.jpg' "$frames" "$i")"
    done
fi
cat "$frames"/*.jpg >/dev/null  # warm

# One run: "wall cpu peak_kB" of the command.
measure() {
    /usr/bin/time -f '%e %U %S %M' -o "$out/time" "$@" >/dev/null 2>"$out/err" || { cat "$out/err" >&2; exit 1; }
    read -r wall user sys peak <"$out/time"
    echo "$wall $(echo "$user + $sys" | bc) $peak"
}

# ffmpeg's own recipe for a folder of photos into a video of W x H.
ffmpeg_recipe() {
    local w=$1 h=$2
    recipe=(ffmpeg -nostdin -y -v error -framerate 25 -pattern_type glob -i "$frames/*.jpg"
        -vf "scale=$w:$h:force_original_aspect_ratio=decrease:flags=lanczos,pad=$w:$h:(ow-iw)/2:(oh-ih)/2,scale=out_color_matrix=bt709:out_range=tv,format=yuv420p"
        -color_primaries bt709 -color_trc bt709 -colorspace bt709 -color_range tv
        -c:v libx264 -preset medium -crf 18 "$out/ffmpeg.mp4")
}

psnr_of() {  # VIDEO W H: the mean PSNR of its first frames against the linear-light reference
    /usr/bin/python3 - "$1" "$2" "$3" "$checked" "$work" "$frames" <<'EOF'
import glob, os, subprocess, sys
import numpy
from PIL import Image
video, w, h, checked, work, frames = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5], sys.argv[6]
def linear(v):
    v = v / 255.0
    return numpy.where(v <= 0.04045, v / 12.92, ((v + 0.055) / 1.055) ** 2.4)
def srgb(v):
    v = numpy.clip(v, 0, 1)
    return 255 * numpy.where(v <= 0.0031308, 12.92 * v, 1.055 * v ** (1 / 2.4) - 0.055)
def reference(path):
    cached = os.path.join(work, f"ref-{w}x{h}-{os.path.basename(os.path.realpath(path))}.npy")
    if os.path.exists(cached):
        return numpy.load(cached)
    picture = Image.open(path).convert("RGB")
    scale = min(w / picture.width, h / picture.height)
    inner = (round(picture.width * scale), round(picture.height * scale))
    lin = linear(numpy.asarray(picture, numpy.float32))
    planes = [numpy.asarray(Image.fromarray(lin[..., c], "F").resize(inner, Image.LANCZOS)) for c in range(3)]
    frame = numpy.zeros((h, w, 3))
    top, left = (h - inner[1]) // 2, (w - inner[0]) // 2
    frame[top:top + inner[1], left:left + inner[0]] = srgb(numpy.stack(planes, -1))
    frame = numpy.round(frame)
    numpy.save(cached, frame)
    return frame
files = sorted(glob.glob(os.path.join(frames, "*.jpg")))[:checked]
raw = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", video, "-frames:v", str(checked), "-pix_fmt", "rgb24",
                      "-f", "rawvideo", "-"], capture_output=True, check=True).stdout
shown = numpy.frombuffer(raw, numpy.uint8).reshape(-1, h, w, 3).astype(float)
values = []
for frame, path in zip(shown, files):
    mse = numpy.mean((frame - reference(path)) ** 2)
    values.append(10 * numpy.log10(255 ** 2 / mse))
print(f"{sum(values) / len(values):.2f}")
EOF
}

echo "$count JPEGs of 6000 x 4000 ($(du -sh "$frames" | cut -f1)), $(nproc) cores"
printf '%-8s %-7s %9s %9s %10s %9s %9s\n' size who "wall s" "cpu s" "peak MB" "size MB" "PSNR dB"
for size in 1920x1080 3840x2160; do
    w=${size%x*} h=${size#*x}
    read -r ow oc op < <(measure "$maker" -y -o "$out/ours.mp4" --size "$size" "$frames")
    ffmpeg_recipe "$w" "$h"
    read -r fw fc fp < <(measure "${recipe[@]}")
    oq=$(psnr_of "$out/ours.mp4" "$w" "$h")
    fq=$(psnr_of "$out/ffmpeg.mp4" "$w" "$h")
    os=$(du -m "$out/ours.mp4" | cut -f1) fs=$(du -m "$out/ffmpeg.mp4" | cut -f1)
    printf '%-8s %-7s %9s %9s %10s %9s %9s\n' "$size" ours "$ow" "$oc" "$((op / 1024))" "$os" "$oq"
    printf '%-8s %-7s %9s %9s %10s %9s %9s\n' "$size" ffmpeg "$fw" "$fc" "$((fp / 1024))" "$fs" "$fq"
    echo "$size: time $(echo "scale=2; $ow / $fw" | bc) x ffmpeg's, peak $(echo "scale=2; $op / $fp" | bc) x"
done
