#!/usr/bin/env bash
# Builds the fuzzing configuration and runs each fuzzer for <seconds>: the cDIB loader seeded
# with the bmpsuite corpus, the video check's AVI reader with small AVI files of each depth, the
# picture header reader with PNG and JPEG files of every kind the tests make, the check of MP4
# and Matroska videos with small files ffmpeg makes (its memory held under 1 GiB, sanitizer
# included: the check's bound for a file this small is 600 MB).
# The fuzzers run side by side, as many at a time as there are cores (each has a core to itself
# for its whole time). Prints the number of executions and their rate (a drop in the rate shows
# in CI's log); exits non-zero on a finding.
set -euo pipefail

seconds="${1:?usage: run-fuzz.sh <seconds>}"
repo="$(cd "$(dirname "$0")/../.." && pwd)"
seeds="$repo/../shared/corpus/bmpsuite"

cd "$repo"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target kelvora_fuzz_cdib kelvora_fuzz_avi kelvora_fuzz_picture kelvora_fuzz_media

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# run <name> <fuzzer> <corpus folder> [libFuzzer options...]: its report goes to
# $work/<name>.report, and a finding leaves $work/<name>.failed.
run() {
  local name="$1" fuzzer="$2" corpus="$3"
  shift 3
  mkdir -p "$work/$name-findings"
  local status=0
  "$repo/build/fuzz/tests/fuzz/$fuzzer" "$corpus" \
    -max_total_time="$seconds" -max_len=65536 -timeout=30 -rss_limit_mb=2048 \
    -artifact_prefix="$work/$name-findings/" -print_final_stats=1 "$@" 2>"$work/$name.log" || status=$?
  {
    echo "== $name"
    grep -E '^stat::number_of_executed_units|^stat::average_exec_per_sec|^stat::peak_rss_mb' "$work/$name.log" || true
    local execs rate
    execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name.log")"
    rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/$name.log")"
    echo "executions: ${execs:-0}"
    echo "executions per second: ${rate:-0}"
    if [[ $status -ne 0 ]] || ls "$work/$name-findings"/* >/dev/null 2>&1; then
      tail -n 60 "$work/$name.log"
      mkdir -p "$repo/build/fuzz/findings/$name"
      cp "$work/$name-findings"/* "$repo/build/fuzz/findings/$name/" 2>/dev/null || true
      echo "$name fuzzer found a fault (status $status); inputs kept in build/fuzz/findings/$name"
      touch "$work/$name.failed"
    fi
  } >"$work/$name.report" 2>&1
}

mkdir -p "$work/bmp" "$work/avi" "$work/picture" "$work/media"
if [[ -d "$seeds" ]]; then
  find "$seeds" -name '*.bmp' -exec cp {} "$work/bmp/" \;
fi
python3 "$repo/tests/fuzz/make-avi-seeds.py" "$work/avi"
/usr/bin/python3 "$repo/tests/support/pictures/make-pictures.py" "$work/picture" >/dev/null
bash "$repo/tests/fuzz/make-media-seeds.sh" "$work/media"

slots="$(nproc)"
started=0
start() {
  if ((started >= slots)); then
    wait -n || true
  fi
  run "$@" &
  started=$((started + 1))
}
start cdib kelvora_fuzz_cdib "$work/bmp"
start avi kelvora_fuzz_avi "$work/avi" -dict="$repo/tests/fuzz/avi.dict"
start picture kelvora_fuzz_picture "$work/picture"
start media kelvora_fuzz_media "$work/media" -rss_limit_mb=1024
wait

failed=0
for name in cdib avi picture media; do
  cat "$work/$name.report"
  if [[ -e "$work/$name.failed" ]]; then
    failed=1
  fi
done
if [[ $failed -ne 0 ]]; then
  echo "a fuzzer found a fault" >&2
  exit 1
fi
echo "no findings"
