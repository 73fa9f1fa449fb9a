#!/usr/bin/env bash
# Installs what is missing, builds the application, makes a folder of sample frames and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target kelvora-maker make-sample-frames
./build/default/tools/make-sample-frames samples
echo "Sample frames: $(pwd)/samples (choose any of them with \"Aggiungi BMP\")"
exec ./build/default/app/kelvora-maker
