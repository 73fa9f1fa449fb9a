#!/usr/bin/env bash
# The playback benchmark on a real X server: Xvfb with Qt's xcb platform and a window manager
# (see ../xdisplay.sh), so each frame shown costs the window's painting as users see it. Cold
# runs need root (they drop the page cache). Not part of CI.
#   playback.sh BUILD_DIR [WIDTHxHEIGHT] [SECONDS]
set -euo pipefail
build=${1:?build directory}
shift
# shellcheck source=../xdisplay.sh
source "$(dirname "$0")/../xdisplay.sh"
trap stop_display EXIT
start_display
"$build/bench/app/kelvora_playback_bench" "$@"
