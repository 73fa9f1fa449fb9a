#!/usr/bin/env bash
# Camera-sized JPEGs stored as they are (one MJPG frame a file), side by side with `cat` of
# the same files into one file, in one run: warm (files in the page cache) and cold (the cache
# dropped before each run; needs root). Medians of REPEATS runs, ours and cat taking turns;
# the ratio is ours over cat. Not part of CI.
#
#   picture-save.sh BUILD_DIR [--work DIR] [--count N] [--repeats N] [--keep]
# The frames (COUNT files of 4000 x 3000 at quality 90, a few MB each: a handful of distinct
# noisy pictures made by ImageMagick, copied to COUNT files) are made in DIR (default
# $TMPDIR/kelvora-picture-save) and deleted at the end unless --keep.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
shift
work=${TMPDIR:-/tmp}/kelvora-picture-save count=1000 repeats=3 keep=0
while [ $# -gt 0 ]; do
    case $1 in
        --work) work=$2 && shift ;;
        --count) count=$2 && shift ;;
        --repeats) repeats=$2 && shift ;;
        --keep) keep=1 ;;
        *) echo "unknown option $1" >&2 && exit 2 ;;
    esac
    shift
done
source "$here/codec/timing.sh"
maker=$build/app/kelvora-maker
frames=$work/frames
out=$work/out
cleanup() {
    rm -rf "$out"
    [ "$keep" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$frames" "$out"

distinct=8
if [ "$(find "$frames" -name '*.jpg' | wc -l)" != "$count" ]; then
    rm -f "$frames"/*.jpg
    for i in $(seq 1 $distinct); do
        convert -size 4000x3000 plasma:fractal -seed "$i" -attenuate 0.4 +noise Gaussian -quality 90 \
            -sampling-factor 2x2 "$work/seed_$i.jpg"
    done
    for i in $(seq 1 "$count"); do
        cp "$work/seed_$(( (i - 1) % distinct + 1 )).jpg" "$(printf '%s/frame_%05d.jpg' "$frames" "$i")"
    done
fi
bytes=$(du -cb "$frames"/*.jpg | tail -1 | cut -f1)

ours() { rm -f "$out/video.avi" && "$maker" -o "$out/video.avi" "$frames"/*.jpg; }
cat_all() { cat "$frames"/*.jpg >"$out/all.jpg"; rm -f "$out/all.jpg"; }
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

echo "JPEG frames stored as they are beside cat ($(nproc) cores, $(uname -r)):"
runs warm
if [ "$(id -u)" = 0 ]; then runs cold; else echo "cold: needs root (drops the page cache)"; fi
