#!/usr/bin/env bash
# Takes a screenshot of the running window under a virtual X display:
#   tools/screenshot.sh <build-dir> <output.png>
# The window is shown empty, as it starts.
set -euo pipefail
build=${1:-build/default}
out=${2:-docs/screenshot.png}
# shellcheck source-path=SCRIPTDIR source=xvfb.sh
source "$(dirname "$0")/xvfb.sh"
start_xvfb 800x600x24
app=
trap 'if [ -n "$app" ]; then kill "$app" 2>/dev/null; wait "$app" 2>/dev/null || true; fi; stop_xvfb' EXIT
QT_QPA_PLATFORM=xcb "$build/app/kelvora-maker" &
app=$!
for _ in $(seq 50); do
  window=$(xdotool search --name "KELVORA MAKER" 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 1
import -window "$window" "$out"
echo "$out"
