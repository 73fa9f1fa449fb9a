#!/usr/bin/env bash
# The window add benchmark on a real X server: Xvfb with Qt's xcb platform, so the window's
# painting costs what it costs users. Cold runs need root (they drop the page cache). Not part of CI.
#   window-add.sh BUILD_DIR [FRAMES_1080P] [FRAMES_160x120_8] [FRAMES_16x16_8]
set -euo pipefail
build=${1:?build directory}
shift
export QT_QPA_PLATFORM=xcb
exec xvfb-run -a -s "-screen 0 1024x768x24" "$build/bench/app/kelvora_window_add_bench" "$@"
