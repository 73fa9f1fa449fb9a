#!/usr/bin/env bash
# The window save benchmark on a real X server: Xvfb with Qt's xcb platform and a window
# manager (see ../xdisplay.sh), so the window's painting costs what it costs users. Not part of CI.
#   window-save.sh BUILD_DIR [FRAMES_1080P] [FRAMES_160x120] [REPEATS]
set -euo pipefail
build=${1:?build directory}
shift
# shellcheck source=../xdisplay.sh
source "$(dirname "$0")/../xdisplay.sh"
trap stop_display EXIT
start_display
"$build/bench/video/kelvora_window_save_bench" "$@"
