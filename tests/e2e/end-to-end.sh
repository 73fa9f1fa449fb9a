#!/usr/bin/env bash
# Drives the real application in a virtual X display the way a person does: mouse clicks at
# the controls' positions, key presses and typed paths in the real file dialogs. Then reads
# the written video back with ffprobe and ffmpeg.
#   end-to-end.sh <kelvora-maker> <make-sample-frames> <output folder>
# The output folder keeps a screenshot of every step, the frames and the videos.
# shellcheck source-path=SCRIPTDIR disable=SC2317  # cleanup runs from a trap
set -euo pipefail

app=$(realpath "$1")
maker=$(realpath "$2")
out=$3
here=$(dirname "$(realpath "$0")")

if [ "${KELVORA_E2E_INSIDE:-}" != 1 ]; then
  mkdir -p "$out"
  out=$(realpath "$out")
  rm -rf "$out/frames" "$out/bad" "$out/config" "$out"/*.png "$out"/*.avi "$out"/*.pid "$out"/app.log
  # shellcheck source=../../tools/xvfb.sh
  source "$here/../../tools/xvfb.sh"
  # If this run is killed, the inner run, the application and the server are stopped here
  # by the ids the inner run recorded.
  stop_recorded() {
    local pid
    pid=$(cat "$out/$1.pid" 2>/dev/null || true)
    if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$2" ]; then kill "$pid" 2>/dev/null || true; fi
  }
  runner=
  cleanup() {
    if [ -n "$runner" ]; then kill "$runner" 2>/dev/null || true; fi
    stop_recorded inner bash
    stop_recorded app kelvora-maker
    # The server goes down after its clients, and no display outlives the test.
    stop_xvfb
  }
  trap cleanup EXIT
  trap 'exit 143' TERM
  trap 'exit 130' INT
  start_xvfb 1024x768x24
  started=$(date +%s%N)
  status=0
  KELVORA_E2E_INSIDE=1 timeout --kill-after=5 150 bash "$0" "$app" "$maker" "$out" </dev/null &
  runner=$!
  wait "$runner" || status=$?
  runner=
  elapsed_ms=$((($(date +%s%N) - started) / 1000000))
  printf 'end-to-end: %d.%03d s, %d screenshots in %s\n' $((elapsed_ms / 1000)) $((elapsed_ms % 1000)) \
    "$(find "$out" -maxdepth 1 -name '*.png' | wc -l)" "$out"
  exit "$status"
fi

# shellcheck source=x-steps.sh
source "$here/x-steps.sh"
# shellcheck source=video-checks.sh
source "$here/video-checks.sh"

export ASAN_OPTIONS=detect_leaks=0
export QT_QPA_PLATFORM=xcb
# The file dialogs remember folders in the user's settings; keep them to this run.
export XDG_CONFIG_HOME="$out/config"
export XDG_RUNTIME_DIR="$out/config/runtime"
mkdir -p "$out/config"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
echo $$ > "$out/inner.pid"

app_pid=
display_ready() { xdpyinfo >/dev/null 2>&1; }
wait_for 10 "the X display $DISPLAY" display_ready

"$app" > "$out/app.log" 2>&1 &
app_pid=$!
echo "$app_pid" > "$out/app.pid"
trap 'kill "$app_pid" 2>/dev/null || true' EXIT
trap 'exit 143' TERM

"$maker" "$out/frames" 6
mkdir -p "$out/bad"
echo "plain text, not a picture" > "$out/bad/notbitmap.bmp"

source "$here/scenario.sh"
# shellcheck source=window-signals.sh
source "$here/window-signals.sh"
