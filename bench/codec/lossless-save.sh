#!/usr/bin/env bash
# Our lossless compressed saves against ffmpeg's on the same frames, side by side in one run:
# FFV1 and PNG, each on one core (taskset; ffmpeg also -threads 1) and on all cores, wall time,
# CPU time (user + system), peak memory (the largest resident set) and size. The cores' limit
# is our CPU time over the cores: the least wall time all cores could give our work; "at limit"
# is how close our wall time comes to it. ffmpeg gets the same codec settings. Not part of CI.
#   lossless-save.sh BUILD_DIR [REPEATS] [WORK_DIR] [SETS]
# SETS (default "720p 1080p long photo 4k"; "8k" too): synthetic 1280 x 720, 40 frames;
# synthetic 1920 x 1080, 30, and "long", 150 (a save's fixed costs, the encoders' set-up
# above all, spread over more frames); photo-like 1920 x 1080 (the same with grain), 10;
# synthetic 3840 x 2160, 8; synthetic 7680 x 4320, 4. Each row is the run of median wall time of REPEATS (default 1),
# ours and ffmpeg taking turns. A run that fails (a non-zero exit, a signal, no output file)
# shows as FAILED with its reason instead of figures, and the script then exits with 1.
set -euo pipefail
build=${1:?build directory}
repeats=${2:-1}
work=${3:-${TMPDIR:-/tmp}/kelvora-lossless-bench}
sets=${4:-720p 1080p long photo 4k}
maker="$build/app/kelvora-maker"
cores=$(nproc)
mkdir -p "$work"

frames_of() {  # SET: its frame count, FFV1's slices (ours for the size) and ffmpeg's source
    case $1 in
        720p) echo "40 4 testsrc2=size=1280x720:rate=25" ;;
        1080p) echo "30 4 testsrc2=size=1920x1080:rate=25" ;;
        long) echo "150 4 testsrc2=size=1920x1080:rate=25" ;;
        photo) echo "10 4 testsrc2=size=1920x1080:rate=25,noise=alls=30:allf=t+u" ;;
        4k) echo "8 4 testsrc2=size=3840x2160:rate=25" ;;
        8k) echo "4 9 testsrc2=size=7680x4320:rate=25" ;;
        *) echo "unknown set $1" >&2 && exit 2 ;;
    esac
}

make_frames() {  # SET: the folder of its BMPs
    local count slices source dir
    read -r count slices source <<<"$(frames_of "$1")"
    dir="$work/$1-$count"
    if [ ! -f "$dir/done" ]; then
        rm -rf "$dir" && mkdir -p "$dir"
        ffmpeg -nostdin -v error -f lavfi -i "$source" -frames:v "$count" -pix_fmt bgr24 "$dir/frame_%05d.bmp"
        touch "$dir/done"
    fi
    echo "$dir"
}

ffmpeg_args() {  # CODEC SLICES
    case $1 in
        ffv1) echo "-c:v ffv1 -level 3 -g 1 -slices $2 -slicecrc 1 -pix_fmt bgr0" ;;
        png) echo "-c:v png" ;;
    esac
}

measure() {  # OUTPUT COMMAND...: "wall cpu peakKB" of one run, or "FAILED reason" when it fails
    local output=$1 status=0
    shift
    rm -f "$output" "$work/time"
    /usr/bin/time -q -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || status=$?
    if [ "$status" != 0 ] || [ ! -s "$output" ] || [ ! -s "$work/time" ]; then
        local said
        said=$(grep -v '^\s*$' "$work/stderr" | tail -n 1 | cut -c1-160)
        [ "$status" -gt 128 ] && said="killed by signal $((status - 128))${said:+; $said}"
        [ "$status" = 0 ] && said="no output file${said:+; $said}"
        echo "FAILED exit $status: ${said:-nothing said}"
        return
    fi
    awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time"
}

best_of() {  # the run of median wall time among lines "wall cpu peak"; the first failure if any failed
    local runs
    runs=$(cat)
    if grep -q '^FAILED' <<<"$runs"; then
        grep -m 1 '^FAILED' <<<"$runs"
        return
    fi
    sort -g <<<"$runs" | awk '{ v[NR] = $0 } END { print v[int((NR + 1) / 2)] }'
}

failures=0

printf '%-6s %-5s %5s | %7s %7s %7s | %8s %7s %7s | %6s | %11s %8s | %7s %6s\n' set codec cores "ours s" "cpu s" \
    "peak MB" "ffmpeg s" "cpu s" "peak MB" speed "ours bytes" size "limit s" "at lim"
for set in $sets; do
    dir=$(make_frames "$set")
    read -r count slices _ <<<"$(frames_of "$set")"
    for codec in ffv1 png; do
        for n in 1 "$cores"; do
            pin=()
            [ "$n" = 1 ] && pin=(taskset -c 0)
            ours=() theirs=()
            for ((r = 0; r < repeats; r++)); do
                ours+=("$(measure "$work/ours.avi" "${pin[@]}" "$maker" -y -o "$work/ours.avi" --codec "$codec" "$dir")")
                # shellcheck disable=SC2046
                theirs+=("$(measure "$work/ffmpeg.avi" "${pin[@]}" ffmpeg -nostdin -v error -y -framerate 25 \
                    -i "$dir/frame_%05d.bmp" $(ffmpeg_args "$codec" "$slices") -threads "$n" "$work/ffmpeg.avi")")
            done
            a=$(printf '%s\n' "${ours[@]}" | best_of)
            b=$(printf '%s\n' "${theirs[@]}" | best_of)
            if [[ $a == FAILED* || $b == FAILED* ]]; then
                failures=$((failures + 1))
                printf '%-6s %-5s %5d | FAILED\n' "$set" "$codec" "$n"
                [[ $a == FAILED* ]] && echo "       ours ${a#FAILED }"
                [[ $b == FAILED* ]] && echo "       ffmpeg ${b#FAILED }"
                continue
            fi
            read -r wa ca ma <<<"$a"
            read -r wb cb mb <<<"$b"
            sa=$(stat -c %s "$work/ours.avi")
            sb=$(stat -c %s "$work/ffmpeg.avi")
            awk -v set="$set" -v codec="$codec" -v n="$n" -v wa="$wa" -v ca="$ca" -v ma="$ma" -v wb="$wb" \
                -v cb="$cb" -v mb="$mb" -v sa="$sa" -v sb="$sb" \
                'BEGIN { limit = ca / n
                         printf "%-6s %-5s %5d | %7.2f %7.2f %7.0f | %8.2f %7.2f %7.0f | %5.2fx | %11d %6.4fx | %7.2f %5.0f%%\n",
                         set, codec, n, wa, ca, ma / 1024, wb, cb, mb / 1024, wb / wa, sa, sa / sb, limit, 100 * limit / wa }'
        done
    done
    echo "       ($count frames)"
done
echo "speed: ffmpeg's wall time over ours (above 1: ours is faster); size: ours over ffmpeg's; limit: our"
echo "CPU time over the cores used; at lim: the limit over our wall time. $cores cores, median of $repeats."
if [ "$failures" -gt 0 ]; then
    echo "$failures row(s) FAILED: their figures are not shown" >&2
    exit 1
fi
