#!/usr/bin/env bash
# Refreshes the screenshots of the README and docs/window.md from the end-to-end test's own steps:
#   tools/readme-screenshots.sh [build-dir]
# The test drives the real application under Xvfb; its screenshots are cut to the window.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
ctest --test-dir "$build" -R '^EndToEnd$' --output-on-failure >/dev/null
steps="$build/tests/e2e/e2e-output"
for step in 06-popup-menu 12-saved 15-message-box 22-adding-progress 24-saving-progress; do
  convert "$steps/$step.png" -crop 574x500+0+0 +repage "docs/$step.png"
done
bash tools/screenshot.sh "$build" docs/screenshot.png >/dev/null
ls docs
