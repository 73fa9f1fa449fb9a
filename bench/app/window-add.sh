#!/usr/bin/env bash
# The window add benchmark on a real X server: Xvfb with Qt's xcb platform and a window
# manager (see ../xdisplay.sh), so the window's painting costs what it costs users. Cold runs
# need root (they drop the page cache). Not part of CI.
#   window-add.sh BUILD_DIR [FRAMES_1080P] [FRAMES_160x120_8] [FRAMES_16x16_8]
set -euo pipefail
build=${1:?build directory}
shift
# shellcheck source=../xdisplay.sh
source "$(dirname "$0")/../xdisplay.sh"
trap stop_display EXIT
start_display
"$build/bench/app/kelvora_window_add_bench" "$@"
