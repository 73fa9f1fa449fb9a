#!/usr/bin/env bash
# The window save benchmark on a real X server: Xvfb with Qt's xcb platform, so the window's
# painting costs what it costs users. Not part of CI.
#   window-save.sh BUILD_DIR [FRAMES_1080P] [FRAMES_160x120] [REPEATS]
set -euo pipefail
build=${1:?build directory}
shift
export QT_QPA_PLATFORM=xcb
exec xvfb-run -a -s "-screen 0 1024x768x24" "$build/bench/video/kelvora_window_save_bench" "$@"
