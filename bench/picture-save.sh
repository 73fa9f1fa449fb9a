#!/usr/bin/env bash
# Camera-sized JPEGs stored as they are (one MJPG frame a file), side by side with `cat` of
# the same files into one file, in one run: warm (files in the page cache) and cold (the cache
# dropped before each run; needs root). Medians of REPEATS runs, ours and cat taking turns;
# the ratio is ours over cat. Not part of CI.
#
#   picture-save.sh BUILD_DIR [--work DIR] [--count N] [--repeats N] [--keep] [--png] [--maker PROGRAM]
# The frames (COUNT files of 4000 x 3000 at quality 90, a few MB each: a handful of distinct
# noisy pictures made by ImageMagick, copied to COUNT files) are made in DIR (default
# $TMPDIR/kelvora-picture-save) and deleted at the end unless --keep. With --png the frames are
# full-HD photo-like PNGs (about 3.4 MB each; stored as MPNG, each checked as it is read), in
# DIR/png. --maker times another build of the program (an earlier one, say) on the same files.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
shift
work=${TMPDIR:-/tmp}/kelvora-picture-save count=1000 repeats=3 keep=0 png=0 maker=$build/app/kelvora-maker
while [ $# -gt 0 ]; do
    case $1 in
        --work) work=$2 && shift ;;
        --count) count=$2 && shift ;;
        --repeats) repeats=$2 && shift ;;
        --keep) keep=1 ;;
        --png) png=1 ;;
        --maker) maker=$(realpath "$2") && shift ;;
        *) echo "unknown option $1" >&2 && exit 2 ;;
    esac
    shift
done
source "$here/codec/timing.sh"
frames=$work/frames
ext=jpg kind=JPEG
[ "$png" = 1 ] && frames=$work/png ext=png kind=PNG
out=$work/out
cleanup() {
    rm -rf "$out"
    [ "$keep" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$frames" "$out"

distinct=8
if [ "$(find "$frames" -name "*.$ext" | wc -l)" != "$count" ]; then
    rm -f "$frames"/*."$ext"
    for i in $(seq 1 $distinct); do
        if [ "$png" = 1 ]; then
            convert -size 1920x1080 plasma:fractal -seed "$i" -attenuate 0.2 +noise Gaussian "$work/seed_$i.png"
        else
            convert -size 4000x3000 plasma:fractal -seed "$i" -attenuate 0.4 +noise Gaussian -quality 90 \
                -sampling-factor 2x2 "$work/seed_$i.jpg"
        fi
    done
    for i in $(seq 1 "$count"); do
        cp "$work/seed_$(( (i - 1) % distinct + 1 )).$ext" "$(printf '%s/frame_%05d.%s' "$frames" "$i" "$ext")"
    done
fi
bytes=$(du -cb "$frames"/*."$ext" | tail -1 | cut -f1)

ours() { rm -f "$out/video.avi" && "$maker" -o "$out/video.avi" "$frames"/*."$ext"; }
cat_all() { cat "$frames"/*."$ext" >"$out/all.$ext"; rm -f "$out/all.$ext"; }
dropcache() { sync && echo 3 >/proc/sys/vm/drop_caches; }
mb_per_s() { awk -v b="$bytes" -v s="$1" 'BEGIN { printf "%.0f", b / s / 1e6 }'; }

runs() {  # cold|warm
    local a=() b=() i
    ours && cat_all  # the files in the cache for the warm runs; both programs loaded
    for i in $(seq 1 "$repeats"); do
        [ "$1" = cold ] && dropcache
        a+=("$(seconds ours)")
        [ "$1" = cold ] && dropcache
        b+=("$(seconds cat_all)")
    done
    local ourm catm
    ourm=$(printf '%s\n' "${a[@]}" | median)
    catm=$(printf '%s\n' "${b[@]}" | median)
    printf '%-5s %6d frames, %6.0f MB: ours %7.2f s (%5s MB/s), cat %7.2f s (%5s MB/s), ours / cat %.2f   [runs: ours %s; cat %s]\n' \
        "$1" "$count" "$(awk -v b="$bytes" 'BEGIN { print b / 1e6 }')" "$ourm" "$(mb_per_s "$ourm")" "$catm" \
        "$(mb_per_s "$catm")" "$(awk -v a="$ourm" -v b="$catm" 'BEGIN { print a / b }')" "${a[*]}" "${b[*]}"
}

echo "$kind frames stored as they are beside cat ($(nproc) cores, $(uname -r)):"
runs warm
if [ "$(id -u)" = 0 ]; then runs cold; else echo "cold: needs root (drops the page cache)"; fi
