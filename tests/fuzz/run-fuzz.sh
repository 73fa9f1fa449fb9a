#!/usr/bin/env bash
# Builds the fuzzing configuration and runs the cDIB loader fuzzer for <seconds>, seeded
# with the bmpsuite corpus. Prints the number of executions and their rate (a drop in the rate
# shows in CI's log); exits non-zero on a finding.
set -euo pipefail

seconds="${1:?usage: run-fuzz.sh <seconds>}"
repo="$(cd "$(dirname "$0")/../.." && pwd)"
seeds="$repo/../shared/corpus/bmpsuite"

cd "$repo"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target kelvora_fuzz_cdib

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/findings"
if [[ -d "$seeds" ]]; then
  find "$seeds" -name '*.bmp' -exec cp {} "$work/corpus/" \;
fi

status=0
"$repo/build/fuzz/tests/fuzz/kelvora_fuzz_cdib" "$work/corpus" \
  -max_total_time="$seconds" -max_len=65536 -timeout=30 \
  -artifact_prefix="$work/findings/" -print_final_stats=1 2>"$work/log" || status=$?

grep -E '^stat::number_of_executed_units|^stat::average_exec_per_sec|^stat::peak_rss_mb' "$work/log" || true
execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")"
rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")"
echo "executions: ${execs:-0}"
echo "executions per second: ${rate:-0}"
if [[ $status -ne 0 ]] || ls "$work/findings"/* >/dev/null 2>&1; then
  tail -n 60 "$work/log"
  mkdir -p "$repo/build/fuzz/findings"
  cp "$work/findings"/* "$repo/build/fuzz/findings/" 2>/dev/null || true
  echo "fuzzer found a fault (status $status); inputs kept in build/fuzz/findings" >&2
  exit 1
fi
echo "no findings"
